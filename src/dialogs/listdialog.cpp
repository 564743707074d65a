#include "dialogs/listdialog.h"

#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "base/fileio.h"
#include "dialogs/colours.h"
#include "dialogs/commandguard.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/messagedialogs.h"

namespace velmora {

namespace {

struct RowButtonInfo {
  const char* caption;
  TModalResult result;
};
constexpr RowButtonInfo kRowButtons[] = {
    {"OK", mrOk},
    {"&Nie", mrNo},
    {"Anuluj", mrCancel},
    {"&Zamknij", mrCancel},
};

// A label that acts like a link: blue, underlined, hand pointer, runs its action on a left click.
class TLinkLabel : public QLabel {
 public:
  TLinkLabel(const QString& text, QWidget* parent, std::function<void()> action)
      : QLabel(text, parent), action_(std::move(action)) {
    SetDesignColour(*this, QColor(0, 0, 255));
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    adjustSize();
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) RunGuarded(action_);
  }

 private:
  std::function<void()> action_;
};

bool IsCtrlKey(const QKeyEvent& event, int key) {
  // Ctrl+F gives the same key character with or without Shift; Alt or Meta make another key.
  const Qt::KeyboardModifiers mods = event.modifiers() & ~Qt::KeypadModifier;
  return event.key() == key && (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier));
}

}  // namespace

TFormRapDlg::TFormRapDlg(QWidget* parent) : TDialogForm(parent) { setObjectName(QStringLiteral("TFormRapDlg")); }

QStringList TFormRapDlg::MemoLines() const {
  if (!Content) return {};
  QStringList lines = Content->toPlainText().split(QLatin1Char('\n'));
  if (lines.back().isEmpty()) lines.removeLast();
  return lines;
}

void TFormRapDlg::SetMemoLines(const QStringList& lines) {
  if (!Content) return;
  // Every line ends with a line break, so an empty last entry survives the way back (MemoLines).
  QString text;
  for (const QString& line : lines) text += line + QLatin1Char('\n');
  Content->setPlainText(text);
}

void TFormRapDlg::LCopyClick() {
  PutTextOnClipboard(MemoLines().join(QStringLiteral("\r\n")), "Cannot open clipboard");
  DoneNotice();
}

void TFormRapDlg::LSaveClick() {
  const QString name = ChooseSaveFile(SaveFilter, SaveName.isEmpty() ? windowTitle() : SaveName);
  if (name.isEmpty()) return;
  SaveMemoTo(name);
}

void TFormRapDlg::SaveMemoTo(const QString& fileName) const {
  QByteArray bytes;
  for (const QString& line : MemoLines()) bytes += line.toUtf8() + "\r\n";
  try {
    writeFileAtomically(
        std::filesystem::path(QFile::encodeName(fileName).toStdString()),
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())},
        FileCalls != nullptr ? *FileCalls : systemFileCalls());
  } catch (const FileError& e) {
    throw std::runtime_error(QStringLiteral("Nie mogę zapisać pliku %1: %2")
                                 .arg(fileName, QString::fromStdString(e.reason()))
                                 .toStdString());
  }
}

void TFormRapDlg::VLEKeyPress(const QKeyEvent& event) {
  if (!Content) return;
  if (IsCtrlKey(event, Qt::Key_F)) {
    if (AskSearchText()) FindInMemo(*Content);
  } else if (IsCtrlKey(event, Qt::Key_L)) {
    FindInMemo(*Content);
  }
}

bool TFormRapDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Content && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<const QKeyEvent*>(event);
    RunGuarded([&] { VLEKeyPress(*key); });
  }
  return TDialogForm::eventFilter(watched, event);
}

void TFormRapDlg::resizeEvent(QResizeEvent* event) {
  TDialogForm::resizeEvent(event);
  // The layout's places against the bottom edge, the memo taking what is left above them.
  const int grown = height() - kClientHeight;
  if (Content) Content->setGeometry(0, 0, width(), 177 + grown);
  for (auto* link : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    const QVariant top = link->property("velmoraTop");
    if (top.isValid()) link->move(link->x(), top.toInt() + grown);
  }
  const QList<QPushButton*> row = findChildren<QPushButton*>(Qt::FindDirectChildrenOnly);
  const int n = static_cast<int>(row.size());
  if (n >= 1 && n <= 3) {
    constexpr int w = 75, h = 25;
    const int cw = width(), ch = height();
    const int lefts[3][3] = {
        {(cw - w) / 2, 0, 0}, {cw / 2 - w - 10, cw / 2 + 10, 0}, {(cw - w) / 2 - w - 20, cw / 2, cw / 2 + w + 20}};
    for (int i = 0; i < n; ++i) row[i]->move(lefts[n - 1][i], ch - h - 25);
  }
}

