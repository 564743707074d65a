#include "app/form1.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "app/artwork.h"
#include "dialogs/colours.h"
#include "dialogs/commandguard.h"
#include "dialogs/messagedialogs.h"
#include "dialogs/qmtborderpanel.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "imaging/caption.h"
#include "imaging/pipeline.h"
#include "settings/environment.h"
#include "settings/filehelpers.h"
#include "settings/textutils.h"

namespace velmora {

namespace {

const QColor kMaroon(0x80, 0, 0);
const QColor kRed(0xff, 0, 0);
const QColor kGrey(0x80, 0x80, 0x80);

// The histories as the store keeps them: split at ";", trimmed, empty parts dropped, sorted.
QStringList HistoryFromStore(const QString& text) {
  QStringList entries = SplitToList(text, TCharSet{U';'}, true);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  return entries;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, bool bold = false,
                  const QColor& colour = QColor()) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(bold);
  label->setFont(f);
  // A disabled control keeps the style's grey, so the controls a run locks look locked.
  if (colour.isValid()) SetDesignColour(*label, colour);
  label->move(x, y);
  label->adjustSize();
  return label;
}

QToolButton* MakeFlatButton(QWidget* parent, const QString& text, const QRect& geometry, const QString& hint = {}) {
  auto* button = new QToolButton(parent);
  button->setText(text);
  button->setAutoRaise(true);
  button->setGeometry(geometry);
  if (!hint.isEmpty()) button->setToolTip(hint);
  return button;
}

QToolButton* MakeGlyphButton(QWidget* parent, TSelectionGlyph glyph, const QRect& geometry, const QString& hint) {
  QToolButton* button = MakeFlatButton(parent, QString(), geometry, hint);
  button->setIcon(SelectionIcon(glyph));
  button->setIconSize(QSize(16, 16));
  return button;
}

template <typename Box>
Box* MakeCheck(QWidget* parent, const QString& text, const QRect& geometry, bool bold = false,
               const QColor& colour = QColor()) {
  auto* box = new Box(text, parent);
  box->setGeometry(geometry);
  QFont f = box->font();
  f.setBold(bold);
  box->setFont(f);
  if (colour.isValid()) SetDesignColour(*box, colour);
  return box;
}

QComboBox* MakeFolderField(QWidget* parent, const QRect& geometry) {
  auto* field = new QComboBox(parent);
  field->setEditable(true);
  // The history grows only through the folder commands and the run, never by pressing Enter.
  field->setInsertPolicy(QComboBox::NoInsert);
  field->setCompleter(nullptr);
  field->setGeometry(geometry);
  return field;
}

// Shows the menu where the user asked for it, on the widget and, for a combo box, on its edit field.
void AttachMenu(QWidget* widget, QMenu* menu) {
  widget->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(widget, &QWidget::customContextMenuRequested, menu, [widget, menu](const QPoint& pos) {
    // A scroll area reports the position in its viewport.
    auto* area = qobject_cast<QAbstractScrollArea*>(widget);
    const QWidget* origin = area ? area->viewport() : widget;
    menu->popup(origin->mapToGlobal(pos));
  });
}

QAction* AddItem(QMenu* menu, const QString& caption, bool checkable = false) {
  QAction* item = menu->addAction(caption);
  item->setCheckable(checkable);
  return item;
}

// The scrolled area under the window's frame: lays the controls out whenever its size changes.
class TFormClient : public QWidget {
 public:
  explicit TFormClient(TForm1& form) : QWidget(&form), form_(form) {
    setObjectName(QStringLiteral("FormClient"));
    setAutoFillBackground(true);
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    form_.LayoutControls(size());
  }

 private:
  TForm1& form_;
};

}  // namespace

// --- TClickLabel, TImageBox

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

TImageBox::TImageBox(QWidget* parent) : QWidget(parent) {}

void TImageBox::SetPicture(const QImage& picture) {
  picture_ = picture;
  message_.clear();
  setToolTip(QString());
  update();
}

void TImageBox::SetMessage(const QString& message) {
  picture_ = QImage();
  message_ = message;
  setToolTip(message);
  update();
}

