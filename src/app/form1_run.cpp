// The run behind "4. Wykonaj": its checks, then the core's batch run over the ticked files on worker
// threads while this thread keeps the window live (repaints, the gauge per finished file, "Zatrzymaj",
// a close request), and the end steps that run however it ends.

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <system_error>

#include "app/form1.h"
#include "app/fspath.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtgauge.h"
#include "imaging/batchrules.h"
#include "imaging/batchrun.h"
#include "imaging/caption.h"
#include "imaging/pipeline.h"
#include "settings/eabort.h"
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
    // Gauge, "Zatrzymaj" and the progress text stay until a folder is chosen again.
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
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child == sbStop || child == Gauge1 || child == lProgress || qobject_cast<QMenu*>(child) != nullptr) continue;
    child->setEnabled(enabled);
  }
}

BatchOptions TForm1::RunOptions(bool allowReplaceSource) const {
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
  options.allowReplaceSource = allowReplaceSource;
  if (cbPodp->isChecked() && captionMask_) {
    options.caption = [stamper = captionMask_](QImage& picture) { stamper->StampPicture(picture); };
  }
  return options;
}

bool TForm1::RunWouldReplaceSources() const {
  const BatchOptions options = RunOptions(false);
  const QString folder = WithDelimiter(eFoldZ->currentText());
  for (int i = 0; i < CLB->count(); ++i) {
    const QListWidgetItem* item = CLB->item(i);
    if (item->checkState() != Qt::Checked) continue;
    fs::path output;
    try {
      output = outputPath(options.destFolder, item->text().toStdString(), options.nameMode, options.affix);
    } catch (const ImagingError&) {
      continue;  // the run reports such a name itself
    }
    std::error_code ec;
    if (fs::exists(output, ec) && fs::equivalent(ToFsPath(folder + item->text()), output, ec)) return true;
  }
  return false;
}

FileOutcome TForm1::ProcessOneFile(const fs::path& source, const BatchOptions& options) {
  return processFile(source, options);
}

int TForm1::RunWorkers() {
  bool ok = false;
  const int workers = Props().Get(QStringLiteral("watki")).trimmed().toInt(&ok);
  return ok && workers > 0 ? workers : 0;
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
  run.start([dispatcher] { dispatcher->wakeUp(); });
  for (;;) {
    for (const FileResult& result : run.takeResults()) {
      if (result.outcome && !result.outcome->notes.empty()) ++filesWithNotes_;
      Gauge1->SetProgress(static_cast<int>(result.completed));
      lProgress->setText(QStringLiteral("%1/%2").arg(Gauge1->Progress()).arg(Gauge1->MaxValue()));
      lProgress->adjustSize();
      emit FileCompleted(static_cast<int>(result.completed));
    }
    if (run.done()) return;
    // Sleeps until a window event or a worker's wake-up: repaints, "Zatrzymaj" and a close request get
    // through here, while every other control is locked.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
}

QString FilesNoun(int files) {
  const int tens = files % 100, ones = files % 10;
  if (files == 1) return QStringLiteral("plik");
  if (ones >= 2 && ones <= 4 && (tens < 12 || tens > 14)) return QStringLiteral("pliki");
  return QStringLiteral("plików");
}

void TForm1::ShowMetadataNotice(int files) {
  if (files <= 0) return;
  InfoNotice(QStringLiteral("Zapisano bez części metadanych źródła: %1 %2.").arg(files).arg(FilesNoun(files)));
}

void TForm1::ShowFailureReport(const std::vector<FileResult>& failures) {
  if (failures.empty()) return;
  QStringList lines;
  for (const FileResult& failure : failures) lines << QString::fromStdString(failure.message);
  // Read-only: the list is there to be read, copied ("Kopiuj") or saved ("Zapisz ...").
  EditStringList(QStringLiteral("Błędy"), lines, true);
}

void TForm1::Podpiszwszystkiewfolderze1Click() {
  if (running_) return;
  if (CLB->count() == 0) BeepAndAbort();
  const QString destination = eFoldDo->currentText();
  if (eFoldZ->currentText().isEmpty() || destination.isEmpty()) ErrorNotice(QStringLiteral("Nie wskazano folderów"));
  // Before the destination is made: "../x_" would write into its parent.
  if (const std::string fault = affixFault(EPref->text().toStdString()); !fault.empty()) {
    ErrorNotice((rbSuf->isChecked() ? QStringLiteral("Sufiks ") : QStringLiteral("Prefiks ")) +
                QString::fromStdString(fault));
  }
  if (!cbSize->isChecked() && !cbPodp->isChecked()) ErrorNotice(QStringLiteral("Nie wybrano operacji"));
  if (cbSize->isChecked() && seSize->value() < 1) ErrorNotice(QStringLiteral("Rozmiar musi być większy od zera"));
  // A caption that could not be built last time fails here, before anything is written.
  if (cbPodp->isChecked() && !captionMask_) BuildCaptionMask();
  // Every check above comes first: the folder is the run's first change on disk.
  if (!FolderExists(destination)) {
    if (!AskYesNo(QStringLiteral("Folder docelowy nie istnieje. Utworzyć go?"))) throw EAbort();
    // One level only: a missing parent is not made either.
    if (!QDir().mkdir(destination)) throw EAbort();
  }
  bool replaceSources = false;
  if (RunWouldReplaceSources()) {
    // "Tak" overwrites the originals: Enter and the pointer go to "Nie".
    if (!AskYesNoDefaultNo(QStringLiteral("Pliki źródłowe zostaną nadpisane. Kontynuować?"))) throw EAbort();
    replaceSources = true;
  }

  // The window is locked during the run, so its settings are read once, here.
  RunRequest request;
  request.sourceFolder = ToFsPath(eFoldZ->currentText());
  for (int i = 0; i < CLB->count(); ++i) {
    if (CLB->item(i)->checkState() == Qt::Checked) request.names.push_back(CLB->item(i)->text().toStdString());
  }
  request.options = RunOptions(replaceSources);
  request.workers = RunWorkers();
  request.keepGoing = cbPomijaj->isChecked();
  RunScope scope(*this, static_cast<int>(request.names.size()));
  BatchRun run(std::move(request),
               [this](const fs::path& source, const BatchOptions& options) { return ProcessOneFile(source, options); });
  filesWithNotes_ = 0;
  FollowRun(run);
  const RunSummary summary = run.summary();
  scope.RestoreCursor();
  // Not an error: the files were written. Said first, however the run ended.
  ShowMetadataNotice(filesWithNotes_);

  switch (summary.end) {
    case RunEnd::Failed:
      // Shown by the default error display with the file's own message, as before the run had workers.
      std::rethrow_exception(summary.firstFailure->error);
    case RunEnd::Stopped:
      try {
        ErrorNotice(QStringLiteral("Zatrzymano przed ") + QString::fromStdString(summary.stoppedBefore));
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
