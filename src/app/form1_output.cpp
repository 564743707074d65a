// The window's side of the "Opcje zapisu" dialog: its flat button in the settings panel and the line
// under it naming what differs from the design's output.

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>

#include "app/form1.h"
#include "app/outputoptionsdialog.h"
#include "dialogs/commandguard.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "imaging/runplan.h"
#include "imaging/runsetup.h"
#include "imaging/sourcefiles.h"
#include "metadata/metadatawriter.h"
#include "settings/environment.h"

namespace velmora {

void TForm1::BuildOutputOptionsControls(QWidget* panel) {
  // Not one of the design's controls: the free room under "Zmień maksymalny rozmiar na:", its line in
  // the free room between the panel and "4. Wykonaj".
  sbOpcje = new QToolButton(panel);
  sbOpcje->setObjectName(QStringLiteral("sbOpcje"));
  sbOpcje->setText(QStringLiteral("Opcje zapisu ..."));
  sbOpcje->setAutoRaise(true);
  sbOpcje->setGeometry(20, 126, std::max(105, sbOpcje->sizeHint().width()), 20);
  lOpcje = new QLabel(client_);
  lOpcje->setObjectName(QStringLiteral("lOpcje"));
  lOpcje->setTextFormat(Qt::PlainText);
  QFont f = lOpcje->font();
  f.setPointSize(f.pointSize() - 1);
  lOpcje->setFont(f);
  lOpcje->setGeometry(60, 511, 250, 15);
  connect(sbOpcje, &QToolButton::clicked, this, [this] { RunGuarded([this] { sbOpcjeClick(); }); });
  // Beside it, in the same free room, short of "Powiększ mniejsze".
  sbNazwy = new QToolButton(panel);
  sbNazwy->setObjectName(QStringLiteral("sbNazwy"));
  sbNazwy->setText(QStringLiteral("Podgląd nazw"));
  sbNazwy->setAutoRaise(true);
  sbNazwy->setToolTip(QStringLiteral("nazwy, rozmiary i pliki istniejące, bez zapisywania"));
  sbNazwy->setGeometry(sbOpcje->geometry().right() + 2, 126, sbNazwy->sizeHint().width(), 20);
  connect(sbNazwy, &QToolButton::clicked, this, [this] { RunGuarded([this] { sbNazwyClick(); }); });
  // A template's {szer} and {wys} follow the size rule.
  const auto sample = [this] {
    if (StoredOutputOptions(Props()).templateNames) UpdateNameSample();
  };
  connect(seSize, &QSpinBox::valueChanged, this, sample);
  connect(cbSize, &QCheckBox::toggled, this, sample);
  connect(CBPow, &QCheckBox::toggled, this, sample);
  connect(cbObroc, &QCheckBox::toggled, this, sample);
}

void TForm1::sbNazwyClick() {
  if (eFoldZ->currentText().isEmpty() || eFoldDo->currentText().isEmpty())
    ErrorNotice(QStringLiteral("Nie wskazano folderów"));
  const RunRequest request = RunRequestOfWindow();
  if (request.names.empty()) BeepAndAbort();
  try {
    checkRunOptions(request.options, cbPodp->isChecked());
  } catch (const RunSetupError& e) {
    ErrorNotice(QString::fromStdString(e.what()));
  }
  QStringList lines;
  for (const PlannedFile& file : planRun(request, true).files)
    lines << QString::fromStdString(printableName(planLine(file)));
  EditStringList(QStringLiteral("Podgląd nazw"), lines, true);
}

void TForm1::sbOpcjeClick() {
  OutputDialogHooks hooks;
  hooks.scaling = [this] { return PresetScaling{cbSize->isChecked(), seSize->value(), CBPow->isChecked()}; };
  hooks.applyScaling = [this](const PresetScaling& scaling) {
    cbSize->setChecked(scaling.scale);
    seSize->setValue(scaling.size);
    CBPow->setChecked(scaling.enlarge);
  };
  hooks.changed = [this] { UpdateOutputSummary(); };
  const bool subfolders = StoredOutputOptions(Props()).subfolders;
  ShowOutputOptionsDialog(Props(), hooks);
  UpdateOutputSummary();
  if (StoredOutputOptions(Props()).subfolders != subfolders) RefillFileList();
  // The preview shows the colours the run writes.
  CLBClick();
}

void TForm1::UpdateOutputSummary() {
  const QString summary = OutputOptionsSummary(StoredOutputOptions(Props()));
  const QString tip = summary.isEmpty() ? QStringLiteral("jakość 90, bez limitu rozmiaru, bez wyostrzania") : summary;
  sbOpcje->setToolTip(QStringLiteral("format, jakość, rozmiar pliku, wyostrzanie, koder, data, presety\n") + tip);
  lOpcje->setToolTip(tip);
  lOpcje->setText(QFontMetrics(lOpcje->font()).elidedText(summary, Qt::ElideRight, lOpcje->width()));
  UpdateNameSample();
}

void TForm1::NoteOutcome(const std::string& name, const std::vector<TOutputNote>& notes) {
  bool metadata = false, colour = false;
  for (const TOutputNote& note : notes) {
    if (note.kind == TOutputNote::Kind::kOutput) {
      outputNotes_ << QString::fromStdString(printableName(name) + ": " + note.Text());
    } else if (note.kind == TOutputNote::Kind::kColour) {
      colour = true;
    } else {
      metadata = true;
    }
  }
  if (metadata) ++filesWithNotes_;
  if (colour) ++filesWithColourNotes_;
}

void TForm1::ShowOutputNotes() {
  if (outputNotes_.isEmpty()) return;
  constexpr int kShown = 10;
  QStringList lines = outputNotes_.mid(0, kShown);
  if (outputNotes_.size() > kShown) lines << QStringLiteral("... i %1 innych").arg(outputNotes_.size() - kShown);
  InfoNotice(lines.join(u'\n'));
}

}  // namespace velmora
