#pragma once

// The formats an output is written in besides JPEG: WebP (libwebp, its mux library for the metadata
// chunks) and AVIF (libavif). Each takes the picture and the metadata its container carries in its own
// places: the EXIF block as a TIFF structure (without the JPEG thumbnail: both formats have their own
// previews), the XMP packet and the ICC profile. IPTC has no place in either.

#include <QImage>
#include <optional>
#include <string_view>

#include "base/bytes.h"

namespace velmora {

enum class OutputFormat { kJpeg, kWebp, kAvif };
// Every format, in the order the choices list them.
inline constexpr OutputFormat kOutputFormats[] = {OutputFormat::kJpeg, OutputFormat::kWebp, OutputFormat::kAvif};

// "jpeg", "webp", "avif" (the settings' and the command line's names); nothing for any other.
std::optional<OutputFormat> outputFormatNamed(std::string_view name);
std::string_view outputFormatName(OutputFormat format);       // "jpeg", "webp", "avif"
std::string_view outputFormatTitle(OutputFormat format);      // "JPEG", "WebP", "AVIF"
std::string_view outputFormatExtension(OutputFormat format);  // ".jpg", ".webp", ".avif"

struct ContainerMetadata {
  Bytes exif;  // a TIFF structure ("II*\0" or "MM\0*" first)
  Bytes xmp;   // one packet
  Bytes icc;
};

// AVIF's encoder speed (libavif's 0 to 10, libaom here): a 1280 x 960 photo takes 0.46 s of one core at
// quality 90 (8 takes 0.21 s for a 2 % larger file, 10 takes 0.12 s for 3 %).
inline constexpr int kAvifSpeed = 6;
// AVIF has no quality but a quantizer, 0 (best) to 63: quality q maps to (100 - q) * 63 / 100, rounded,
// as later libavif versions map their own quality option, so 90 gives 6 and 50 gives 32. WebP takes
// the quality as it is (libwebp's 0 to 100).
int avifQuantizer(int quality);

// Throw ImagingError with a Polish message. The picture is Format_RGB32 (other formats are converted).
Bytes encodeWebp(const QImage& picture, int quality, const ContainerMetadata& metadata);
Bytes encodeAvif(const QImage& picture, int quality, const ContainerMetadata& metadata);

}  // namespace velmora
