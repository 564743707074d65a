// The caption side of the window: the mask and its preview, the caption menu and its commands. Every
// caption setting is stored as soon as it changes, whatever the remember box says.

#include <QCheckBox>
#include <QColorDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include "app/artwork.h"
#include "app/form1.h"
#include "dialogs/dialogplacement.h"
#include "dialogs/filedialogs.h"
#include "dialogs/inputdialogs.h"
#include "imaging/caption.h"
#include "settings/environment.h"
#include "settings/textutils.h"

namespace velmora {

namespace {

QString Key(const char* utf8) { return QString::fromUtf8(utf8); }

CaptionSettings CurrentCaption(const TProps& props) {
  return CaptionSettingsFromKeys([&props](const QString& key) { return props.Get(key); });
}

// The extension from the name's last "." on, dot included; empty when there is none.
QString Extension(const QString& path) {
  const QString name = ExtractFieldFromEnd(1, path, kPathDelimiter);
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QString() : name.mid(dot);
}

QIcon Swatch(const QColor& colour) {
  QPixmap pixmap(16, 12);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

// Qt's font dialog has no colour, which the caption font carries: a "Kolor ..." button joins its
// effects box (or, failing that, the dialog's grid) and keeps the chosen colour in `colour`.
void AddColourButton(QFontDialog& dialog, QColor& colour) {
  auto* button = new QPushButton(Swatch(colour), QStringLiteral("Kolor ..."));
  button->setObjectName(QStringLiteral("FontColour"));
  QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &colour, button] {
    QColorDialog colours(colour, &dialog);
    colours.setWindowTitle(QStringLiteral("Kolor czcionki"));
    colours.setOption(QColorDialog::DontUseNativeDialog);
    if (ExecPlaced(colours) != QDialog::Accepted) return;
    colour = colours.selectedColor();
    button->setIcon(Swatch(colour));
  });
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
    if (box->layout() != nullptr && !box->findChildren<QCheckBox*>().isEmpty()) {
      box->layout()->addWidget(button);
      return;
    }
  }
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
    grid->addWidget(button, grid->rowCount(), 0);
  } else if (dialog.layout() != nullptr) {
    dialog.layout()->addWidget(button);
  }
}

}  // namespace

void TForm1::BuildCaptionMask() {
  // Should the build fail, the run must not stamp an out-of-date caption.
  captionMask_.reset();
  auto stamper = std::make_shared<const CaptionStamper>(CurrentCaption(Props()));
  captionMask_ = stamper;
  QImage preview = previewBackground_.isNull() ? StockCaptionBackground() : previewBackground_;
  try {
    stamper->DrawPreview(preview);
  } catch (...) {
    // A graphic that cannot be read: the text stays drawn and the error is told.
    iPodp->SetPicture(preview);
    throw;
  }
  iPodp->SetPicture(preview);
}

void TForm1::sbKonfPodpClick() {
  pmKonfPodp->popup(sbKonfPodp->mapToGlobal(QPoint(sbKonfPodp->width() / 2, sbKonfPodp->height() / 2)));
}

void TForm1::Podpis1Click() {
  const QString text = AskText(QStringLiteral("Podpis:"), Props().Get(Key(caption_key::Text)), 255);
  if (text.isEmpty()) return;
  Props().Set(Key(caption_key::Text), text);
  BuildCaptionMask();
}

void TForm1::Czcionka1Click() {
  const CaptionSettings current = CurrentCaption(Props());
  QFont font(current.FontName);
  font.setPointSize(current.FontSize);
  font.setItalic(current.Italic);
  font.setBold(current.Bold);
  font.setUnderline(current.Underline);
  font.setStrikeOut(current.StrikeOut);
  QColor colour = ColorRefToQColor(current.FontColor);

  // The dialog lists installed families only: a name that fontconfig substitutes ("Times New Roman" drawn
  // in Liberation Serif) would leave it on its first family. It opens on the family the caption is drawn in.
  const QString drawnFamily = QFontInfo(font).family();
  font.setFamily(drawnFamily);

  QFontDialog dialog(font, this);
  dialog.setObjectName(QStringLiteral("CaptionFontDialog"));
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  AddColourButton(dialog, colour);
  if (ExecPlaced(dialog) != QDialog::Accepted) return;

  const QFont chosen = dialog.selectedFont();
  // A font given in pixels comes back without points: the 96-dpi caption surface converts them.
  const int points = chosen.pointSize() > 0 ? chosen.pointSize() : (chosen.pixelSize() * 72 + 48) / 96;
  TProps& props = Props();
  // Kept as the stored name while the user stayed with the family it is drawn in.
  props.Set(Key(caption_key::Font), chosen.family() == drawnFamily ? current.FontName : chosen.family());
  props.Set(Key(caption_key::FontSize), QString::number(points));
  props.Set(Key(caption_key::FontColor), QString::number(QColorToColorRef(colour)));
  props.Set(Key(caption_key::FontItalic), BoolToTN(chosen.italic()));
  props.Set(Key(caption_key::FontBold), BoolToTN(chosen.bold()));
  props.Set(Key(caption_key::FontUnderline), BoolToTN(chosen.underline()));
  props.Set(Key(caption_key::FontStrikeOut), BoolToTN(chosen.strikeOut()));
  BuildCaptionMask();
}

void TForm1::Kolotta1Click() {
  QColorDialog dialog(ColorRefToQColor(CurrentCaption(Props()).BackColor), this);
  dialog.setObjectName(QStringLiteral("CaptionBackColourDialog"));
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (ExecPlaced(dialog) != QDialog::Accepted) return;
  Props().Set(Key(caption_key::BackColor), QString::number(QColorToColorRef(dialog.selectedColor())));
  BuildCaptionMask();
}

void TForm1::ToggleCaptionMode(QAction* item, const char* key) {
  // The menu item has already inverted its own check mark.
  Props().Set(Key(key), BoolToTN(item->isChecked()));
  BuildCaptionMask();
}

void TForm1::Tlonegatywowe1Click() { ToggleCaptionMode(Tlonegatywowe1, caption_key::NegativeBackground); }
void TForm1::Bezta1Click() { ToggleCaptionMode(Bezta1, caption_key::NoBackground); }
void TForm1::Przezroczyste1Click() { ToggleCaptionMode(Przezroczyste1, caption_key::TransparentGlyphs); }
void TForm1::Czcionkinegatywowe1Click() { ToggleCaptionMode(Czcionkinegatywowe1, caption_key::NegativeGlyphs); }

void TForm1::Dodajgrafik1Click() {
  const QString key = Key(caption_key::Graphic);
  if (Dodajgrafik1->isChecked()) {
    const QString path =
        ChooseFile(QStringLiteral("bitmapa (*.bmp)|*.bmp"), QString(), QStringLiteral("Wskaż plik"), this);
    Props().Set(key, path);
    if (path.isEmpty() || Extension(path).toLower() != QStringLiteral(".bmp")) {
      Props().Set(key, QString());
      Dodajgrafik1->setChecked(false);
    }
  } else {
    Props().Set(key, QString());
  }
  BuildCaptionMask();
}

}  // namespace velmora
