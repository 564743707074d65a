// The folder fields: their histories, the browse buttons, the folder menus, and the name sample.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/form1.h"
#include "app/fspath.h"
#include "app/outputoptionsdialog.h"
#include "dialogs/colours.h"
#include "dialogs/filedialogs.h"
#include "dialogs/listdialog.h"
#include "dialogs/messagedialogs.h"
#include "imaging/runplan.h"
#include "imaging/sourcefiles.h"
#include "settings/environment.h"
#include "settings/filehelpers.h"
#include "settings/textutils.h"

namespace velmora {

namespace {

// An edited history keeps what the store would keep: trimmed entries, no empty ones.
QStringList CleanEntries(const QStringList& lines) {
  QStringList entries;
  for (const QString& line : lines) entries << SplitToList(line, TCharSet{}, true);
  return entries;
}

void SetFieldColour(QComboBox& field, const QColor& colour) {
  QPalette p = QApplication::palette(&field);
  p.setColor(QPalette::Base, colour);
  // The text as readable on the field's colour as on the palette's own base (dark text on pale yellow).
  p.setColor(QPalette::Text, ReadableOn(p.color(QPalette::Text), colour));
  field.setPalette(p);
  field.lineEdit()->setPalette(p);
}

[[noreturn]] void FolderMissing(const QString& folder) {
  ErrorNotice(QStringLiteral("Folder \"") + folder + QStringLiteral("\" nie istnieje.\""));
}

// Texts that differ only in case name one folder on a case-blind drive, but two folders here may do
// the same; such two are never one history entry.
bool TwoDifferentFolders(const QString& a, const QString& b) {
  if (!FolderExists(a) || !FolderExists(b)) return false;
  std::error_code ec;
  return !std::filesystem::equivalent(ToFsPath(a), ToFsPath(b), ec);
}

QString LastPathPart(const QString& path) { return ExtractFieldFromEnd(1, path, kPathDelimiter); }

}  // namespace

QStringList TForm1::HistoryOf(const QComboBox& field) {
  QStringList entries;
  for (int i = 0; i < field.count(); ++i) entries << field.itemText(i);
  return entries;
}

int TForm1::SelectedEntry(const QComboBox& field) { return field.currentIndex(); }

int TForm1::HistoryIndexOf(const QComboBox& field, const QString& path) {
  if (path.isEmpty()) return -1;
  int sameButCase = -1;
  for (int i = 0; i < field.count(); ++i) {
    const QString entry = field.itemText(i);
    if (entry == path) return i;
    if (sameButCase < 0 && entry.compare(path, Qt::CaseInsensitive) == 0 && !TwoDifferentFolders(entry, path)) {
      sameButCase = i;
    }
  }
  return sameButCase;
}

void TForm1::SelectEntry(QComboBox& field, int index) {
  const QSignalBlocker block(&field);
  field.setCurrentIndex(index);
  // The same index again would leave a hand-edited text in place.
  if (index >= 0) field.setEditText(field.itemText(index));
}

void TForm1::SetHistory(QComboBox& field, const QStringList& entries) {
  const QSignalBlocker block(&field);
  field.clear();
  field.addItems(entries);
  field.setCurrentIndex(-1);
  field.clearEditText();
}

void TForm1::AddAndSelect(QComboBox& field, const QString& path) {
  int index = HistoryIndexOf(field, path);
  if (index < 0) {
    const QSignalBlocker block(&field);
    field.addItem(path);
    index = field.count() - 1;
  }
  SelectEntry(field, index);
}

void TForm1::ForgetTypedSelection(QComboBox& field) {
  // A text typed by hand is not the history entry any more, although the combo box still points at it.
  if (field.currentIndex() < 0) return;
  QLineEdit* edit = field.lineEdit();
  const QString text = edit->text();
  const int cursor = edit->cursorPosition();
  const QSignalBlocker block(&field);
  field.setCurrentIndex(-1);
  field.setEditText(text);
  edit->setCursorPosition(cursor);
}

void TForm1::ColourFolderFields(bool same) {
  // Pale yellow on both while they name the same folder.
  const QColor colour = same ? QColor(255, 255, 125) : QApplication::palette(eFoldZ).color(QPalette::Base);
  SetFieldColour(*eFoldZ, colour);
  SetFieldColour(*eFoldDo, colour);
}

void TForm1::ApplyPrefixRule() {
  // Same folder and no affix would overwrite the sources: the next start offers "_" at least.
  if (EPref->text().isEmpty() && eFoldZ->currentText() == eFoldDo->currentText()) {
    Props().Set(KeyOf(EPref, TKeyKind::Text), QStringLiteral("_"));
  }
}

void TForm1::BOpenClick() {
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
  }
  const QString chosen = ChooseFolder(eFoldZ->currentText(), env_, this);
  if (chosen.isEmpty()) return;
  HideProgress();
  AddAndSelect(*eFoldZ, chosen);
  eFoldZChange();
}

