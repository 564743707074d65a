// The run behind "4. Wykonaj": its checks, then the core's batch run over the ticked files on worker
// threads while this thread keeps the window live (repaints, the gauge per finished file, "Zatrzymaj",
// a close request), and the end steps that run however it ends.

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/form1.h"
#include "app/fspath.h"
#include "app/outputoptionsdialog.h"
#include "base/fileio.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtgauge.h"
#include "imaging/batchrules.h"
#include "imaging/batchrun.h"
#include "imaging/pipeline.h"
#include "imaging/runreport.h"
#include "imaging/runsetup.h"
#include "imaging/sourcefiles.h"
#include "settings/eabort.h"
#include "settings/environment.h"
#include "settings/filehelpers.h"

namespace velmora {

namespace fs = std::filesystem;

// From the start of the run to its end, whether it completes, is stopped or fails: the locked window,
// the hourglass, the progress display, and afterwards the destination in its history.
class TForm1::RunScope {
 public:
  RunScope(TForm1& form, int ticked) : form_(form) {
    form_.stopFlag_ = false;
    form_.running_ = true;
    form_.SetRunControlsEnabled(false);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    form_.Gauge1->SetProgress(0);
    form_.lProgress->clear();
    form_.Gauge1->SetMaxValue(ticked);
    form_.sbOtworz->hide();
    form_.lStan->clear();
    form_.Gauge1->show();
    form_.sbStop->show();
  }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;

  ~RunScope() {
    RestoreCursor();
    form_.SetRunControlsEnabled(true);
    form_.stopFlag_ = true;
    form_.running_ = false;
    QComboBox& destination = *form_.eFoldDo;
    const QString folder = destination.currentText();
    if (!folder.isEmpty() && HistoryIndexOf(destination, folder) < 0) {
      const QSignalBlocker block(&destination);
      destination.addItem(folder);
    }
    // The gauge and "Zatrzymaj" would only stand there stale: the summary takes their place.
    form_.Gauge1->hide();
    form_.sbStop->hide();
    form_.lProgress->clear();
  }

  // Before a message, so the message is not shown under the hourglass.
  void RestoreCursor() {
    if (!cursorSet_) return;
    cursorSet_ = false;
    QGuiApplication::restoreOverrideCursor();
  }

 private:
  TForm1& form_;
  bool cursorSet_ = true;
};

void TForm1::SetRunControlsEnabled(bool enabled) {
  // Nothing but "Zatrzymaj" works during a run, so no second run starts inside the first and the
  // settings cannot change under it.
  for (QWidget* child : client_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child == sbStop || child == Gauge1 || child == lProgress || child == lStan ||
        qobject_cast<QMenu*>(child) != nullptr)
      continue;
    child->setEnabled(enabled);
  }
}

BatchOptions TForm1::RunOptions() const {
  BatchOptions options;
  options.scale = cbSize->isChecked();
  options.sizeLimit = seSize->value();
  options.enlarge = CBPow->isChecked();
  options.nameMode = rbSuf->isChecked() ? NameMode::Suffix : NameMode::Prefix;
  options.affix = EPref->text().toStdString();
  options.destFolder = ToFsPath(eFoldDo->currentText());
  options.keepMetadata = cbEXIF->isChecked();
  options.stripGps = cbUsunGPS->isChecked();
  options.rotate = cbObroc->isChecked();
  options.output = StoredOutputOptions(env_.AppProps());
  options.convertColours = options.output.convertColours;
  return options;
}

RunRequest TForm1::RunRequestOfWindow() const {
  RunRequest request;
  request.sourceFolder = ToFsPath(eFoldZ->currentText());
  for (int i = 0; i < CLB->count(); ++i) {
    if (CLB->item(i)->checkState() == Qt::Checked) request.names.push_back(EntryName(*CLB->item(i)));
  }
  request.options = RunOptions();
  return request;
}

