#include "dialogs/colours.h"

#include <QWidget>
#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

constexpr double kReadable = 3.0;
constexpr const char* kDesignProperty = "velmoraDesignColour";

double Luminance(const QColor& c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

QColor Background(const QWidget& widget) {
  const QWidget* under = widget.parentWidget() ? widget.parentWidget() : &widget;
  return under->palette().color(QPalette::Window);
}

void Apply(QWidget& widget, const QColor& design) {
  const QColor shown = ReadableOn(design, Background(widget));
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, shown);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, shown);
  widget.setPalette(palette);
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableOn(const QColor& design, const QColor& background) {
  if (ContrastRatio(design, background) >= kReadable) return design;
  const bool lighten = Luminance(background) < 0.18;
  const float hue = design.hslHueF(), saturation = design.hslSaturationF();
  float lightness = design.lightnessF();
  for (int step = 0; step < 100; ++step) {
    lightness = std::clamp(lightness + (lighten ? 0.01f : -0.01f), 0.0f, 1.0f);
    const QColor shade = QColor::fromHslF(hue, saturation, lightness);
    if (ContrastRatio(shade, background) >= kReadable) return shade;
  }
  return lighten ? QColor(Qt::white) : QColor(Qt::black);
}

void SetDesignColour(QWidget& widget, const QColor& design) {
  widget.setProperty(kDesignProperty, design);
  Apply(widget, design);
}

void RefreshDesignColours(QWidget& root) {
  QList<QWidget*> widgets = root.findChildren<QWidget*>();
  widgets.prepend(&root);
  for (QWidget* widget : widgets) {
    const QVariant design = widget->property(kDesignProperty);
    if (design.isValid()) Apply(*widget, design.value<QColor>());
  }
}

}  // namespace velmora
