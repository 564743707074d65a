#pragma once

// Pictures the main window draws for itself instead of shipping image files.

#include <QIcon>
#include <QImage>

namespace velmora {

// The three 16 x 16 glyphs of the selection buttons, on a transparent ground, drawn at the device pixel
// ratio (the image is 16 x 16 logical pixels).
enum class TSelectionGlyph { TickAll, UntickAll, Invert };
QImage SelectionGlyph(TSelectionGlyph kind, qreal devicePixelRatio = 1.0);
// The glyph as an icon holding a picture drawn for each usual screen scale.
QIcon SelectionIcon(TSelectionGlyph kind);

// The caption preview's stock picture: 133 x 37, 24-bit, soft diagonal streaks of light yellow, green,
// pink and violet, so that every caption mode can be judged on it.
QImage StockCaptionBackground();

}  // namespace velmora