QRect TImageBox::PictureRect() const {
  if (picture_.isNull()) return {};
  const QSize logical = picture_.deviceIndependentSize().toSize();
  if (!Proportional) return {QPoint(0, 0), logical};
  const QSize fitted = logical.scaled(size(), Qt::KeepAspectRatio);
  return {QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted};
}

void TImageBox::paintEvent(QPaintEvent*) {
  if (picture_.isNull() && message_.isEmpty()) return;
  QPainter p(this);
  if (Proportional || !message_.isEmpty()) p.fillRect(rect(), palette().color(QPalette::Window));
  if (!message_.isEmpty()) {
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(rect().adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap, message_);
    return;
  }
  p.setRenderHint(QPainter::SmoothPixmapTransform, Proportional);
  p.drawImage(PictureRect(), picture_);
}

// --- TForm1

TForm1::TForm1(TEnvironment& env, QWidget* parent) : QWidget(parent), env_(env) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Velmora - skalowanie i podpisywanie plików graficznych"));
  // The design's size at first; the user may enlarge it (the list and the preview grow) or, on a small
  // screen, shrink it (the content scrolls).
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setMinimumSize(kMinimumWindowSize);
  resize(kDesignSize);
  // The layout was made for this font's narrow metrics: where it is missing, prefer a font of Arial's
  // widths over the wider default sans, so captions fit their controls.
  const QString windowFont = QStringLiteral("MS Sans Serif");
  if (QFont::substitutes(windowFont).isEmpty()) {
    QFont::insertSubstitutions(windowFont, {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                            QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  }
  setFont(QFont(windowFont, 8));
  ApplyWindowPalette();
  setAutoFillBackground(true);
  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("FormScroll"));
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setWidgetResizable(true);
  client_ = new TFormClient(*this);
  scroll_->setWidget(client_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroll_);
  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(150);
  connect(previewTimer_, &QTimer::timeout, this, [this] {
    lastPreviewPath_.clear();
    RunGuarded([this] { CLBClick(); });
  });

  BuildControls();
  BuildMenus();
  ConnectHandlers();
  // A folder or photos dropped anywhere on the window, text fields included, go to the window.
  setAcceptDrops(true);
  for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setAcceptDrops(false);
  RecordAnchors();
  RunGuarded([this] { FormCreate(); });
  UpdateOutputSummary();
  FitToScreen(RememberedGeometry());
}

void TForm1::ApplyWindowPalette() {
  // The button-face colour of whatever palette the desktop has, light or dark.
  QPalette pal = QApplication::palette(this);
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  RefreshDesignColours(*this);
  // The folder fields' pale yellow wants dark text on any palette.
  if (eFoldZ) ColourFolderFields(!eFoldZ->currentText().isEmpty() && eFoldZ->currentText() == eFoldDo->currentText());
}

void TForm1::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ApplicationPaletteChange && !applyingPalette_) {
    applyingPalette_ = true;
    ApplyWindowPalette();
    applyingPalette_ = false;
  }
}

TForm1::~TForm1() {
  // The list empties itself while the window's children go, the counter among them; a folder field that
  // loses the focus as they go must not take its path.
  disconnect(CLB->model(), nullptr, this, nullptr);
  disconnect(eFoldZ->lineEdit(), nullptr, this, nullptr);
  disconnect(eFoldDo->lineEdit(), nullptr, this, nullptr);
}

TProps& TForm1::Props() { return env_.AppProps(); }