void AddLinkLabels(TFormRapDlg& form, bool withCopy, bool withSave) {
  const int top = form.height() - 50;
  if (withCopy) {
    auto* copy = new TLinkLabel(QStringLiteral("Kopiuj"), &form, [&form] { form.LCopyClick(); });
    copy->setObjectName(QStringLiteral("LCopy"));
    copy->move(20, top);
    copy->setProperty("velmoraTop", copy->y() - form.height() + TFormRapDlg::kClientHeight);
  }
  if (withSave) {
    auto* save = new TLinkLabel(QStringLiteral("Zapisz ..."), &form, [&form] { form.LSaveClick(); });
    save->setObjectName(QStringLiteral("LSave"));
    // Rounded half to even, like the original's rounding.
    const double below = 1.5 * QFontMetrics(form.font()).height();
    save->move(20, top + static_cast<int>(std::lrint(below)));
    save->setProperty("velmoraTop", save->y() - form.height() + TFormRapDlg::kClientHeight);
  }
}

QList<QPushButton*> AddButtonRow(TDialogForm& form, std::initializer_list<TRowButtonKind> kinds, int defaultIndex) {
  const int n = static_cast<int>(kinds.size());
  if (n < 1 || n > 3) throw std::invalid_argument("AddButtonRow takes one to three buttons");
  constexpr int w = 75, h = 25;
  const int cw = form.width(), ch = form.height();
  const int lefts[3][3] = {
      {(cw - w) / 2, 0, 0},
      {cw / 2 - w - 10, cw / 2 + 10, 0},
      {(cw - w) / 2 - w - 20, cw / 2, cw / 2 + w + 20},
  };
  QList<QPushButton*> buttons;
  int i = 0;
  for (TRowButtonKind kind : kinds) {
    const RowButtonInfo& info = kRowButtons[static_cast<int>(kind)];
    const QString caption = QString::fromUtf8(info.caption);
    QPushButton* b = form.AddResultButton(caption, info.result, QRect(lefts[n - 1][i], ch - h - 25, w, h));
    b->setObjectName(QString(caption).remove(QLatin1Char('&')));
    if (i == defaultIndex) form.SetDefaultButton(b);
    buttons << b;
    ++i;
  }
  return buttons;
}

std::optional<QStringList> EditStringList(const QString& title, const QStringList& lines, bool readOnly,
                                          const QString& saveFilter, const QString& saveName,
                                          const TListLink& extraLink) {
  TFormRapDlg form;
  form.setWindowTitle(title);
  if (!saveFilter.isEmpty()) form.SaveFilter = saveFilter;
  form.SaveName = saveName;
  // The layout's size at first, larger on request (long paths, many failed files).
  form.setMinimumSize(TFormRapDlg::kClientWidth, TFormRapDlg::kClientHeight);
  form.resize(TFormRapDlg::kClientWidth, TFormRapDlg::kClientHeight);
  form.setSizeGripEnabled(true);
  // Centred with the frame the window manager gives it, which need not be the 342 x 290 of the layout.
  form.CentreOnScreen();
  AddLinkLabels(form, true, true);
  if (extraLink.action) {
    // Between the memo and "Kopiuj": below the links the buttons leave no room for a wider one.
    auto* link = new TLinkLabel(extraLink.caption, &form, extraLink.action);
    link->setObjectName(extraLink.objectName);
    const double above = 1.5 * QFontMetrics(form.font()).height();
    link->move(20, form.height() - 50 - static_cast<int>(std::lrint(above)));
    link->setProperty("velmoraTop", link->y() - form.height() + TFormRapDlg::kClientHeight);
  }

  auto* memo = new QPlainTextEdit(&form);
  memo->setObjectName(QStringLiteral("Content"));
  memo->setGeometry(0, 0, form.width(), 177);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setTabChangesFocus(false);
  form.Content = memo;
  form.SetMemoLines(lines);
  memo->setReadOnly(readOnly);
  memo->installEventFilter(&form);

  const QList<QPushButton*> row = AddButtonRow(form, {TRowButtonKind::rbOK, TRowButtonKind::rbCancel}, 0);
  // Esc closes the list as "Anuluj" does.
  form.SetCancelButton(row[1]);
  memo->setFocus(Qt::OtherFocusReason);

  if (form.ShowModal() != mrOk) return std::nullopt;
  return form.MemoLines();
}

}  // namespace velmora