void TForm1::sbOpenDoClick() {
  const QString chosen = ChooseFolder(eFoldDo->currentText(), env_, this);
  if (chosen.isEmpty()) return;
  HideProgress();
  AddAndSelect(*eFoldDo, chosen);
  eFoldDoChange();
}

void TForm1::Jakdocelowy1Click() {
  const QString destination = eFoldDo->currentText();
  if (!FolderExists(destination)) FolderMissing(destination);
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
  }
  AddAndSelect(*eFoldZ, destination);
  HideProgress();
  eFoldZChange();
}

void TForm1::akisamjakrdowy1Click() {
  const QString source = eFoldZ->currentText();
  if (!FolderExists(source)) FolderMissing(source);
  AddAndSelect(*eFoldDo, source);
  HideProgress();
  eFoldDoChange();
}

namespace {

// Deletes the selected history entry; the field keeps its text and has no selection. False when no
// entry was selected.
bool RemoveSelectedEntry(QComboBox& field) {
  const int index = TForm1::SelectedEntry(field);
  if (index < 0) return false;
  const QSignalBlocker block(&field);
  const QString text = field.currentText();
  field.removeItem(index);
  field.setCurrentIndex(-1);
  field.setEditText(text);
  return true;
}

}  // namespace

void TForm1::Usuzlisty1Click() {
  if (RemoveSelectedEntry(*eFoldZ)) eFoldZChange();
}

void TForm1::Usuzlisty2Click() {
  if (RemoveSelectedEntry(*eFoldDo)) eFoldDoChange();
}

std::optional<bool> TForm1::EditHistory(QComboBox& field, const QString& title) {
  const QString remembered = field.currentText();
  const std::optional<QStringList> edited = EditStringList(title, HistoryOf(field), false);
  if (!edited) return std::nullopt;
  SetHistory(field, CleanEntries(*edited));
  const int index = HistoryIndexOf(field, remembered);
  if (index >= 0) SelectEntry(field, index);
  return index >= 0;
}

void TForm1::Edytujlist1Click() {
  const std::optional<bool> kept = EditHistory(*eFoldZ, QStringLiteral("Foldery Z"));
  if (!kept || *kept) return;
  const QSignalBlocker block(CLB);
  CLB->clear();
}

void TForm1::Edytujlist2Click() {
  if (EditHistory(*eFoldDo, QStringLiteral("Foldery Do")).has_value()) eFoldDoChange();
}

void TForm1::Wyczy1Click() {
  SetHistory(*eFoldZ, {});
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
  }
  SetFieldColour(*eFoldZ, QApplication::palette(eFoldZ).color(QPalette::Base));
  lPl->setText(QStringLiteral("plików: 0 z 0"));
  lPl->adjustSize();
  eFoldZ->setToolTip(QString());
}

void TForm1::Wyczy2Click() {
  SetHistory(*eFoldDo, {});
  SetFieldColour(*eFoldDo, QApplication::palette(eFoldDo).color(QPalette::Base));
  eFoldDo->setToolTip(QString());
}

void TForm1::eFoldDoChange() {
  ShowNotice(QString());
  const QString source = eFoldZ->currentText();
  const QString destination = eFoldDo->currentText();
  ColourFolderFields(!source.isEmpty() && source == destination);
  eFoldDo->setToolTip(LastPathPart(destination));
  ApplyPrefixRule();
  // A destination inside the source tree is not listed as a source.
  if (StoredOutputOptions(Props()).subfolders) RefillFileList();
}

