#include "dialogs/messagedialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

#include "dialogs/commandguard.h"
#include "dialogs/dialogstate.h"
#include "settings/eabort.h"

namespace velmora {

namespace {

// DrawText with word breaks, tab expansion and "&" as accelerator mark.
constexpr int kMessageTextFlags =
    Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs | Qt::TextShowMnemonic;

struct ButtonInfo {
  const char* caption;
  TModalResult result;
};
constexpr std::array<ButtonInfo, kMessageButtonCount> kButtons{{
    {"&Tak", mrYes},
    {"&Nie", mrNo},
    {"OK", mrOk},
    {"Anuluj", mrCancel},
    {"&Zaniechaj", mrAbort},
    {"Po&nów", mrRetry},
    {"Z&ignoruj", mrIgnore},
    {"&Wszystko", mrAll},
    {"Ni&e wszystko", mrNoToAll},
    {"Tak w&szystko", mrYesToAll},
    {"&Pomoc", mrNone},
}};

constexpr const char* kContactWeb = "https://velmora.app";
constexpr const char* kContactMail = "kontakt@velmora.app";

// Texts of this program separate lines with CR alone; Qt breaks lines at LF.
QString WithLineFeeds(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

// The dialog's message: drawn with the same flags it was measured with, so "&" underlines the next
// character and tabs expand exactly as measured.
class TMessageLabel : public QWidget {
 public:
  TMessageLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(WithLineFeeds(text)) {
    setObjectName(QStringLiteral("Message"));
  }
  const QString& DisplayText() const { return text_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect(), kMessageTextFlags, text_);
  }

 private:
  QString text_;
};

QStyle::StandardPixmap KindIcon(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::mtWarning:
      return QStyle::SP_MessageBoxWarning;
    case TMessageKind::mtError:
      return QStyle::SP_MessageBoxCritical;
    case TMessageKind::mtInformation:
      return QStyle::SP_MessageBoxInformation;
    default:
      return QStyle::SP_MessageBoxQuestion;
  }
}

QString WithoutAmpersands(QString s) { return s.remove(QLatin1Char('&')); }

}  // namespace

QString MessageKindCaption(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::mtWarning:
      return QStringLiteral("Uwaga");
    case TMessageKind::mtError:
      return QStringLiteral("Błąd");
    case TMessageKind::mtInformation:
      return QStringLiteral("Informacja");
    case TMessageKind::mtConfirmation:
      return QStringLiteral("Pytanie");
    case TMessageKind::mtCustom:
      break;
  }
  return ApplicationTitle();
}

QString MessageButtonCaption(TMessageButton button) {
  return QString::fromUtf8(kButtons[static_cast<std::size_t>(button)].caption);
}

TModalResult MessageButtonResult(TMessageButton button) { return kButtons[static_cast<std::size_t>(button)].result; }

QString ApplicationTitle() { return QGuiApplication::applicationDisplayName(); }

TMessageForm::TMessageForm(QWidget* parent) : TDialogForm(parent) {
  setObjectName(QStringLiteral("TMessageForm"));
  setFont(QApplication::font("QMessageBox"));
}

