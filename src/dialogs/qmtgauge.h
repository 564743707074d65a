#pragma once

// The progress gauge of the batch run: a bar under its own text ("%d/%d" or "%d%%"), drawn as three
// layers combined by XOR, so the text shows inverted over the filled part.

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <stdexcept>

namespace velmora {

// The range error of MinValue and MaxValue.
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TGaugeKind : std::uint8_t { gkText = 0, gkHorizontalBar = 1, gkVerticalBar = 2, gkPie = 3, gkNeedle = 4 };
enum class TGaugeBorderStyle : std::uint8_t { bsNone = 0, bsSingle = 1 };

class TQMTGauge : public QWidget {
  Q_OBJECT
 public:
  explicit TQMTGauge(QWidget* parent = nullptr);

  int MinValue() const { return min_; }
  // Throws EInvalidOperation("Value must be between -2147483647 and <MaxValue - 1>") for a value above
  // MaxValue, unless loading; raises Progress to it.
  void SetMinValue(int value);
  int MaxValue() const { return max_; }
  // Throws EInvalidOperation("Value must be between <MinValue + 1> and 2147483647") for a value below
  // MinValue, unless loading; lowers Progress to it.
  void SetMaxValue(int value);
  int Progress() const { return progress_; }
  // Clamped to [MinValue, MaxValue]; never an error.
  void SetProgress(int value);
  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind kind);
  void SetBorderStyle(TGaugeBorderStyle style);
  void SetForeColor(const QColor& color);
  QColor BackColor() const { return backColor_; }
  void SetBackColor(const QColor& color);
  // True: "<addText><Progress>/<MaxValue>"; false: "<PercentComplete>%". Shown at the next repaint.
  void SetShowAsValue(bool value) { showAsValue_ = value; }
  void SetAddText(const QString& text) { addText_ = text; }
  // The font is the widget's font (the parent's unless set); its colour is not used.

  // 0 when MaxValue equals MinValue, else (Progress - MinValue) * 100 / (MaxValue - MinValue), truncated.
  int PercentComplete() const;
  // The text drawn over the bar.
  QString Text() const;

  // While loading (placing the control with stored values) the range checks are skipped.
  void SetLoading(bool loading) { loading_ = loading; }

  // The whole picture of the control at its current size, as paintEvent copies it to the screen.
  QImage RenderImage() const;
  // The bar length in pixels for a percentage of a length, computed in 80-bit extended precision.
  static int FillLength(int length, int percent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RepaintNow();
  // Stores a different value and repaints at once; the same value does nothing.
  template <typename T>
  void Change(T& field, const T& value);

  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
  TGaugeKind kind_ = TGaugeKind::gkHorizontalBar;
  TGaugeBorderStyle borderStyle_ = TGaugeBorderStyle::bsSingle;
  QColor foreColor_{0, 0, 0};
  QColor backColor_{255, 255, 255};
  bool showAsValue_ = true;
  QString addText_;
  bool loading_ = false;
};

}  // namespace velmora
