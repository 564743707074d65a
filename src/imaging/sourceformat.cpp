#include "imaging/sourceformat.h"

#include <array>
#include <bit>
#include <cstring>

#include "imaging/formatdecoders.h"

namespace velmora {

// The decoders write B, G, R, A bytes: Format_RGB32's layout on little-endian machines.
static_assert(std::endian::native == std::endian::little);

namespace {

struct FormatRow {
  PictureFormat format;
  std::string_view name;
  std::array<std::string_view, 2> extensions;
  const FormatDecoder* decoder;
};

constexpr std::array kFormats{
    FormatRow{PictureFormat::kJpeg, "JPEG", {".jpg", ".jpeg"}, nullptr},
    FormatRow{PictureFormat::kHeif, "HEIF", {".heic", ".heif"}, &kHeifDecoder},
    FormatRow{PictureFormat::kPng, "PNG", {".png", ""}, &kPngDecoder},
    FormatRow{PictureFormat::kTiff, "TIFF", {".tif", ".tiff"}, &kTiffDecoder},
    FormatRow{PictureFormat::kWebp, "WebP", {".webp", ""}, &kWebpDecoder},
};

const FormatRow& rowOf(PictureFormat format) {
  for (const FormatRow& row : kFormats)
    if (row.format == format) return row;
  return kFormats.front();
}

bool endsWithNoCase(std::string_view name, std::string_view tail) {
  if (tail.empty() || name.size() <= tail.size()) return false;
  const std::string_view end = name.substr(name.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i) {
    const char c = end[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != tail[i]) return false;
  }
  return true;
}

bool startsWith(ByteView head, std::size_t at, std::string_view magic) {
  const auto bytes = head.bytes(at, magic.size());
  return !bytes.empty() && std::memcmp(bytes.data(), magic.data(), magic.size()) == 0;
}

// The brands of an ISO base media file's "ftyp" box that are still pictures of the HEIF family.
bool isHeifBrand(ByteView head, std::size_t at) {
  for (const std::string_view brand : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"})
    if (startsWith(head, at, brand)) return true;
  return false;
}

}  // namespace

std::optional<PictureFormat> formatOfName(std::string_view name) {
  for (const FormatRow& row : kFormats)
    for (const std::string_view ext : row.extensions)
      if (endsWithNoCase(name, ext)) return row.format;
  return std::nullopt;
}

std::optional<PictureFormat> formatOfContent(ByteView head) {
  if (startsWith(head, 0, "\xFF\xD8\xFF")) return PictureFormat::kJpeg;
  if (startsWith(head, 0, "\x89PNG\r\n\x1A\n")) return PictureFormat::kPng;
  if (startsWith(head, 0, std::string_view("II*\0", 4)) || startsWith(head, 0, std::string_view("MM\0*", 4)))
    return PictureFormat::kTiff;
  if (startsWith(head, 0, "RIFF") && startsWith(head, 8, "WEBP")) return PictureFormat::kWebp;
  // The major brand; a file that names another one first (an AVIF, a video) is none of ours.
  if (startsWith(head, 4, "ftyp") && isHeifBrand(head, 8)) return PictureFormat::kHeif;
  return std::nullopt;
}

std::string_view formatName(PictureFormat format) { return rowOf(format).name; }

PictureFormat checkedFormat(std::string_view name, ByteView file) {
  const std::optional<PictureFormat> named = formatOfName(name);
  const std::optional<PictureFormat> found = formatOfContent(file);
  if (named && found == named) return *named;
  // What is no picture at all under a JPEG name gets the JPEG decoder's own, more telling message.
  if (named == PictureFormat::kJpeg && !found) return *named;
  const std::string expected(named ? formatName(*named) : "obrazu");
  if (found)
    throw ImagingError("Plik ma rozszerzenie " + expected + ", a zawiera obraz " + std::string(formatName(*found)));
  throw ImagingError("Plik ma rozszerzenie " + expected + ", a nie zawiera obrazu w tym formacie");
}

DecodedPicture decodePicture(ByteView file, PictureFormat format, const DecodeLimits& limits) {
  const FormatDecoder* decoder = rowOf(format).decoder;
  if (!decoder) throw ImagingError("Nieobsługiwany format obrazu");
  DecodedPicture decoded = decoder->decode(file, limits);
  decoded.fullSize = decoded.picture.size();
  return decoded;
}

std::optional<DecodedPicture> decodeEmbeddedPreview(ByteView file, PictureFormat format) {
  const FormatDecoder* decoder = rowOf(format).decoder;
  if (!decoder || !decoder->preview) return std::nullopt;
  return decoder->preview(file);
}

QImage allocatePicture(int width, int height, const DecodeLimits& limits, std::uint64_t extraBytes,
                       QImage::Format format) {
  if (width <= 0 || height <= 0) throw ImagingError("Nieprawidłowy rozmiar obrazu: " + pixelSizeText(width, height));
  const std::uint64_t pixels = std::uint64_t(width) * std::uint64_t(height);
  if (pixels > limits.maxPixels)
    throw ImagingError("Obraz jest za duży: " + pixelSizeText(width, height) + " (najwyżej " +
                       std::to_string(limits.maxPixels) + " pikseli)");
  const std::uint64_t bytes = pixels * (format == QImage::Format_RGB32 ? 4 : 8) + extraBytes;
  if (limits.gate) {
    limits.gate(bytes);
  } else if (bytes > kDecodeMemoryLimit) {
    throw ImagingError(tooMuchMemoryMessage(bytes));
  }
  QImage picture(width, height, format);
  if (picture.isNull()) throw ImagingError(noMemoryForImageText(width, height));
  return picture;
}

void composeOverWhite(std::uint8_t* bgra, int width) {
  for (int x = 0; x < width; ++x, bgra += 4) {
    const unsigned a = bgra[3];
    if (a != 255) {
      // Rounded c * a / 255 + 255 - a, exact for every pair.
      for (int c = 0; c < 3; ++c) {
        const unsigned t = bgra[c] * a + 255 * (255 - a) + 128;
        bgra[c] = static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
      }
    }
    bgra[3] = 255;
  }
}

void composeOverWhite16(std::uint16_t* rgba, int width) {
  for (int x = 0; x < width; ++x, rgba += 4) {
    const std::uint64_t a = rgba[3];
    if (a != 65535)
      for (int c = 0; c < 3; ++c)
        rgba[c] = static_cast<std::uint16_t>((rgba[c] * a + 65535 * (65535 - a) + 32767) / 65535);
    rgba[3] = 65535;
  }
}

Bytes tiffStructure(ByteView exif) {
  std::size_t at = 0;
  if (exif.has(0, 6) && std::memcmp(exif.span().data(), "Exif\0\0", 6) == 0) at = 6;
  const auto rest = exif.bytesUpTo(at, exif.size());
  const ByteView tiff(rest);
  const bool valid =
      tiff.has(0, 4) && (std::memcmp(rest.data(), "II*\0", 4) == 0 || std::memcmp(rest.data(), "MM\0*", 4) == 0);
  return valid ? Bytes(rest.begin(), rest.end()) : Bytes{};
}

}  // namespace velmora
