#pragma once

// A container panel framed by borderWidth one-pixel rings of borderColor. Children are placed at absolute
// positions inside it.

#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>

class QPainter;

namespace velmora {

// Called after the border on every paint, with the panel's painter.
using TQMTBorderPaint = std::function<void(QPainter& canvas)>;

class TQMTBorderPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TQMTBorderPanel(QWidget* parent = nullptr);

  // Default: the button-shadow colour (QPalette::Dark). Setting repaints, even with the same value.
  QColor borderColor() const { return borderColor_; }
  void setBorderColor(const QColor& color);
  // Default 1. Drawn only when 1 <= borderWidth < min(width, height) / 2; setting repaints.
  int borderWidth() const { return borderWidth_; }
  void setBorderWidth(int width);
  // The panel's caption, centred as a plain panel shows it; empty by default.
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

  TQMTBorderPaint OnQMTBorderPaint;

  // True when the rings are drawn at the current size.
  bool DrawsBorder() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor borderColor_;
  int borderWidth_ = 1;
  QString caption_;
};

}  // namespace velmora