std::unique_ptr<TMessageForm> CreateMessageForm(const QString& text, TMessageKind kind, TMessageButtons buttons,
                                                std::optional<TMessageButton> defaultButton) {
  auto form = std::make_unique<TMessageForm>();
  form->text_ = text;
  form->setLayoutDirection(QGuiApplication::layoutDirection());
  const QFont font = form->font();
  const QFontMetrics fm(font);
  const TDialogUnits du(font);

  const int hMargin = du.H(8), vMargin = du.V(8), hSpacing = du.H(10), vSpacing = du.V(10);
  const int buttonHeight = du.V(14), buttonSpacing = du.H(4);

  auto& cache = DialogState().ButtonWidthCache;
  int buttonWidth = du.H(50);
  int buttonCount = 0;
  for (int i = 0; i < kMessageButtonCount; ++i) {
    const auto b = static_cast<TMessageButton>(i);
    if (!buttons.Contains(b)) continue;
    ++buttonCount;
    if (cache[static_cast<std::size_t>(i)] == 0)
      cache[static_cast<std::size_t>(i)] =
          fm.size(Qt::TextSingleLine | Qt::TextShowMnemonic, MessageButtonCaption(b)).width() + 8;
    buttonWidth = std::max(buttonWidth, cache[static_cast<std::size_t>(i)]);
  }

  auto* label = new TMessageLabel(text, form.get());
  form->message_ = label;
  const QRect textRect =
      fm.boundingRect(QRect(0, 0, ScreenSize().width() / 2, 0), kMessageTextFlags, label->DisplayText());
  const int textWidth = textRect.width(), textHeight = textRect.height();

  const bool hasIcon = kind != TMessageKind::mtCustom;
  const int iconTextWidth = hasIcon ? textWidth + 32 + hSpacing : textWidth;
  const int iconTextHeight = hasIcon ? std::max(textHeight, 32) : textHeight;
  const int rowWidth = buttonCount == 0 ? 0 : buttonCount * buttonWidth + (buttonCount - 1) * buttonSpacing;
  const int clientWidth = std::max(iconTextWidth, rowWidth) + 2 * hMargin;
  const int clientHeight = iconTextHeight + buttonHeight + vSpacing + 2 * vMargin;
  form->SetClientSize(clientWidth, clientHeight);
  form->CentreOnScreen();
  form->setWindowTitle(MessageKindCaption(kind));

  if (hasIcon) {
    form->icon_ = new QLabel(form.get());
    form->icon_->setObjectName(QStringLiteral("Image"));
    form->icon_->setGeometry(hMargin, vMargin, 32, 32);
    form->icon_->setPixmap(form->style()->standardIcon(KindIcon(kind), nullptr, form.get()).pixmap(32, 32));
  }

  int labelLeft = iconTextWidth - textWidth + hMargin;
  if (form->layoutDirection() == Qt::RightToLeft) labelLeft = clientWidth - labelLeft - textWidth;
  label->setGeometry(labelLeft, vMargin, textWidth, textHeight);

  const TMessageButton defaultKind = defaultButton && buttons.Contains(*defaultButton) ? *defaultButton
                                     : buttons.Contains(TMessageButton::mbOK)          ? TMessageButton::mbOK
                                     : buttons.Contains(TMessageButton::mbYes)         ? TMessageButton::mbYes
                                                                                       : TMessageButton::mbRetry;
  const TMessageButton cancelKind = buttons.Contains(TMessageButton::mbCancel) ? TMessageButton::mbCancel
                                    : buttons.Contains(TMessageButton::mbNo)   ? TMessageButton::mbNo
                                                                               : TMessageButton::mbOK;
  int x = (clientWidth - rowWidth) / 2;
  const int y = iconTextHeight + vMargin + vSpacing;
  for (int i = 0; i < kMessageButtonCount; ++i) {
    const auto b = static_cast<TMessageButton>(i);
    if (!buttons.Contains(b)) continue;
    QPushButton* button =
        form->AddResultButton(MessageButtonCaption(b), MessageButtonResult(b), QRect(x, y, buttonWidth, buttonHeight));
    button->setObjectName(WithoutAmpersands(MessageButtonCaption(b)));
    form->buttons_.append(button);
    if (b == cancelKind) form->SetCancelButton(button);
    if (b == defaultKind) {
      form->SetDefaultButton(button);
      button->setFocus(Qt::OtherFocusReason);
    }
    x += buttonWidth + buttonSpacing;
  }
  return form;
}

void TMessageForm::showEvent(QShowEvent* event) {
  // Key preview: Ctrl+C reaches the form whichever control has the focus.
  for (QWidget* child : findChildren<QWidget*>()) {
    child->removeEventFilter(this);
    child->installEventFilter(this);
  }
  TDialogForm::showEvent(event);
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && HandleCopyKey(static_cast<QKeyEvent*>(event))) return true;
  return TDialogForm::eventFilter(watched, event);
}

void TMessageForm::keyPressEvent(QKeyEvent* event) {
  if (HandleCopyKey(event)) return;
  TDialogForm::keyPressEvent(event);
}

bool TMessageForm::HandleCopyKey(const QKeyEvent* event) {
  if (event->key() != Qt::Key_C || event->modifiers() != Qt::ControlModifier) return false;
  QApplication::beep();
  RunGuarded([this] { PutTextOnClipboard(DialogClipboardText(*this)); });
  return true;
}

void TMessageForm::ZeroResultClicked(QPushButton*) {
  if (const auto& help = DialogState().HelpHandler) RunGuarded([&] { help(HelpContext, HelpFile); });
}

QString DialogClipboardText(const TMessageForm& form) {
  const QString divider = QString(27, QLatin1Char('-')) + QStringLiteral("\r\n");
  QString buttons;
  for (const QPushButton* b : form.Buttons()) buttons += WithoutAmpersands(b->text()) + QStringLiteral("   ");
  return divider + form.windowTitle() + QStringLiteral("\r\n") + divider + form.MessageText() + QStringLiteral("\r\n") +
         divider + buttons + QStringLiteral("\r\n") + divider;
}

