#include "dialogs/qmtpropspanel.h"

#include <QPainter>

namespace velmora {

TQMTPropsPanel::TQMTPropsPanel(QWidget* parent) : QWidget(parent) {}

void TQMTPropsPanel::SetProp(const QString& key, const QVariant& value) {
  Props.Set(key, value);
  if (isVisible() && OnPaint) repaint();
}

void TQMTPropsPanel::CallOnPaint(QPainter& canvas) {
  if (OnPaint) OnPaint(canvas);
}

void TQMTPropsPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(backgroundRole()));
  CallOnPaint(p);
}

}  // namespace velmora
