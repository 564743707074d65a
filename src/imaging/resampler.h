#pragma once

// The halftone stretch: a separable resampler for 32-bit pixels (four 8-bit channels, all treated
// alike, so RGB32's padding byte stays 0xFF). Reducing an axis averages the source pixels each target
// pixel covers, weighted by the covered area; enlarging an axis interpolates linearly between the two
// nearest source pixels. Weights are exact integers and the final division rounds to nearest, so a
// constant picture stays constant and an exact 2x reduction is the rounded 2 x 2 box average.
//
// Memory: besides source and result, a few rows of the result's width in 32-bit accumulators.

#include <QImage>
#include <QSize>
#include <cstddef>
#include <cstdint>

namespace velmora {

// Longest side the resampler takes on either end; the integer weights are sized for it.
inline constexpr int kMaxResampleSide = 1 << 23;

// Rows the resampler reads together: a row stays readable while it is one of the last this many it
// asked for.
inline constexpr int kHeldRows = 4;

// Hands out the rows of a source picture (4 bytes a pixel). The resampler asks for rows in
// non-decreasing order and reads a row only while it is one of the last kHeldRows it asked for.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::uint8_t* row(int y) = 0;
};

// The code that does the arithmetic; all give the same bytes. kSse, kAvx2 and kAvx512 take those instructions
// where the processor has them (the plain loops where not), kSimd the widest it has. kChosen is the
// process' choice, made once: kScalar when the environment sets VELMORA_NO_SIMD to anything but "" or
// "0", else kSimd.
enum class ResamplePath { kChosen, kScalar, kSimd, kSse, kAvx2, kAvx512 };

// The path a value of VELMORA_NO_SIMD chooses (null: not set).
ResamplePath resamplePathFor(const char* noSimd);

// False when the processor lacks the instructions of the path's own code.
bool resamplePathRuns(ResamplePath path);

// Scales srcWidth x srcHeight onto dstWidth x dstHeight pixels at dst (rows dstStride bytes apart).
// Writes exactly dstWidth * 4 bytes in each of the dstHeight rows and nothing else. Throws ImagingError
// for a side below 1 or above kMaxResampleSide; errors of the source pass through.
void resampleHalftone(RowSource& source, int srcWidth, int srcHeight, std::uint8_t* dst, std::ptrdiff_t dstStride,
                      int dstWidth, int dstHeight, ResamplePath path = ResamplePath::kChosen);

// The same over a source held in memory.
void resampleHalftone(const std::uint8_t* src, std::ptrdiff_t srcStride, int srcWidth, int srcHeight, std::uint8_t* dst,
                      std::ptrdiff_t dstStride, int dstWidth, int dstHeight, ResamplePath path = ResamplePath::kChosen);

// The picture scaled to size, as Format_RGB32 (other formats are converted first). A 16-bit picture
// (Format_RGBA64, alpha already composed) is scaled on its 16-bit values and reduced to 8 bits after the
// scaling, once. Throws ImagingError for an empty size or when the result cannot be allocated.
QImage scaleHalftone(const QImage& picture, QSize size);

}  // namespace velmora