RunQuestions TForm1::RunQuestionsAsked() {
  RunQuestions questions;
  if (cbPodp->isChecked()) {
    questions.caption = [this] {
      // A caption that could not be built last time fails here, before anything is written.
      if (!captionMask_) BuildCaptionMask();
      return captionMask_;
    };
  }
  questions.makeDestination = [] { return AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?")); };
  // "Tak" overwrites the originals: Enter and the pointer go to "Nie".
  questions.replaceSources = [] {
    return AskYesNoDefaultNo(QStringLiteral("Pliki źródłowe zostaną nadpisane. Kontynuować?"));
  };
  return questions;
}

FileOutcome TForm1::ProcessOneFile(const fs::path& source, const BatchOptions& options) {
  return processFile(source, options);
}

void TForm1::RequestRunStop() {
  stopFlag_ = true;
  if (activeRun_) activeRun_->requestStop();
}

void TForm1::FollowRun(BatchRun& run) {
  struct Active {
    TForm1& form;
    ~Active() { form.activeRun_ = nullptr; }
  } active{*this};
  activeRun_ = &run;
  // Wakes this thread's event loop from a worker; the results themselves go through the run's lock.
  QAbstractEventDispatcher* const dispatcher = QAbstractEventDispatcher::instance();
  QElapsedTimer clock;
  clock.start();
  run.start([dispatcher] { dispatcher->wakeUp(); });
  // Only the lines are kept: the report of every file, whatever the "Błędy" list shows of them.
  RunReport report;
  runReport_.clear();
  for (;;) {
    for (const FileResult& result : run.takeResults()) {
      runReport_.push_back(report.fileLine(result));
      if (result.outcome) NoteOutcome(result.name, result.outcome->notes);
      Gauge1->SetProgress(static_cast<int>(result.completed));
      lProgress->setText(QStringLiteral("%1/%2").arg(Gauge1->Progress()).arg(Gauge1->MaxValue()));
      lProgress->adjustSize();
      ShowRunStatus(Gauge1->Progress(), Gauge1->MaxValue(), static_cast<double>(clock.elapsed()) / 1000.0);
      emit FileCompleted(static_cast<int>(result.completed));
    }
    if (run.done()) {
      runReport_.push_back(report.summaryLine(run.summary()));
      return;
    }
    // Sleeps until a window event or a worker's wake-up: repaints, "Zatrzymaj" and a close request get
    // through here, while every other control is locked.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

namespace {

// "1 h 5 min", "1 min 20 s", "12 s": whole seconds, the smallest unit left out above an hour.
QString DurationText(double seconds) {
  const long long total = std::max(1LL, static_cast<long long>(std::ceil(seconds)));
  const long long h = total / 3600, min = total % 3600 / 60, s = total % 60;
  if (h > 0) return QStringLiteral("%1 h %2 min").arg(h).arg(min);
  if (min > 0) return QStringLiteral("%1 min %2 s").arg(min).arg(s);
  return QStringLiteral("%1 s").arg(s);
}

void SetElided(QLabel& label, const QString& text) {
  const QString shown = QFontMetrics(label.font()).elidedText(text, Qt::ElideMiddle, label.width());
  label.setText(shown);
  label.setToolTip(shown == text ? QString() : text);
}

}  // namespace

void TForm1::ShowRunStatus(int completed, int total, double seconds) {
  QString name;
  {
    const std::lock_guard lock(startedMutex_);
    name = QString::fromStdString(lastStarted_);
  }
  QString text = completed < total ? name : QString();
  // From two files on the pace says something.
  if (completed >= 2 && completed < total) {
    const double left = seconds / completed * (total - completed);
    text += QStringLiteral(", pozostało ok. ") + DurationText(left);
  }
  SetElided(*lStan, text);
}

void TForm1::ShowRunSummary(const RunSummary& summary) {
  // The time as the window writes numbers for people: "5,6 s".
  const QString time = QLocale(QLocale::Polish).toString(summary.seconds, 'f', 1);
  SetElided(*lStan, QString::fromStdString(summaryWords(summary)) + QStringLiteral("; ") + time + QStringLiteral(" s"));
  sbOtworz->setVisible(FolderExists(eFoldDo->currentText()));
}

void TForm1::sbOtworzClick() {
  const QString folder = eFoldDo->currentText();
  if (!FolderExists(folder) || !OpenUrl(QUrl::fromLocalFile(folder))) {
    SetElided(*lStan, QStringLiteral("Nie mogę otworzyć folderu „%1” w menedżerze plików").arg(folder));
  }
}

QString FilesNoun(int files) {
  const int tens = files % 100, ones = files % 10;
  if (files == 1) return QStringLiteral("plik");
  if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) return QStringLiteral("pliki");
  return QStringLiteral("plików");
}

void TForm1::ShowMetadataNotice(int files, int colourFiles) {
  QStringList lines;
  if (files > 0)
    lines << QStringLiteral("Zapisano bez części metadanych źródła: %1 %2.").arg(files).arg(FilesNoun(files));
  if (colourFiles > 0)
    lines << QStringLiteral("Zapisano bez konwersji kolorów: %1 %2.").arg(colourFiles).arg(FilesNoun(colourFiles));
  if (!lines.isEmpty()) InfoNotice(lines.join(QLatin1Char('\n')));
}

void TForm1::ShowFailureReport(const std::vector<FileResult>& failures) {
  if (failures.empty()) return;
  QStringList lines;
  for (const FileResult& failure : failures) lines << QString::fromStdString(printableName(failure.message));
  // Read-only: the list is there to be read, copied ("Kopiuj") or saved ("Zapisz ..."), by default as a
  // text file beside the run's outputs.
  EditStringList(QStringLiteral("Błędy"), lines, true, QStringLiteral("Pliki tekstowe (*.txt)|*.txt"),
                 WithDelimiter(eFoldDo->currentText()) + QStringLiteral("bledy.txt"),
                 {QStringLiteral("Zapisz raport ..."), QStringLiteral("LReport"), [this] { SaveRunReport(); }});
}

void TForm1::SaveRunReport() const {
  const QString name = ChooseSaveFile(QStringLiteral("Raport JSON Lines (*.jsonl)|*.jsonl"),
                                      WithDelimiter(eFoldDo->currentText()) + QStringLiteral("raport.jsonl"));
  if (name.isEmpty()) return;
  std::string text;
  for (const std::string& line : runReport_) text += line + '\n';
  try {
    writeFileAtomically(ToFsPath(name), {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  } catch (const FileError& e) {
    throw std::runtime_error(
        QStringLiteral("Nie mogę zapisać pliku %1: %2").arg(name, QString::fromStdString(e.reason())).toStdString());
  }
}

void TForm1::Podpiszwszystkiewfolderze1Click() {
  if (running_) return;
  if (CLB->count() == 0) BeepAndAbort();
  if (eFoldZ->currentText().isEmpty() || eFoldDo->currentText().isEmpty())
    ErrorNotice(QStringLiteral("Nie wskazano folderów"));

  // The window is locked during the run, so its settings are read once, here.
  RunRequest request = RunRequestOfWindow();
  request.workers = RunWorkers();
  request.keepGoing = cbPomijaj->isChecked();
  try {
    request = prepareRun(std::move(request), RunQuestionsAsked());
  } catch (const RunSetupError& e) {
    switch (e.fault()) {
      case SetupFault::Affix:
      case SetupFault::NameTemplate:
      case SetupFault::NoOperation:
      case SetupFault::SizeBelowOne:
        ErrorNotice(QString::fromStdString(e.what()));
      default:
        // The user's answer, or a destination that could not be made: nothing is said.
        throw EAbort();
    }
  }
  RunScope scope(*this, static_cast<int>(request.names.size()));
  // The source is the folder joined with the entry's name ("ceremonia/IMG_0001.jpg"): that name is shown.
  const std::string folder = request.sourceFolder.string();
  const std::size_t nameAt = folder.size() + (folder.ends_with('/') ? 0 : 1);
  BatchRun run(std::move(request), [this, nameAt](const fs::path& source, const BatchOptions& options) {
    {
      const std::lock_guard lock(startedMutex_);
      const std::string path = source.string();
      lastStarted_ = printableName(nameAt < path.size() ? path.substr(nameAt) : source.filename().string());
    }
    return ProcessOneFile(source, options);
  });
  filesWithNotes_ = 0;
  filesWithColourNotes_ = 0;
  outputNotes_.clear();
  FollowRun(run);
  const RunSummary summary = run.summary();
  scope.RestoreCursor();
  if (quitting_) {
    // A termination signal ends the program: no dialog opens any more, what the run says goes to stderr.
    if (summary.end == RunEnd::Stopped)
      std::fprintf(stderr, "velmora: Zatrzymano przed %s\n", printableName(summary.stoppedBefore).c_str());
    for (const FileResult& failure : summary.failures)
      std::fprintf(stderr, "velmora: %s\n", printableName(failure.message).c_str());
    throw EAbort();
  }
  ShowRunSummary(summary);
  // Not an error: the files were written. Said first, however the run ended.
  ShowMetadataNotice(filesWithNotes_, filesWithColourNotes_);
  ShowOutputNotes();

  switch (summary.end) {
    case RunEnd::Failed:
      // Shown by the default error display with the file's own message, as before the run had workers.
      // Its own message, a name that is no UTF-8 shown escaped as in the list.
      try {
        std::rethrow_exception(summary.firstFailure->error);
      } catch (const BatchFileError& e) {
        throw std::runtime_error(printableName(e.what()));
      }
    case RunEnd::Stopped:
      try {
        ErrorNotice(QStringLiteral("Zatrzymano przed ") + QString::fromStdString(printableName(summary.stoppedBefore)));
      } catch (const EAbort&) {
        ShowFailureReport(summary.failures);
        throw;
      }
      break;
    case RunEnd::Completed:
      ShowFailureReport(summary.failures);
      break;
  }
}

void TForm1::sbStopClick() {
  // No new file starts; the files in flight are finished and written, then the run ends with its
  // message. "4. Wykonaj" comes back with the end of the run.
  RequestRunStop();
}

}  // namespace velmora
