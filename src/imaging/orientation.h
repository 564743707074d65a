#pragma once

// Turning a picture upright by its EXIF Orientation (TIFF 6.0): 1 upright, 2 mirrored left to right,
// 3 turned half round, 4 mirrored top to bottom, 5 mirrored along the main diagonal (transposed),
// 6 stored turned a quarter anticlockwise (shown turned a quarter clockwise), 7 mirrored along the
// other diagonal, 8 stored turned a quarter clockwise. 5 to 8 swap width and height.

#include <QImage>
#include <QSize>

namespace velmora {

// True for 5 to 8, whose upright picture is the stored one with width and height swapped.
bool SwapsSides(int orientation);

// The upright size of a picture stored at `stored` size; the same mapping takes an upright size back
// to the stored one.
QSize UprightSize(QSize stored, int orientation);

// The stored picture turned upright, as Format_RGB32 (other formats are converted first). 1 and
// values outside 2 to 8 give the picture as it is. Throws ImagingError when memory runs out.
QImage TurnUpright(const QImage& stored, int orientation);

}  // namespace velmora