void TForm1::BuildControls() {
  Label3 = MakeLabel(client_, QStringLiteral("1. Wskaż foldery:"), 48, 20, true);
  LabelO = new TClickLabel(QStringLiteral("O..."), client_);
  {
    QFont f = LabelO->font();
    f.setBold(true);
    f.setUnderline(true);
    LabelO->setFont(f);
    SetDesignColour(*LabelO, kGrey);
    LabelO->setCursor(Qt::PointingHandCursor);
    LabelO->setToolTip(QStringLiteral("O programie .."));
    LabelO->move(440, 20);
    LabelO->adjustSize();
  }

  QMTBorderPanel1 = new TQMTBorderPanel(client_);
  QMTBorderPanel1->setGeometry(36, 36, 441, 82);
  Label1 = MakeLabel(QMTBorderPanel1, QStringLiteral("źródłowy:"), 12, 24);
  eFoldZ = MakeFolderField(QMTBorderPanel1, QRect(64, 16, 333, 21));
  sbOpenZ = MakeFlatButton(QMTBorderPanel1, QStringLiteral("---"), QRect(408, 16, 23, 22),
                           QStringLiteral("wskaż folder ..."));
  Label6 = MakeLabel(QMTBorderPanel1, QStringLiteral("docelowy:"), 12, 56);
  eFoldDo = MakeFolderField(QMTBorderPanel1, QRect(64, 48, 333, 21));
  sbOpenDo = MakeFlatButton(QMTBorderPanel1, QStringLiteral("---"), QRect(408, 48, 23, 22),
                            QStringLiteral("wskaż folder ..."));

  Label4 = MakeLabel(client_, QStringLiteral("2. Wybierz pliki:"), 48, 128, true);
  lPl = MakeLabel(client_, QString(), 145, 123);
  lUwaga = MakeLabel(client_, QString(), 250, 123, false, kRed);
  lUwaga->setObjectName(QStringLiteral("lUwaga"));
  lUwaga->setTextFormat(Qt::PlainText);
  lUwaga->resize(227, 15);
  SpeedButton1 =
      MakeGlyphButton(client_, TSelectionGlyph::TickAll, QRect(12, 148, 23, 22), QStringLiteral("Zaznacz wszystkie"));
  SpeedButton2 =
      MakeGlyphButton(client_, TSelectionGlyph::UntickAll, QRect(12, 176, 23, 22), QStringLiteral("Odznacz wszystkie"));
  SpeedButton3 =
      MakeGlyphButton(client_, TSelectionGlyph::Invert, QRect(12, 204, 23, 22), QStringLiteral("Odwróć zaznaczenie"));
  CLB = new QListWidget(client_);
  CLB->setGeometry(36, 144, 276, 165);
  CLB->setSelectionMode(QAbstractItemView::SingleSelection);

  Panel1 = new QFrame(client_);
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Panel1->setGeometry(316, 146, 160, 120);
  {
    auto* caption = new QLabel(QStringLiteral("podgląd"), Panel1);
    caption->setAlignment(Qt::AlignCenter);
    caption->setGeometry(0, 0, 160, 120);
  }
  Image1 = new TImageBox(Panel1);
  Image1->Proportional = true;
  Image1->setGeometry(1, 1, kPreviewWidth, kPreviewHeight);
  lPodgl = new QLabel(client_);
  // File names are outside text, never markup.
  lPodgl->setTextFormat(Qt::PlainText);
  lPodgl->setWordWrap(true);
  lPodgl->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lPodgl->setGeometry(316, 272, 161, 33);

  sbKlucz = MakeFlatButton(client_, QStringLiteral("zaznacz pliki zawierające tekst: "), QRect(36, 312, 165, 21));
  eKlucz = new QLineEdit(client_);
  eKlucz->setGeometry(201, 313, 60, 21);

  Label7 = MakeLabel(client_, QStringLiteral("3. Ustawienia:"), 48, 344, true);
  cbZapUst = new TQMTPropsCB(client_);
  {
    const QString caption = QStringLiteral("zapamiętaj ustawienia  przy zamykaniu programu");
    cbZapUst->setGeometry(220, 344, 261, 15);
    // A point below the window's font: the installed substitutes of the design's font are wider, and the
    // caption must fit the control's fixed width.
    QFont f = cbZapUst->font();
    f.setPointSize(f.pointSize() - 1);
    cbZapUst->setFont(f);
    cbZapUst->SetCaption(caption);
    cbZapUst->SetNewStyle(true);
    cbZapUst->SetHiglighterColor(10930928);
    cbZapUst->SetHint(caption);
    cbZapUst->SetShowHint(true);
  }

  QMTBorderPanel2 = new TQMTBorderPanel(client_);
  QMTBorderPanel2->setGeometry(36, 360, 441, 149);
  QWidget* p2 = QMTBorderPanel2;
  rbPref = MakeCheck<QRadioButton>(p2, QStringLiteral("Prefiks"), QRect(24, 24, 65, 17), true, kMaroon);
  rbSuf = MakeCheck<QRadioButton>(p2, QStringLiteral("Sufiks"), QRect(24, 40, 61, 17), true, kMaroon);
  rbPref->setChecked(true);
  Label2 = MakeLabel(p2, QStringLiteral("nowych nazw plików:"), 92, 36, true, kMaroon);
  lnp = MakeLabel(p2, QStringLiteral("nazwa"), 236, 16);
  lPref = MakeLabel(p2, QStringLiteral("_"), 269, 16, false, kRed);
  lExt = MakeLabel(p2, QStringLiteral(".jpg"), 276, 16);
  EPref = new QLineEdit(QStringLiteral("_"), p2);
  EPref->setGeometry(236, 32, 29, 21);
  cbEXIF = MakeCheck<QCheckBox>(p2, QStringLiteral("zachowaj EXIF"), QRect(276, 36, 93, 17));
  // Not one of the design's controls: right of "zachowaj EXIF" there is no room for its text, so it
  // takes the free room above it, against the panel's right edge, as wide as its text needs (a fixed
  // left edge cut the text short in some fonts), and never over the name sample's usual place.
  cbUsunGPS = MakeCheck<QCheckBox>(p2, QStringLiteral("usuń dane GPS"), QRect(340, 14, 98, 17));
  cbUsunGPS->setToolTip(QStringLiteral("z „zachowaj EXIF”: bez położenia GPS (w EXIF i XMP)"));
  {
    const int right = p2->width() - 3, left = std::max(300, right - cbUsunGPS->sizeHint().width());
    cbUsunGPS->setGeometry(left, 14, right - left, 17);
  }
  cbPodp = MakeCheck<QCheckBox>(p2, QStringLiteral("Podpisz:"), QRect(24, 72, 97, 17), true, kRed);
  iPodp = new TImageBox(p2);
  iPodp->setGeometry(236, 60, 133, 37);
  iPodp->SetPicture(StockCaptionBackground());
  sbKonfPodp = MakeFlatButton(p2, QStringLiteral("T"), QRect(392, 68, 23, 22), QStringLiteral("Konfiguruj podpis"));
  {
    QFont f(QStringLiteral("Times New Roman"));
    f.setPixelSize(16);
    sbKonfPodp->setFont(f);
  }
  cbSize =
      MakeCheck<QCheckBox>(p2, QStringLiteral("Zmień maksymalny rozmiar na:"), QRect(24, 108, 209, 17), true, kRed);
  seSize = new QSpinBox(p2);
  // A longest side below one pixel is no size: the field takes none.
  seSize->setRange(1, std::numeric_limits<int>::max());
  seSize->setValue(1280);
  seSize->setGeometry(236, 103, 77, 22);
  Label5 = MakeLabel(p2, QStringLiteral("px"), 316, 108);
  CBPow = MakeCheck<QCheckBox>(p2, QStringLiteral("Powiększ mniejsze"), QRect(236, 124, 121, 17));
  // Not one of the design's controls: it takes the free room right of "px", as wide as its text needs.
  cbObroc = MakeCheck<QCheckBox>(p2, QStringLiteral("obróć wg EXIF"), QRect(338, 106, 99, 17));
  cbObroc->setToolTip(QStringLiteral("obróć lub odbij zdjęcie do pionu wg orientacji zapisanej w EXIF"));
  cbObroc->resize(std::min(cbObroc->sizeHint().width(), p2->width() - 338 - 3), 17);

  sbWyk = MakeFlatButton(client_, QStringLiteral("4. Wykonaj"), QRect(48, 532, 81, 22));
  {
    QFont f = sbWyk->font();
    f.setBold(true);
    sbWyk->setFont(f);
  }
  lProgress = MakeLabel(client_, QString(), 316, 520);
  Gauge1 = new TQMTGauge(client_);
  Gauge1->setGeometry(136, 532, 261, 21);
  Gauge1->SetShowAsValue(true);
  Gauge1->hide();
  sbStop = MakeFlatButton(client_, QStringLiteral("Zatrzymaj"), QRect(412, 532, 65, 22));
  sbStop->hide();
  cbPomijaj = MakeCheck<QCheckBox>(client_, QStringLiteral("pomijaj błędne pliki"), QRect(48, 560, 161, 17));
  // Not the design's: right of "pomijaj błędne pliki" and in the gauge's place, which a finished run frees.
  cbPomijaj->resize(std::min(cbPomijaj->sizeHint().width(), 161), 17);
  lStan = new QLabel(client_);
  lStan->setObjectName(QStringLiteral("lStan"));
  lStan->setTextFormat(Qt::PlainText);
  lStan->setGeometry(cbPomijaj->geometry().right() + 9, 560, 477 - cbPomijaj->geometry().right() - 9, 17);
  sbOtworz = MakeFlatButton(client_, QStringLiteral("Otwórz folder docelowy"), QRect(337, 532, 140, 22),
                            QStringLiteral("pokaż zapisane pliki w menedżerze plików"));
  sbOtworz->resize(std::max(140, sbOtworz->sizeHint().width()), 22);
  sbOtworz->move(477 - sbOtworz->width(), 532);
  sbOtworz->hide();
  OpenUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  BuildOutputOptionsControls(p2);
}

