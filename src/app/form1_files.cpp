// The file list: filling it for the source folder, the tick commands, the key selection and the preview.

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QSignalBlocker>
#include <QToolButton>
#include <stdexcept>

#include "app/form1.h"
#include "app/fspath.h"
#include "app/outputoptionsdialog.h"
#include "base/fileio.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtgauge.h"
#include "imaging/preview.h"
#include "imaging/sourcefiles.h"
#include "settings/filehelpers.h"
#include "settings/textutils.h"

namespace velmora {

namespace {

QString CounterText(int ticked, int count) { return QStringLiteral("plików: %1 z %2").arg(ticked).arg(count); }

// Blanks and control characters off both ends.
QString TrimControls(const QString& text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && text[begin].unicode() <= 32) ++begin;
  while (end > begin && text[end - 1].unicode() <= 32) --end;
  return text.mid(begin, end - begin);
}

// Only the letters A to Z, as the destination pick compares names.
QString AsciiLower(QString text) {
  for (QChar& c : text) {
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  }
  return text;
}

// Name and size of the previewed file in the two lines under the preview; a name too long for them is
// shortened in the middle with "…" (its end tells photos apart) and shown whole as the tool tip.
void ShowPreviewCaption(QLabel& label, const QString& name, QSize size) {
  if (name.isEmpty()) {
    label.clear();
    label.setToolTip(QString());
    return;
  }
  const QString sizeText = PreviewSizeText(size);
  const QString full = name + sizeText;
  const QFontMetrics fm(label.font());
  const QRect room = label.contentsRect();
  const int flags = Qt::TextWordWrap | static_cast<int>(label.alignment());
  const QSize need = fm.boundingRect(QRect(0, 0, room.width(), 100000), flags, full).size();
  if (need.width() <= room.width() && need.height() <= room.height()) {
    label.setText(full);
    label.setToolTip(QString());
    return;
  }
  // The name alone on the first line, the size on the second.
  label.setText(fm.elidedText(name, Qt::ElideMiddle, room.width()) + sizeText);
  label.setToolTip(full);
}

// Sets the ticks of entries [from, to) without a recount per entry.
void SetTicks(QListWidget& list, int from, int to, Qt::CheckState state) {
  const QSignalBlocker block(&list);
  for (int i = std::max(from, 0); i < std::min(to, list.count()); ++i) list.item(i)->setCheckState(state);
}

}  // namespace

void TForm1::eFoldZChange() {
  ShowNotice(QString());
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
  }
  // A path typed by hand lists nothing until it is chosen from the history.
  if (SelectedEntry(*eFoldZ) < 0) return;
  HideProgress();

  const QString destination = eFoldDo->currentText();
  FillFileList(false);

  const QString folder = eFoldZ->currentText();
  ColourFolderFields(!folder.isEmpty() && folder == eFoldDo->currentText());
  const QString hint = ExtractFieldFromEnd(1, folder, kPathDelimiter);
  eFoldZ->setToolTip(hint);
  ApplyPrefixRule();

  // The destination whose folder name is the source's name without digits ("Wakacje2015" finds
  // ".../wakacje"). Choosing it this way leaves colours and hint as they are.
  const TCharSet digits{U'0', U'1', U'2', U'3', U'4', U'5', U'6', U'7', U'8', U'9'};
  const QString key = AsciiLower(TrimControls(RemoveCharSet(hint, digits)));
  for (int i = 0; i < eFoldDo->count(); ++i) {
    if (AsciiLower(ExtractFieldFromEnd(1, eFoldDo->itemText(i), kPathDelimiter)) == key) {
      SelectEntry(*eFoldDo, i);
      break;
    }
  }
  // A destination inside the tree is no source: the list follows the pick.
  if (eFoldDo->currentText() != destination && StoredOutputOptions(Props()).subfolders) FillFileList(true);
}

void TForm1::RefillFileList() {
  if (SelectedEntry(*eFoldZ) >= 0) FillFileList(true);
}

void TForm1::FillFileList(bool keepTicks) {
  QSet<QByteArray> unticked;
  for (int i = 0; keepTicks && i < CLB->count(); ++i)
    if (CLB->item(i)->checkState() != Qt::Checked) unticked.insert(CLB->item(i)->data(kNameBytesRole).toByteArray());
  const bool subfolders = StoredOutputOptions(Props()).subfolders;
  FolderPictures pictures;
  try {
    pictures = listFolderPictures(ToFsPath(eFoldZ->currentText()), subfolders, ToFsPath(eFoldDo->currentText()));
  } catch (const FileError&) {
    // A folder that cannot be read lists nothing, as a missing one does.
  }
  {
    const QSignalBlocker block(CLB);
    CLB->clear();
    // The entry keeps the name's bytes; its text shows them, escaped where they are not UTF-8.
    for (const std::string& name : pictures.names) {
      auto* item = new QListWidgetItem(QString::fromStdString(printableName(name)));
      const QByteArray bytes = QByteArray::fromStdString(name);
      item->setData(kNameBytesRole, bytes);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setCheckState(unticked.contains(bytes) ? Qt::Unchecked : Qt::Checked);
      CLB->addItem(item);
    }
  }
  // Named like photos but no regular files (a pipe, a device): never opened, said beside the counter.
  QStringList skipped;
  for (const std::string& name : pictures.skipped) skipped << QString::fromStdString(printableName(name));
  QStringList unreadable;
  for (const auto& folder : pictures.unreadable) unreadable << QString::fromStdString(printableName(folder.folder));
  QStringList notices;
  if (!skipped.isEmpty())
    notices << QStringLiteral("Pominięte, to nie pliki (%1): ").arg(skipped.size()) + skipped.join(u", ");
  if (!unreadable.isEmpty())
    notices << QStringLiteral("Nieodczytane foldery (%1): ").arg(unreadable.size()) + unreadable.join(u", ");
  ShowNotice(notices.join(u"; "));
  Recount();
}

