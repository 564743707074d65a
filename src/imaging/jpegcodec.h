#pragma once

// The JPEG codec over libjpeg-turbo. Decoding is at full size with the accurate integer inverse
// transform, fancy upsampling and block smoothing, always into Format_RGB32: greyscale comes out as
// grey RGB, CMYK and YCCK are converted to RGB. Encoding follows EncoderOptions: by default quality 90,
// baseline, 4:2:0, optimised Huffman tables (the standard tables' pixels in fewer bytes), a JFIF APP0.
//
// Every failure is a JpegError (an ImagingError) carrying libjpeg's message in Polish (jpegmessages.h).
// A warning that means picture data was lost or made up (the file ends early, a bad Huffman code ...)
// is an error too, so a broken picture is never published padded with grey, and so are stray bytes
// after entropy-coded data (before EOI, a restart marker or a later scan: the data did not end where it
// should); stray bytes between the segments before the first scan are not (jpegcodec.cpp tables them
// all). Each call is self-contained and keeps no state, so calls may run on several
// threads at once.

#include <QImage>
#include <QSize>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "base/bytes.h"
#include "imaging/imagingerror.h"

namespace velmora {

class JpegError : public ImagingError {
 public:
  using ImagingError::ImagingError;
};

// Largest picture decoded or produced, in pixels: 2 GiB at 4 bytes a pixel.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 29;
inline constexpr int kJpegQuality = 90;
// What one decode may hold at its peak (libjpeg's buffers and the result) unless a gate decides: a
// progressive picture of some 350 megapixels, or a baseline one of 250 decoded whole.
inline constexpr std::uint64_t kDecodeMemoryLimit = std::uint64_t{1} << 30;

// The largest JPEG file read: half of what one decode may hold, far above any camera's picture; a
// larger file (a video or a disk image named .jpg) is refused before it is read.
inline constexpr std::uint64_t kMaxSourceBytes = kDecodeMemoryLimit / 2;

// "Obraz wymaga za dużo pamięci (N MB)": the refusal of a picture over its memory budget.
std::string tooMuchMemoryMessage(std::uint64_t bytes);

// Called once the header is read and the result's size is known, before the coefficient buffer or
// any pixel memory is allocated, with what the decode will hold at its peak. It refuses the picture
// by throwing, or waits until that much memory is free.
using MemoryGate = std::function<void(std::uint64_t bytes)>;

// How a JPEG stores its colours, as its header says. Adobe's writers store CMYK inverted (0 = full ink).
enum class StoredColour { kRgb, kGrey, kCmyk, kInvertedCmyk };

// Reads the header only. Throws JpegError.
StoredColour jpegStoredColour(std::span<const std::uint8_t> jpeg);

// Decodes the JPEG held in memory. Pictures of more than maxPixels pixels, and those whose decode
// would need more than kDecodeMemoryLimit, are refused before any pixel memory is allocated.
QImage decodeJpeg(std::span<const std::uint8_t> jpeg, std::uint64_t maxPixels = kMaxPixels);

// Given the picture's full size, the size the caller wants (the same size keeps it).
using TargetSize = std::function<QSize(QSize fullSize)>;

// Decodes at full size and scales to target(full size) by the halftone rule (resampler.h) while the
// rows come out of the decoder, so the full-size picture is never held in memory. The result equals
// scaleHalftone(decodeJpeg(jpeg), target). An empty target size is an error. The memory the decode
// needs goes through the gate; without one it is held to kDecodeMemoryLimit. With storedInks a CMYK
// picture comes out as its stored C, M, Y, K bytes in each pixel's four, for a colour-managed conversion.
QImage decodeJpegScaled(std::span<const std::uint8_t> jpeg, const TargetSize& target,
                        std::uint64_t maxPixels = kMaxPixels, const MemoryGate& gate = {}, bool storedInks = false);

// Reads (a regular file of at most kMaxSourceBytes) and decodes a file; file errors are FileError
// (base/fileio.h).
QImage loadJpeg(const std::filesystem::path& path, std::uint64_t maxPixels = kMaxPixels);

enum class ChromaSampling { k420, k444 };

// How the encoder writes; the defaults are the program's plain output.
struct EncoderOptions {
  int quality = kJpegQuality;   // 1 to 100
  bool optimizeHuffman = true;  // off: the standard tables of the JPEG specification's annex K
  bool progressive = false;
  ChromaSampling chroma = ChromaSampling::k420;
  bool operator==(const EncoderOptions&) const = default;
};

// Encodes the picture (any format; RGB32 and ARGB32 are read as they are, alpha ignored).
Bytes encodeJpeg(const QImage& picture, const EncoderOptions& options);
Bytes encodeJpeg(const QImage& picture, int quality = kJpegQuality);

// Encodes and writes atomically: the target is either its old self or the complete new file.
void saveJpeg(const QImage& picture, const std::filesystem::path& path, int quality = kJpegQuality);

}  // namespace velmora