namespace {

// What is wrong with a typed folder path; empty when it names a folder.
QString TypedFolderFault(const QString& path, bool destination) {
  const QFileInfo info(path);
  if (info.isDir()) return {};
  if (info.exists()) return QStringLiteral("„%1” nie jest folderem").arg(path);
  return destination ? QStringLiteral("folder docelowy „%1” jeszcze nie istnieje").arg(path)
                     : QStringLiteral("folder „%1” nie istnieje").arg(path);
}

}  // namespace

bool TForm1::TakeTypedFolder(QComboBox& field, bool destination) {
  if (running_ || SelectedEntry(field) >= 0) return false;
  const QString path = field.currentText();
  if (path.isEmpty()) return false;
  // A missing destination is no mistake (the run offers to make it), but the user should know now.
  if (const QString fault = TypedFolderFault(path, destination); !fault.isEmpty()) {
    ShowNotice(fault);
    return false;
  }
  HideProgress();
  AddAndSelect(field, QDir::cleanPath(path));
  return true;
}

void TForm1::eFoldZEntered() {
  if (TakeTypedFolder(*eFoldZ, false)) eFoldZChange();
}

void TForm1::eFoldDoEntered() {
  if (TakeTypedFolder(*eFoldDo, true)) eFoldDoChange();
}

void TForm1::ShowNotice(const QString& text) {
  const QFontMetrics fm(lUwaga->font());
  lUwaga->setText(fm.elidedText(text, Qt::ElideMiddle, lUwaga->width()));
  lUwaga->setToolTip(lUwaga->text() == text ? QString() : text);
}

void TForm1::EPrefChange() { UpdateNameSample(); }

void TForm1::rbPrefClick() {
  StoreAtOnce(rbSuf);
  UpdateNameSample();
}

void TForm1::UpdateNameSample() {
  // A template's sample is the selected file's own output name, as the run names it.
  const bool fromTemplate = StoredOutputOptions(Props()).templateNames;
  lnp->setVisible(!fromTemplate);
  lExt->setVisible(!fromTemplate);
  if (fromTemplate) {
    const BatchOptions options = RunOptions();
    QString sample = QString::fromStdString(options.output.nameTemplate);
    if (const int row = HighlightedEntry(); row >= 0) {
      std::size_t index = 0;
      for (int i = 0; i < row; ++i)
        if (CLB->item(i)->checkState() == Qt::Checked) ++index;
      try {
        sample = QString::fromStdString(printableName(
            fileOutputName(ToFsPath(eFoldZ->currentText()) / EntryName(*CLB->item(row)), index, options, nullptr)));
      } catch (const std::exception& e) {
        sample = QString::fromStdString(printableName(e.what()));
      }
    }
    const QString shown = QFontMetrics(lPref->font()).elidedText(sample, Qt::ElideMiddle, cbUsunGPS->x() - 4 - 236);
    lPref->setText(shown);
    lPref->setToolTip(shown == sample ? QString() : sample);
    lPref->adjustSize();
    lPref->move(236, lnp->y());
    return;
  }
  const QString affix = EPref->text();
  const int wn = QFontMetrics(lnp->font()).horizontalAdvance(QStringLiteral("nazwa"));
  // The extension of the chosen output format (the sample's name is a JPEG's).
  const QString ext = QString::fromUtf8(outputFormatExtension(StoredOutputOptions(Props()).format).data());
  const int wExt = QFontMetrics(lExt->font()).horizontalAdvance(ext);
  // A long affix would run under "usuń dane GPS": shorten it in the middle, whole in the tooltip.
  const int room = cbUsunGPS->x() - 4 - (240 + wn + wExt);
  const QString shown = QFontMetrics(lPref->font()).elidedText(affix, Qt::ElideMiddle, std::max(room, 0));
  const int wa = QFontMetrics(lPref->font()).horizontalAdvance(shown);
  lPref->setText(shown);
  lPref->setToolTip(shown == affix ? QString() : affix);
  lPref->adjustSize();
  lExt->setText(ext);
  lExt->adjustSize();
  const int top = lnp->y();
  if (rbPref->isChecked()) {
    lPref->move(236, top);
    lnp->move(affix.isEmpty() ? 236 : 238 + wa, top);
    lExt->move(lnp->x() + wn + 2, top);
  } else {
    lnp->move(236, top);
    lPref->move(238 + wn, top);
    lExt->move(affix.isEmpty() ? 238 + wn : 240 + wn + wa, top);
  }
}

}  // namespace velmora