void TForm1::BuildMenus() {
  PopupMenu1 = new QMenu(this);
  Zaznaczwszystko1 = AddItem(PopupMenu1, QStringLiteral("Zaznacz wszystko"));
  Odznaczwszystko1 = AddItem(PopupMenu1, QStringLiteral("Odznacz wszystko"));
  PopupMenu1->addSeparator();
  Zaznaczdokoca1 = AddItem(PopupMenu1, QStringLiteral("Zaznacz do końca"));
  OdznaczDoKonca1 = AddItem(PopupMenu1, QStringLiteral("Odznacz do końca"));
  PopupMenu1->addSeparator();
  Odznaczdopocztku1 = AddItem(PopupMenu1, QStringLiteral("Odznacz do początku"));
  AttachMenu(CLB, PopupMenu1);

  pmKonfPodp = new QMenu(this);
  Podpis1 = AddItem(pmKonfPodp, QStringLiteral("Tekst podpisu ..."));
  pmKonfPodp->addSeparator();
  Czcionka1 = AddItem(pmKonfPodp, QStringLiteral("Czcionka ..."));
  pmKonfPodp->addSeparator();
  Kolotta1 = AddItem(pmKonfPodp, QStringLiteral("Kolor tła i obrysu czcionki ..."));
  Tlonegatywowe1 = AddItem(pmKonfPodp, QStringLiteral("Tło negatywowe"), true);
  Bezta1 = AddItem(pmKonfPodp, QStringLiteral("Bez tła"), true);
  pmKonfPodp->addSeparator();
  Przezroczyste1 = AddItem(pmKonfPodp, QStringLiteral("Czcionki przezroczyste"), true);
  Czcionkinegatywowe1 = AddItem(pmKonfPodp, QStringLiteral("Czcionki negatywowe"), true);
  pmKonfPodp->addSeparator();
  Dodajgrafik1 = AddItem(pmKonfPodp, QStringLiteral("Dodaj grafikę"), true);

  pmFoldDo = new QMenu(this);
  akisamjakrdowy1 = AddItem(pmFoldDo, QStringLiteral("Jak źródłowy"));
  Usuzlisty2 = AddItem(pmFoldDo, QStringLiteral("Usuń z listy"));
  Edytujlist2 = AddItem(pmFoldDo, QStringLiteral("Edytuj listę"));
  pmFoldDo->addSeparator();
  Wyczy2 = AddItem(pmFoldDo, QStringLiteral("Wyczyść"));
  AttachMenu(eFoldDo, pmFoldDo);
  AttachMenu(eFoldDo->lineEdit(), pmFoldDo);

  pmFoldZ = new QMenu(this);
  Jakdocelowy1 = AddItem(pmFoldZ, QStringLiteral("Jak docelowy"));
  Usuzlisty1 = AddItem(pmFoldZ, QStringLiteral("Usuń z listy"));
  Edytujlist1 = AddItem(pmFoldZ, QStringLiteral("Edytuj listę"));
  pmFoldZ->addSeparator();
  Wyczy1 = AddItem(pmFoldZ, QStringLiteral("Wyczyść"));
  AttachMenu(eFoldZ, pmFoldZ);
  AttachMenu(eFoldZ->lineEdit(), pmFoldZ);
}

