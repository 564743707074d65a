#pragma once

// Output sharpening for screen: an unsharp mask on the luminance, applied after a reduction (area
// averaging is a soft filter) and before the caption. The same change is added to R, G and B, so the
// colour differences stay as they were and edges get no coloured fringes.

#include <QImage>

#include "imaging/outputoptions.h"

namespace velmora {

// The mask of one level: a 3 x 3 separable Gaussian blur of radius (sigma) `radius` output pixels, and
// the share of the difference added back.
struct UnsharpMask {
  double radius = 0;
  double amount = 0;
};

// Levels near the usual screen-output guidelines (amount 50 to 150 % at radius 0.5 to 0.8 for pictures
// reduced to about 1000 to 2000 pixels): lekkie 50 % / 0.5, średnie 90 % / 0.6, mocne 150 % / 0.8.
UnsharpMask UnsharpMaskFor(Sharpening level);

// Sharpens a Format_RGB32 picture in place (None leaves it alone). Luminance is BT.601
// ((77 R + 150 G + 29 B) / 256); weights are fixed-point, edges repeat the outermost pixel.
void SharpenForScreen(QImage& picture, Sharpening level);

}  // namespace velmora
