#pragma once

// A borderless panel whose settings live in a property bag (TVProps) instead of fields.

#include <QVariant>
#include <QWidget>
#include <functional>

#include "settings/vprops.h"

class QPainter;

namespace velmora {

class TQMTPropsPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TQMTPropsPanel(QWidget* parent = nullptr);

  // Props.Get(key): the integer 0 (false) for an absent key.
  QVariant GetProp(const QString& key) const { return Props.Get(key); }
  // Props.Set(key, value); then, when the panel is visible and OnPaint is assigned, paints at once.
  void SetProp(const QString& key, const QVariant& value);

  TVProps Props;
  // Called at the end of every paint, with the painter of that paint. Must not throw.
  std::function<void(QPainter& canvas)> OnPaint;

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Runs OnPaint with canvas, when it is assigned.
  void CallOnPaint(QPainter& canvas);
};

}  // namespace velmora