template <typename Signal, typename Sender>
void TForm1::Bind(Sender* sender, Signal signal, void (TForm1::*handler)()) {
  connect(sender, signal, this, [this, handler] { RunGuarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::ConnectHandlers() {
  // The counter follows the list however it was emptied or shortened.
  connect(CLB->model(), &QAbstractItemModel::modelReset, this, [this] { Recount(); });
  connect(CLB->model(), &QAbstractItemModel::rowsRemoved, this, [this] { Recount(); });
  Bind(LabelO, &TClickLabel::clicked, &TForm1::LabelO1Click);

  // Only the user's typing and choosing run the change handlers; the commands run them explicitly.
  for (const auto& binding : {std::pair{eFoldZ, &TForm1::eFoldZChange}, {eFoldDo, &TForm1::eFoldDoChange}}) {
    // Named copies, not structured bindings: clang 14 cannot capture those.
    auto* const field = binding.first;
    const auto handler = binding.second;
    connect(field->lineEdit(), &QLineEdit::textEdited, this, [this, field, handler] {
      ForgetTypedSelection(*field);
      RunGuarded([this, handler] { (this->*handler)(); });
    });
    Bind(field, &QComboBox::activated, handler);
  }
  // Enter, or leaving the field after typing or pasting, takes the path like "---".
  Bind(eFoldZ->lineEdit(), &QLineEdit::editingFinished, &TForm1::eFoldZEntered);
  Bind(eFoldDo->lineEdit(), &QLineEdit::editingFinished, &TForm1::eFoldDoEntered);
  Bind(sbOpenZ, &QToolButton::clicked, &TForm1::BOpenClick);
  Bind(sbOpenDo, &QToolButton::clicked, &TForm1::sbOpenDoClick);

  Bind(SpeedButton1, &QToolButton::clicked, &TForm1::Zaznaczwszystko1Click);
  Bind(SpeedButton2, &QToolButton::clicked, &TForm1::Odznaczwszystko1Click);
  Bind(SpeedButton3, &QToolButton::clicked, &TForm1::SpeedButton3Click);
  Bind(CLB, &QListWidget::itemChanged, &TForm1::CLBClickCheck);
  Bind(CLB, &QListWidget::itemSelectionChanged, &TForm1::CLBClick);
  Bind(sbKlucz, &QToolButton::clicked, &TForm1::sbKluczClick);

  Bind(rbPref, &QRadioButton::clicked, &TForm1::rbPrefClick);
  Bind(rbSuf, &QRadioButton::clicked, &TForm1::rbPrefClick);
  Bind(EPref, &QLineEdit::textChanged, &TForm1::EPrefChange);
  Bind(sbKonfPodp, &QToolButton::clicked, &TForm1::sbKonfPodpClick);
  Bind(cbObroc, &QCheckBox::clicked, &TForm1::cbObrocClick);
  Bind(cbUsunGPS, &QCheckBox::clicked, &TForm1::cbUsunGPSClick);
  // Without the metadata there is no position to strip.
  connect(cbEXIF, &QCheckBox::toggled, cbUsunGPS, &QWidget::setEnabled);

  Bind(sbWyk, &QToolButton::clicked, &TForm1::Podpiszwszystkiewfolderze1Click);
  Bind(sbStop, &QToolButton::clicked, &TForm1::sbStopClick);
  Bind(sbOtworz, &QToolButton::clicked, &TForm1::sbOtworzClick);

  const std::pair<QAction*, void (TForm1::*)()> items[] = {
      {Zaznaczwszystko1, &TForm1::Zaznaczwszystko1Click},
      {Odznaczwszystko1, &TForm1::Odznaczwszystko1Click},
      {Zaznaczdokoca1, &TForm1::Zaznaczdokoca1Click},
      {OdznaczDoKonca1, &TForm1::OdznaczDoKonca1Click},
      {Odznaczdopocztku1, &TForm1::Odznaczdopocztku1Click},
      {Podpis1, &TForm1::Podpis1Click},
      {Czcionka1, &TForm1::Czcionka1Click},
      {Kolotta1, &TForm1::Kolotta1Click},
      {Tlonegatywowe1, &TForm1::Tlonegatywowe1Click},
      {Bezta1, &TForm1::Bezta1Click},
      {Przezroczyste1, &TForm1::Przezroczyste1Click},
      {Czcionkinegatywowe1, &TForm1::Czcionkinegatywowe1Click},
      {Dodajgrafik1, &TForm1::Dodajgrafik1Click},
      {akisamjakrdowy1, &TForm1::akisamjakrdowy1Click},
      {Usuzlisty2, &TForm1::Usuzlisty2Click},
      {Edytujlist2, &TForm1::Edytujlist2Click},
      {Wyczy2, &TForm1::Wyczy2Click},
      {Jakdocelowy1, &TForm1::Jakdocelowy1Click},
      {Usuzlisty1, &TForm1::Usuzlisty1Click},
      {Edytujlist1, &TForm1::Edytujlist1Click},
      {Wyczy1, &TForm1::Wyczy1Click},
  };
  for (const auto& [item, handler] : items) Bind(item, &QAction::triggered, handler);
}

void TForm1::FormCreate() {
  TProps& props = Props();

  // 1.
  stopFlag_ = true;
  lastPreviewPath_.clear();

  // 2. The controls that stand for a key alone: name mode and affix, the boxes, the size, the key text.
  LoadSettingControls();
  if (!rbSuf->isChecked()) rbPref->setChecked(true);
  cbUsunGPS->setEnabled(cbEXIF->isChecked());
  UpdateNameSample();

  // 3. Destination history. Another window's close may have added to the histories since they were
  // read: each save merges them with the file's.
  env_.MergeListsOnSave({KeyOf(eFoldZ, TKeyKind::History), KeyOf(eFoldDo, TKeyKind::History)});
  SetHistory(*eFoldDo, HistoryFromStore(StoredValue(eFoldDo, TKeyKind::History)));
  SelectEntry(*eFoldDo, HistoryIndexOf(*eFoldDo, StoredValue(eFoldDo, TKeyKind::Folder)));
  eFoldDoChange();

  // 4. Source history.
  SetHistory(*eFoldZ, HistoryFromStore(StoredValue(eFoldZ, TKeyKind::History)));
  SelectEntry(*eFoldZ, HistoryIndexOf(*eFoldZ, StoredValue(eFoldZ, TKeyKind::Folder)));

  // 5. A remembered source folder that is gone: its nearest existing parent. A relative text with no
  // parent left names nothing, and the field is emptied.
  QString source = eFoldZ->currentText();
  while (!source.isEmpty() && !FolderExists(source)) {
    const QString parent = StripLastPathPart(source);
    if (parent == source) {
      source.clear();
      break;
    }
    source = parent;
  }
  if (source != eFoldZ->currentText()) eFoldZ->setEditText(source);
  eFoldZChange();

  // 6 to 10. The caption keys, normalised in the store; the marks from them.
  const CaptionSettings caption = CaptionSettingsFromKeys([&props](const QString& key) { return props.Get(key); });
  for (const auto& [key, value] : NormalisedCaptionKeys(caption)) props.Set(key, value);
  Bezta1->setChecked(caption.NoBackground);
  Tlonegatywowe1->setChecked(caption.NegativeBackground);
  Przezroczyste1->setChecked(caption.TransparentGlyphs);
  Czcionkinegatywowe1->setChecked(caption.NegativeGlyphs);

  // 11.
  Dodajgrafik1->setChecked(!caption.GraphicPath.isEmpty());

  // 12, 13. A graphic that cannot be read is told, and start-up goes on.
  previewBackground_ = iPodp->Picture();
  RunGuarded([this] { BuildCaptionMask(); });

  // 14.
  if (!eKlucz->text().isEmpty()) sbKluczClick();
}

void TForm1::closeEvent(QCloseEvent* event) {
  event->accept();
  RunGuarded([this, event] { FormClose(*event); });
  // Written now, not after the window is gone, so a failure can still be told.
  if (event->isAccepted()) SaveSettingsFile();
}

void TForm1::FormClose(QCloseEvent& event) {
  // A close during a run becomes a stop; the window stays. Even after "Zatrzymaj" the workers are still
  // finishing their files, and the window must not go away under the run.
  if (running_) {
    RequestRunStop();
    event.ignore();
  }
  StoreSettings();
}

void TForm1::LabelO1Click() { ShowAbout(QStringLiteral("2011-2016")); }

}  // namespace velmora
