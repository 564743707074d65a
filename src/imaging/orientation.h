#pragma once

// Turning a picture upright by its EXIF Orientation (TIFF 6.0): 1 upright, 2 mirrored left to right,
// 3 turned half round, 4 mirrored top to bottom, 5 mirrored along the main diagonal (transposed),
// 6 stored turned a quarter anticlockwise (shown turned a quarter clockwise), 7 mirrored along the
// other diagonal, 8 stored turned a quarter clockwise. 5 to 8 swap width and height.

#include <QImage>
#include <QSize>
#include <cstdint>
#include <vector>

#include "imaging/resampler.h"

namespace velmora {

// True for 5 to 8, whose upright picture is the stored one with width and height swapped.
bool SwapsSides(int orientation);

// The upright size of a picture stored at `stored` size; the same mapping takes an upright size back
// to the stored one.
QSize UprightSize(QSize stored, int orientation);

// Builds the upright picture from the rows of the stored one (4 bytes a pixel, RGB32 layout), handed
// over in order, top to bottom, so a stored picture need never be held whole. Values outside 2 to 8
// are taken as 1.
class TUprightRows : public RowSink {
 public:
  // Throws ImagingError when the upright picture cannot be allocated.
  TUprightRows(QSize stored, int orientation);
  void row(int y, const std::uint8_t* pixels) override;
  // The upright picture (Format_RGB32), once every stored row has come.
  QImage Take();

 private:
  void Flush();

  QImage upright_;
  QSize stored_;
  int orientation_;
  // A quarter turn makes stored rows upright columns: a strip of them is written out at once, a
  // short run of neighbouring pixels into each upright row, rather than one pixel into each.
  std::vector<std::uint32_t> strip_;
  int stripFirst_ = 0;
  int stripRows_ = 0;
};

// The stored picture turned upright, as Format_RGB32 (other formats are converted first). 1 and
// values outside 2 to 8 give the picture as it is. Throws ImagingError when memory runs out.
QImage TurnUpright(const QImage& stored, int orientation);

}  // namespace velmora