void TForm1::Recount() {
  int ticked = 0;
  for (int i = 0; i < CLB->count(); ++i) ticked += CLB->item(i)->checkState() == Qt::Checked ? 1 : 0;
  lPl->setText(CounterText(ticked, CLB->count()));
  lPl->adjustSize();
}

void TForm1::CLBClickCheck() { Recount(); }

void TForm1::Zaznaczwszystko1Click() {
  SetTicks(*CLB, 0, CLB->count(), Qt::Checked);
  Recount();
}

void TForm1::Odznaczwszystko1Click() {
  SetTicks(*CLB, 0, CLB->count(), Qt::Unchecked);
  lPl->setText(CounterText(0, CLB->count()));
  lPl->adjustSize();
}

void TForm1::SpeedButton3Click() {
  {
    const QSignalBlocker block(CLB);
    for (int i = 0; i < CLB->count(); ++i) {
      QListWidgetItem* item = CLB->item(i);
      item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
  }
  Recount();
}

int TForm1::HighlightedEntry() const {
  const QListWidgetItem* item = CLB->currentItem();
  return item != nullptr && item->isSelected() ? CLB->row(item) : -1;
}

namespace {

int HighlightedOrNotice(int row) {
  if (row < 0) ErrorNotice(QStringLiteral("Zaznacz plik i spróbuj ponownie."));
  return row;
}

}  // namespace

void TForm1::Zaznaczdokoca1Click() {
  SetTicks(*CLB, HighlightedOrNotice(HighlightedEntry()), CLB->count(), Qt::Checked);
  Recount();
}

void TForm1::OdznaczDoKonca1Click() {
  SetTicks(*CLB, HighlightedOrNotice(HighlightedEntry()), CLB->count(), Qt::Unchecked);
  Recount();
}

void TForm1::Odznaczdopocztku1Click() {
  SetTicks(*CLB, 0, HighlightedOrNotice(HighlightedEntry()), Qt::Unchecked);
  Recount();
}

void TForm1::sbKluczClick() {
  if (CLB->count() == 0) return;
  const QString key = eKlucz->text();
  {
    const QSignalBlocker block(CLB);
    for (int i = 0; i < CLB->count(); ++i) {
      QListWidgetItem* item = CLB->item(i);
      // Case counts; an empty key occurs in no name.
      const bool hit = !key.isEmpty() && item->text().contains(key, Qt::CaseSensitive);
      item->setCheckState(hit ? Qt::Checked : Qt::Unchecked);
    }
  }
  Recount();
}

void TForm1::CLBClick() {
  const int row = HighlightedEntry();
  if (row < 0) return;
  if (StoredOutputOptions(Props()).templateNames) UpdateNameSample();
  const QString name = CLB->item(row)->text();
  const QString path = WithDelimiter(eFoldZ->currentText()) + name;
  if (path == lastPreviewPath_) return;
  // Decoded for the area's real pixels: sharp on a scaled screen and in an enlarged window.
  const QSize box = (QSizeF(Image1->size()) * Image1->devicePixelRatioF()).toSize();
  TPreviewSource source;
  QImage picture;
  try {
    source = LoadPreviewSource(ToFsPath(eFoldZ->currentText()) / EntryName(*CLB->item(row)), box,
                               StoredOutputOptions(Props()).convertColours);
    picture = PreviewPicture(source.Picture, box);
    picture.setDevicePixelRatio(Image1->devicePixelRatioF());
  } catch (const std::exception& e) {
    // Told in the preview itself, so browsing with the arrow keys goes on; nothing of the file shown
    // before stays under this row, and coming back to it tries again.
    lastPreviewPath_.clear();
    Image1->SetMessage(QStringLiteral("Nie mogę pokazać podglądu:\n") + QString::fromUtf8(e.what()));
    ShowPreviewCaption(*lPodgl, name, {});
    return;
  }
  ShowPreviewCaption(*lPodgl, name, source.StatedSize);
  lastPreviewPath_ = path;
  Image1->SetPicture(picture);
}

void TForm1::HideProgress() {
  Gauge1->hide();
  sbStop->hide();
  lProgress->clear();
  sbOtworz->hide();
  lStan->clear();
  lStan->setToolTip(QString());
}

}  // namespace velmora
