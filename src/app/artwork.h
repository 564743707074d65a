#pragma once

// Pictures the main window draws for itself instead of shipping image files.

#include <QImage>

namespace velmora {

// The three 16 x 16 glyphs of the selection buttons, on a transparent ground.
enum class TSelectionGlyph { TickAll, UntickAll, Invert };
QImage SelectionGlyph(TSelectionGlyph kind);

// The caption preview's stock picture: 133 x 37, 24-bit, soft diagonal streaks of light yellow, green,
// pink and violet, so that every caption mode can be judged on it.
QImage StockCaptionBackground();

}  // namespace velmora
