#pragma once

// Design colours that stay readable on any palette: the design's maroon, red, grey and link blue were
// chosen for a light window; on a dark one they would sink into the background.

#include <QColor>

class QWidget;

namespace velmora {

// The contrast ratio of two colours as the accessibility guidelines define it, 1 to 21.
double ContrastRatio(const QColor& a, const QColor& b);

// The design colour when it stands out from the background by at least 3:1, else the nearest shade of
// its hue that does (lighter on a dark background, darker on a light one).
QColor ReadableOn(const QColor& design, const QColor& background);

// Gives the widget's caption (its WindowText, active and inactive; a disabled widget keeps the style's
// grey) the design colour, readable on its parent's background, and remembers the design colour so
// RefreshDesignColours can follow a change of palette.
void SetDesignColour(QWidget& widget, const QColor& design);
// Every widget under root (root included) given a design colour, made readable on the current palette.
void RefreshDesignColours(QWidget& root);

}  // namespace velmora