TModalResult MessageDialogAt(const QString& text, TMessageKind kind, TMessageButtons buttons, int helpContext, int x,
                             int y, const QString& helpFile) {
  const std::unique_ptr<TMessageForm> form = CreateMessageForm(text, kind, buttons);
  form->HelpContext = helpContext;
  form->HelpFile = helpFile;
  if (x < 0 && y < 0)
    form->CentreOnScreen();
  else
    form->PlaceAt(QPoint(x, y));
  return form->ShowModal();
}

TModalResult MessageDialog(const QString& text, TMessageKind kind, TMessageButtons buttons, int helpContext) {
  return MessageDialogAt(text, kind, buttons, helpContext, -1, -1, QString());
}

void ErrorNotice(const QString& text, bool atPointer) {
  struct SnapRestorer {
    bool saved = DialogState().SnapToDefaultButton;
    ~SnapRestorer() { DialogState().SnapToDefaultButton = saved; }
  } restorer;
  if (atPointer) {
    DialogState().SnapToDefaultButton = false;
    const QPoint p = QCursor::pos();
    MessageDialogAt(text, TMessageKind::mtWarning, {TMessageButton::mbOK}, 0, p.x(), p.y(), QString());
  } else {
    MessageDialog(text, TMessageKind::mtWarning, {TMessageButton::mbOK}, 0);
  }
  throw EAbort();
}

void BeepAndAbort() {
  QApplication::beep();
  throw EAbort();
}

void InfoNotice(const QString& text) { MessageDialog(text, TMessageKind::mtInformation, {TMessageButton::mbOK}, 0); }

bool AskYesNo(const QString& text) {
  return MessageDialog(text, TMessageKind::mtConfirmation, {TMessageButton::mbYes, TMessageButton::mbNo}, 0) == mrYes;
}

bool AskYesNoDefaultNo(const QString& text) {
  const std::unique_ptr<TMessageForm> form = CreateMessageForm(
      text, TMessageKind::mtConfirmation, {TMessageButton::mbYes, TMessageButton::mbNo}, TMessageButton::mbNo);
  form->CentreOnScreen();
  return form->ShowModal() == mrYes;
}

QString AboutText(const QString& productText) {
  const QString cr(QLatin1Char('\r'));
  return QStringLiteral("Velmora ") + (productText.isEmpty() ? ApplicationTitle() : productText) +
         QStringLiteral(" ver ") + QStringLiteral(VELMORA_VERSION) + cr + cr + QLatin1String(kContactWeb) + cr +
         QLatin1String(kContactMail) + cr + cr;
}

void ShowAbout(const QString& productText) { InfoNotice(AboutText(productText)); }

void FlashNotice(const QString& text, double seconds) {
  QWidget box(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  box.setObjectName(QStringLiteral("FlashNotice"));
  box.setAttribute(Qt::WA_ShowWithoutActivating);
  QPalette pal = box.palette();
  pal.setColor(QPalette::Window, QColor(0, 0, 255));
  pal.setColor(QPalette::WindowText, QColor(255, 255, 0));
  box.setPalette(pal);
  box.setAutoFillBackground(true);
  QFont font = box.font();
  font.setBold(true);
  box.setFont(font);

  const QFontMetrics fm(font);
  const QStringList lines = text.split(QLatin1Char('\r'));
  int width = 0;
  if (lines.size() > 1) {
    for (const QString& line : lines) width = std::max(width, fm.horizontalAdvance(QString(line).remove('\n')));
    if (width == 0) width = fm.horizontalAdvance(text);
  } else {
    width = fm.horizontalAdvance(text);
  }
  box.resize(width + 15, static_cast<int>(lines.size()) * fm.height() + 5);
  const QSize screen = ScreenSize();
  box.move((screen.width() - box.width()) / 2, (screen.height() - box.height()) / 2);

  auto* label = new QLabel(WithLineFeeds(text), &box);
  label->setObjectName(QStringLiteral("FlashText"));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(box.rect());
  box.show();
  box.repaint();

  // Keep the window's events flowing while the notice stands, without spinning the processor.
  QElapsedTimer clock;
  clock.start();
  QCoreApplication::processEvents();
  const double remaining = seconds * 1000.0 - static_cast<double>(clock.elapsed());
  if (remaining > 0) {  // false for NaN too
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(std::min(remaining, double{std::numeric_limits<int>::max()})), &loop,
                       &QEventLoop::quit);
    loop.exec();
  }
}

void DoneNotice() { FlashNotice(QStringLiteral("Wykonano"), 0.5); }

void PutTextOnClipboard(const QString& text, const char* failureMessage) {
  QClipboard* clipboard =
      qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
  if (!clipboard) throw std::runtime_error(failureMessage);
  clipboard->setText(text, QClipboard::Clipboard);
}

}  // namespace velmora
