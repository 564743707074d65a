// The window's remembered settings: every key of its own in one table, read at start and written at
// close (or at once) by loops over it. The caption's keys are the caption's (imaging/caption.h).

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include "app/form1.h"
#include "dialogs/qmtpropscb.h"
#include "settings/environment.h"
#include "settings/textutils.h"

namespace velmora {

struct TForm1::TSettingKey {
  const char* Key;
  TKeyKind Kind;
  TKeyWrite Write;
  QObject* Control;
};

// In the order a close writes them, which is the order a new file lists them in.
std::vector<TForm1::TSettingKey> TForm1::SettingKeys() {
  return {
      {"prefix", TKeyKind::Text, TKeyWrite::AtClose, EPref},
      {"folderZ", TKeyKind::Folder, TKeyWrite::AtClose, eFoldZ},
      {"folderDo", TKeyKind::Folder, TKeyWrite::AtClose, eFoldDo},
      {"folderyZ", TKeyKind::History, TKeyWrite::AtClose, eFoldZ},
      {"folderyDo", TKeyKind::History, TKeyWrite::AtClose, eFoldDo},
      {"podpisz", TKeyKind::Flag, TKeyWrite::AtClose, cbPodp},
      {"zmień rozmiar", TKeyKind::Flag, TKeyWrite::AtClose, cbSize},
      {"size", TKeyKind::Size, TKeyWrite::AtClose, seSize},
      {"EXIF", TKeyKind::Flag, TKeyWrite::AtClose, cbEXIF},
      {"pomijaj bledne", TKeyKind::Flag, TKeyWrite::AtClose, cbPomijaj},
      {"klucz selekcji plików", TKeyKind::Text, TKeyWrite::AtClose, eKlucz},
      {"okno", TKeyKind::Geometry, TKeyWrite::AtClose, this},
      {"ZapUst", TKeyKind::Remember, TKeyWrite::Always, cbZapUst},
      {"sufiks", TKeyKind::Flag, TKeyWrite::AtOnce, rbSuf},
      {"usun GPS", TKeyKind::Flag, TKeyWrite::AtOnce, cbUsunGPS},
      {"obracaj wg EXIF", TKeyKind::FlagOn, TKeyWrite::AtOnce, cbObroc},
      {"watki", TKeyKind::Workers, TKeyWrite::Never, nullptr},
  };
}

QString TForm1::KeyOf(const QObject* control, TKeyKind kind) {
  for (const TSettingKey& key : SettingKeys())
    if (key.Control == control && key.Kind == kind) return QString::fromUtf8(key.Key);
  return {};
}

QString TForm1::StoredValue(const QObject* control, TKeyKind kind) { return Props().Get(KeyOf(control, kind)); }

void TForm1::LoadSettingControls() {
  for (const TSettingKey& key : SettingKeys()) {
    const QString value = Props().Get(QString::fromUtf8(key.Key));
    switch (key.Kind) {
      case TKeyKind::Flag:
        qobject_cast<QAbstractButton*>(key.Control)->setChecked(value == QStringLiteral("T"));
        break;
      case TKeyKind::FlagOn:
        qobject_cast<QAbstractButton*>(key.Control)->setChecked(value != QStringLiteral("N"));
        break;
      case TKeyKind::Remember:
        qobject_cast<TQMTPropsCB*>(key.Control)->SetChecked(TextToBool(value));
        break;
      case TKeyKind::Text: {
        auto* edit = qobject_cast<QLineEdit*>(key.Control);
        const QSignalBlocker block(edit);
        edit->setText(value);
        break;
      }
      case TKeyKind::Size: {
        bool ok = false;
        const int size = value.toInt(&ok);
        qobject_cast<QSpinBox*>(key.Control)->setValue(ok && size >= 1 ? size : 1280);
        break;
      }
      case TKeyKind::Folder:  // the folder fields and the rest take their values where their steps need them
      case TKeyKind::History:
      case TKeyKind::Geometry:
      case TKeyKind::Workers:
        break;
    }
  }
}

QString TForm1::ValueToStore(const TSettingKey& key) const {
  switch (key.Kind) {
    case TKeyKind::Flag:
    case TKeyKind::FlagOn:
      return BoolToTN(qobject_cast<const QAbstractButton*>(key.Control)->isChecked());
    case TKeyKind::Remember:
      return BoolToTN(qobject_cast<const TQMTPropsCB*>(key.Control)->Checked());
    case TKeyKind::Text:
      return qobject_cast<const QLineEdit*>(key.Control)->text();
    case TKeyKind::Size:
      return QString::number(qobject_cast<const QSpinBox*>(key.Control)->value());
    case TKeyKind::Folder:
      return qobject_cast<const QComboBox*>(key.Control)->currentText();
    case TKeyKind::History:
      return JoinList(HistoryOf(*qobject_cast<const QComboBox*>(key.Control)), QStringLiteral(";"), false);
    case TKeyKind::Geometry: {
      // The place of the frame and the size of the client, as the window stood before any maximising.
      const QRect normal = isMaximized() || isFullScreen() ? normalGeometry() : QRect(pos(), size());
      return QStringLiteral("%1,%2,%3,%4").arg(normal.x()).arg(normal.y()).arg(normal.width()).arg(normal.height());
    }
    case TKeyKind::Workers:
      break;
  }
  return {};
}

void TForm1::StoreSettings() {
  for (const TSettingKey& key : SettingKeys()) {
    if (key.Write == TKeyWrite::Always || (key.Write == TKeyWrite::AtClose && cbZapUst->Checked()))
      Props().Set(QString::fromUtf8(key.Key), ValueToStore(key));
  }
}

void TForm1::StoreAtOnce(const QObject* control) {
  for (const TSettingKey& key : SettingKeys())
    if (key.Control == control && key.Write == TKeyWrite::AtOnce)
      Props().Set(QString::fromUtf8(key.Key), ValueToStore(key));
}

void TForm1::cbObrocClick() { StoreAtOnce(cbObroc); }

void TForm1::cbUsunGPSClick() { StoreAtOnce(cbUsunGPS); }

std::optional<QRect> TForm1::RememberedGeometry() {
  const QStringList parts = StoredValue(this, TKeyKind::Geometry).split(u',');
  if (parts.size() != 4) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    v[i] = parts[i].trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
  }
  if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return QRect(v[0], v[1], v[2], v[3]);
}

int TForm1::RunWorkers() {
  bool ok = false;
  const int workers = StoredValue(nullptr, TKeyKind::Workers).trimmed().toInt(&ok);
  return ok && workers > 0 ? workers : 0;
}

}  // namespace velmora
