#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <climits>

#include "dialogs/qmtborderpanel.h"
#include "dialogs/qmtgauge.h"
#include "dialogs/qmtpropscb.h"
#include "support/qtest_main.h"

using namespace velmora;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kCyan = qRgb(0, 255, 255), kWhite = qRgb(255, 255, 255), kBlack = qRgb(0, 0, 0);
const QRgb kGrey = qRgb(0x80, 0x80, 0x80);

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* w) { w->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++count;
    return false;
  }
};

// A red-on-white gauge, so filled, empty and inverted text pixels each have their own colour.
void MakeRedOnWhite(TQMTGauge& g) {
  g.SetForeColor(QColor(255, 0, 0));
  g.SetBackColor(QColor(255, 255, 255));
}

int RedInRow(const QImage& image, int y) {
  int n = 0;
  for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == kRed;
  return n;
}

QImage Grab(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

}  // namespace

class ControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void gaugePercentAndFill() {
    const struct {
      int min, max, progress, percent;
    } rows[] = {{0, 100, 0, 0}, {0, 3, 1, 33},  {0, 100, 29, 29},
                {0, 0, 0, 0},   {5, 5, 5, 0},   {-10, 10, 0, 50},
                {0, 250, 1, 0}, {0, 250, 3, 1}, {-2147483647, 2147483647, 0, 50}};
    for (const auto& r : rows) {
      TQMTGauge g;
      g.SetLoading(true);
      g.SetMaxValue(r.max);
      g.SetMinValue(r.min);
      g.SetLoading(false);
      g.SetProgress(r.progress);
      QCOMPARE(g.PercentComplete(), r.percent);
    }
    // Extended precision: 0.01 is stored just below 0.01, so 5 % of 100 pixels is 4 and of 20 pixels 0.
    QCOMPARE(TQMTGauge::FillLength(100, 5), 4);
    QCOMPARE(TQMTGauge::FillLength(20, 5), 0);
    QCOMPARE(TQMTGauge::FillLength(100, 0), 0);
    QCOMPARE(TQMTGauge::FillLength(262, 100), 262);
  }

  void gaugeRangeErrorsAndClamping() {
    TQMTGauge g;
    g.SetProgress(40);
    try {
      g.SetMinValue(101);
      QFAIL("no range error");
    } catch (const EInvalidOperation& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Value must be between -2147483647 and 99"));
    }
    try {
      g.SetMaxValue(-1);
      QFAIL("no range error");
    } catch (const EInvalidOperation& e) {
      QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("Value must be between 1 and 2147483647"));
    }
    QCOMPARE(g.MinValue(), 0);
    QCOMPARE(g.MaxValue(), 100);
    QCOMPARE(g.Progress(), 40);

    g.SetMinValue(50);  // raises Progress
    QCOMPARE(g.Progress(), 50);
    g.SetMaxValue(60);
    g.SetProgress(1000);
    QCOMPARE(g.Progress(), 60);
    g.SetMaxValue(55);  // lowers Progress
    QCOMPARE(g.Progress(), 55);
    g.SetProgress(-1000);
    QCOMPARE(g.Progress(), 50);

    // While loading, stored values may be given in any order.
    g.SetLoading(true);
    g.SetMinValue(500);
    g.SetMaxValue(900);
    g.SetLoading(false);
    QCOMPARE(g.MinValue(), 500);
    QCOMPARE(g.Progress(), 500);
  }

  void gaugeTextInvertsOverTheBar() {
    TQMTGauge g;
    MakeRedOnWhite(g);
    g.resize(102, 22);
    g.SetProgress(50);
    QCOMPARE(g.Text(), QStringLiteral("50/100"));
    const QImage image = g.RenderImage();
    // w = 101 with the border, so the bar ends before x = trunc(101 x 0.5) = 50.
    const int fillEnd = 50;
    int cyan = 0, blackText = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if (x == 0 || y == 0 || x == image.width() - 1 || y == image.height() - 1) {
          QCOMPARE(p, kBlack);  // the frame
        } else if (x < fillEnd) {
          QVERIFY(p == kRed || p == kCyan);
          cyan += p == kCyan;
        } else {
          QVERIFY(p == kWhite || p == kBlack);
          blackText += p == kBlack;
        }
      }
    }
    QVERIFY(cyan > 0);       // text over the filled part
    QVERIFY(blackText > 0);  // and over the empty part: the letters split where the bar ends
    QCOMPARE(Grab(g), image);

    g.SetAddText(QStringLiteral("Plik "));
    QCOMPARE(g.Text(), QStringLiteral("Plik 50/100"));
    g.SetShowAsValue(false);
    QCOMPARE(g.Text(), QStringLiteral("50%"));
  }

  void gaugeVerticalBarIsCutToHMinusOne() {
    for (const bool border : {true, false}) {
      TQMTGauge g;
      MakeRedOnWhite(g);
      g.resize(30, 40);
      g.SetKind(TGaugeKind::gkVerticalBar);
      g.SetBorderStyle(border ? TGaugeBorderStyle::bsSingle : TGaugeBorderStyle::bsNone);
      g.SetProgress(100);
      const QImage image = g.RenderImage();
      if (border) {
        for (int y = 1; y < 39; ++y)
          for (int x = 1; x < 29; ++x) QVERIFY(image.pixel(x, y) == kRed || image.pixel(x, y) == kCyan);
      } else {
        for (int x = 0; x < 30; ++x) QCOMPARE(image.pixel(x, 0), kWhite);
        for (int x = 0; x < 30; ++x) QCOMPARE(image.pixel(x, 1), kRed);
      }
    }
  }

  void gaugeEqualMinAndMaxShowsValueWithEmptyBar() {
    TQMTGauge g;
    MakeRedOnWhite(g);
    g.resize(80, 20);
    g.SetMaxValue(0);
    g.SetProgress(7);
    QCOMPARE(g.Text(), QStringLiteral("0/0"));
    const QImage image = g.RenderImage();
    int black = 0;
    for (int y = 1; y < 19; ++y) {
      QCOMPARE(RedInRow(image, y), 0);
      for (int x = 1; x < 79; ++x) black += image.pixel(x, y) == kBlack;
    }
    QVERIFY(black > 0);
  }

  void gaugeRunOf250Files() {
    TQMTGauge g;
    MakeRedOnWhite(g);
    g.resize(261, 21);
    g.SetMaxValue(250);
    QImage previous = g.RenderImage();
    int lastRed = 0, distinctWidths = 0;
    for (int i = 1; i <= 250; ++i) {
      g.SetProgress(g.Progress() + 1);
      QCOMPARE(g.Text(), QStringLiteral("%1/250").arg(i));
      const QImage image = g.RenderImage();
      QVERIFY(image != previous);          // every step shows, through its text
      const int red = RedInRow(image, 1);  // the top row holds no text
      QVERIFY(red >= lastRed);
      distinctWidths += red != lastRed;
      lastRed = red;
      previous = image;
    }
    QCOMPARE(lastRed, 259);          // the whole inside at the end
    QVERIFY(distinctWidths <= 100);  // the bar itself moves only with the percentage
  }

  void gaugeClipsWideTextToThePaintRectangle() {
    TQMTGauge g;
    g.resize(40, 20);
    g.SetAddText(QStringLiteral("Bardzo długi tekst przed liczbą "));
    const QImage image = g.RenderImage();
    for (int y = 0; y < 20; ++y) {
      QCOMPARE(image.pixel(0, y), kBlack);
      QCOMPARE(image.pixel(39, y), kBlack);
    }
    int white = 0;
    for (int x = 1; x < 39; ++x)
      for (int y = 1; y < 19; ++y) white += image.pixel(x, y) == kWhite;
    QVERIFY(white > 0);
  }

  void gaugeRepaintsOnlyOnChange() {
    TQMTGauge g;
    g.resize(100, 20);
    g.show();
    QVERIFY(QTest::qWaitForWindowExposed(&g));
    PaintCounter paints(&g);
    g.SetKind(TGaugeKind::gkHorizontalBar);
    g.SetBackColor(QColor(255, 255, 255));
    g.SetProgress(0);
    g.SetShowAsValue(false);
    g.SetAddText(QStringLiteral("x"));
    QCOMPARE(paints.count, 0);
    g.SetProgress(1);
    QCOMPARE(paints.count, 1);  // at once, not at the next event loop turn
    g.SetKind(TGaugeKind::gkText);
    QCOMPARE(paints.count, 2);
  }

  void borderPanelRings() {
    TQMTBorderPanel panel;
    panel.resize(82, 40);
    panel.setBorderColor(QColor(255, 0, 0));
    panel.setBorderWidth(2);
    QImage image = Grab(panel);
    const QRgb background = image.pixel(41, 20);
    QVERIFY(background != kRed);
    for (const QPoint p : {QPoint(0, 0), QPoint(1, 1), QPoint(81, 39), QPoint(80, 38), QPoint(40, 0), QPoint(40, 1),
                           QPoint(0, 20), QPoint(1, 20), QPoint(81, 20), QPoint(40, 39)})
      QCOMPARE(image.pixel(p), kRed);
    for (const QPoint p : {QPoint(2, 2), QPoint(40, 2), QPoint(79, 37)}) QCOMPARE(image.pixel(p), background);

    // No border at all, rather than a partial one.
    const struct {
      QSize size;
      int width;
      bool drawn;
    } rows[] = {{{82, 40}, 0, false}, {{100, 82}, 41, false}, {{100, 82}, 40, true}, {{100, 82}, -3, false}};
    for (const auto& r : rows) {
      panel.resize(r.size);
      panel.setBorderWidth(r.width);
      QCOMPARE(panel.DrawsBorder(), r.drawn);
      image = Grab(panel);
      QCOMPARE(image.pixel(0, 0) == kRed, r.drawn);
      QCOMPARE(image.pixel(r.size.width() / 2, 0) == kRed, r.drawn);
    }
  }

  void borderPanelHandlerRunsWithoutBorder() {
    TQMTBorderPanel panel;
    panel.resize(50, 30);
    panel.setBorderWidth(0);
    int calls = 0;
    panel.OnQMTBorderPaint = [&](QPainter& canvas) {
      ++calls;
      canvas.fillRect(QRect(10, 10, 2, 2), Qt::blue);
    };
    const QImage image = Grab(panel);
    QCOMPARE(calls, 1);
    QCOMPARE(image.pixel(10, 10), qRgb(0, 0, 255));

    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    calls = 0;
    panel.setBorderWidth(0);  // the same value still repaints
    QCOMPARE(calls, 1);
  }

  void checkBoxBag() {
    TQMTPropsCB cb;
    QCOMPARE(cb.height(), 15);
    QVERIFY(cb.Enabled() && !cb.Checked());
    QCOMPARE(cb.GetProp(QStringLiteral("HIGLIGHTERCOLOR")).toLongLong(), 254 + 233 * 256 + 169 * 65536);
    cb.Props.Clear();
    QVERIFY(!cb.Enabled());  // a key missing from the bag reads as false
  }

  void checkBoxClassicPixels() {
    for (const int height : {15, 25}) {
      TQMTPropsCB cb;
      cb.resize(100, height);
      const int v = height <= 15 ? 0 : (height - 15) / 2;
      QImage image = cb.RenderImage();
      QCOMPARE(image.pixel(3, v + 2), kGrey);
      QCOMPARE(image.pixel(13, v + 12), kGrey);
      QCOMPARE(image.pixel(8, v + 7), kWhite);
      cb.SetChecked(true);
      image = cb.RenderImage();
      for (int k = 6; k <= 8; ++k) {
        for (const QPoint p : {QPoint(5, k), QPoint(7, k + 2), QPoint(9, k), QPoint(11, k - 2)})
          QCOMPARE(image.pixel(p + QPoint(0, v)), kBlack);
        QCOMPARE(image.pixel(12, v + k - 3), kWhite);  // a line leaves out its end point
      }
      QCOMPARE(image.pixel(3, v + 2), kGrey);
      QCOMPARE(Grab(cb), image);
    }
  }

  void checkBoxSwitchPixels() {
    for (const int height : {15, 25}) {
      TQMTPropsCB cb;
      cb.resize(120, height);
      cb.SetNewStyle(true);
      const int v = height <= 15 ? 0 : (height - 15) / 2;
      const QRgb background = cb.RenderImage().pixel(0, 0);
      QImage image = cb.RenderImage();
      QCOMPARE(image.pixel(7, v + 7), kGrey);    // knob on the left
      QCOMPARE(image.pixel(7, v + 4), kBlack);   // its outline
      QCOMPARE(image.pixel(15, v + 7), kWhite);  // the empty bar
      QCOMPARE(image.pixel(14, v + 2), kBlack);  // the bar's straight edges
      QCOMPARE(image.pixel(14, v + 12), kBlack);
      QCOMPARE(image.pixel(1, v + 7), background);

      cb.SetHiglighterColor(255);  // red
      cb.SetChecked(true);
      image = cb.RenderImage();
      for (const QPoint p : {QPoint(10, 10), QPoint(5, 7), QPoint(14, 7), QPoint(22, 5)})
        QCOMPARE(image.pixel(p + QPoint(0, v)), kRed);
      QCOMPARE(image.pixel(18, v + 7), kBlack);  // knob on the right
      QCOMPARE(image.pixel(14, v + 2), kBlack);
      QCOMPARE(image.pixel(1, v + 7), background);  // the fill stays inside the outline
      QCOMPARE(image.pixel(18, v + 1), background);
      QCOMPARE(image.pixel(26, v + 7), background);
    }
  }

  void checkBoxClicks() {
    TQMTPropsCB cb;
    cb.resize(100, 15);
    cb.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cb));
    QSignalSpy clicks(&cb, &TQMTPropsCB::clicked);
    QTest::mouseClick(&cb, Qt::LeftButton, Qt::NoModifier, QPoint(8, 7));
    QVERIFY(cb.Checked());
    QCOMPARE(clicks.count(), 1);
    cb.SetChecked(false);  // in code: no click
    QCOMPARE(clicks.count(), 1);
    cb.SetEnabled(false);
    QTest::mouseClick(&cb, Qt::LeftButton, Qt::NoModifier, QPoint(8, 7));
    QVERIFY(!cb.Checked());
    QCOMPARE(clicks.count(), 1);
    QVERIFY(cb.isEnabled());  // the widget itself stays enabled
  }

  void checkBoxCaptionColour() {
    TQMTPropsCB cb;
    cb.resize(200, 15);
    cb.SetCaption(QStringLiteral("zapamiętaj ustawienia"));
    const auto darkest = [&] {
      const QImage image = cb.RenderImage();
      int d = 255;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 19; x < image.width(); ++x) d = std::min(d, qGray(image.pixel(x, y)));
      return d;
    };
    QVERIFY(darkest() < 0x40);
    cb.SetEnabled(false);
    QVERIFY(darkest() >= 0x80 - 2);
    QVERIFY(darkest() < 0xc0);
  }

  void checkBoxWrapAndHint() {
    const QString caption = QStringLiteral("zapamiętaj ustawienia  przy zamykaniu programu");
    TQMTPropsCB cb;
    cb.resize(120, 15);
    cb.SetCaption(caption);
    QVERIFY(!cb.ShowHint());
    Grab(cb);  // a paint finds the caption clipped
    QVERIFY(cb.ShowHint());
    QCOMPARE(cb.toolTip(), caption);

    cb.SetWordWrap(true);
    QVERIFY(cb.WrappedLines().has_value());
    const int lines = static_cast<int>(cb.WrappedLines()->size());
    QVERIFY(lines >= 2);
    QCOMPARE(cb.height(), lines * 15);
    QCOMPARE(cb.WrappedLines()->join(QString()).remove(QLatin1Char(' ')), QString(caption).remove(QLatin1Char(' ')));
    Grab(cb);
    QVERIFY(!cb.ShowHint());
    QVERIFY(cb.toolTip().isEmpty());

    cb.SetNewStyle(true);
    cb.SetCaption(caption + caption);
    QVERIFY(cb.height() > lines * 15);
    cb.SetWordWrap(false);
    QVERIFY(!cb.WrappedLines().has_value());
    QCOMPARE(cb.height(), 15);
  }
};

VELMORA_QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
