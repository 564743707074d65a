// TIFF through libtiff, read from memory: the first page (directory), any layout libtiff's RGBA
// interface takes (strips or tiles, 1 to 16 bits, palette, grey, YCbCr, alpha), turned upright by its
// Orientation tag here, since its EXIF is the file's own directory and no block of its own.

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/formatdecoders.h"
#include "imaging/orientation.h"

namespace velmora {

namespace {

// No single buffer of libtiff's beyond this: a strip or tile of a real file is far smaller.
constexpr tmsize_t kMaxSingleAlloc = tmsize_t{256} << 20;

struct MemoryFile {
  ByteView file;
  toff_t pos = 0;
  std::string message;
};

tmsize_t readProc(thandle_t h, void* out, tmsize_t n) {
  auto* f = static_cast<MemoryFile*>(h);
  if (n <= 0) return 0;
  const auto bytes = f->file.bytesUpTo(static_cast<std::size_t>(f->pos), static_cast<std::size_t>(n));
  if (bytes.empty()) return 0;
  std::memcpy(out, bytes.data(), bytes.size());
  f->pos += bytes.size();
  return static_cast<tmsize_t>(bytes.size());
}
tmsize_t writeProc(thandle_t, void*, tmsize_t) { return 0; }
toff_t seekProc(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  const toff_t base = whence == SEEK_CUR ? f->pos : whence == SEEK_END ? f->file.size() : 0;
  f->pos = base + off;
  return f->pos;
}
int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) { return static_cast<MemoryFile*>(h)->file.size(); }
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

int errorProc(TIFF*, void* user, const char*, const char* fmt, va_list args) {
  auto* f = static_cast<MemoryFile*>(user);
  if (f->message.empty()) {
    char text[256];
    std::vsnprintf(text, sizeof text, fmt, args);
    f->message = text;
  }
  return 1;  // handled: nothing goes to stderr
}
int warningProc(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffDeleter {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct OptionsDeleter {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

Bytes tagBytes(TIFF* tif, ttag_t tag) {
  uint32_t count = 0;
  void* data = nullptr;
  if (!TIFFGetField(tif, tag, &count, &data) || !data) return {};
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return Bytes(bytes, bytes + count);
}

DecodedPicture decodeTiff(ByteView file, const DecodeLimits& limits) {
  MemoryFile memory{file, 0, {}};
  const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &errorProc, &memory);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &warningProc, &memory);
  const std::unique_ptr<TIFF, TiffDeleter> tif(TIFFClientOpenExt("", "rm", &memory, &readProc, &writeProc, &seekProc,
                                                                  &closeProc, &sizeProc, &mapProc, &unmapProc,
                                                                  options.get()));
  const auto fail = [&memory](const char* what) {
    throw ImagingError(std::string("Nie mogę odczytać obrazu TIFF: ") + (memory.message.empty() ? what : memory.message));
  };
  if (!tif) fail("uszkodzony plik");
  uint32_t width = 0, height = 0;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) fail("nieprawidłowy rozmiar");
  char why[1024] = {};
  if (!TIFFRGBAImageOK(tif.get(), why)) fail(why);
  DecodedPicture out{allocatePicture(static_cast<int>(width), static_cast<int>(height), limits), {}, {}};
  // The rows as stored (the requested orientation is the file's own), each pixel R G B A in memory,
  // alpha premultiplied; Format_RGB32 rows of this width are exactly width * 4 bytes apart.
  auto* raster = reinterpret_cast<uint32_t*>(out.picture.bits());
  if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster, orientation < 1 || orientation > 8 ? 1 : orientation, 1))
    fail("uszkodzone dane obrazu");
  for (int y = 0; y < out.picture.height(); ++y) {
    std::uint8_t* p = out.picture.scanLine(y);
    for (uint32_t x = 0; x < width; ++x, p += 4) {
      const std::uint8_t r = p[0], g = p[1], b = p[2], a = p[3];
      // Premultiplied: over white is c + 255 - a (a damaged file may have c > a).
      p[0] = static_cast<std::uint8_t>(std::min(255, b + 255 - a));
      p[1] = static_cast<std::uint8_t>(std::min(255, g + 255 - a));
      p[2] = static_cast<std::uint8_t>(std::min(255, r + 255 - a));
      p[3] = 255;
    }
  }
  if (orientation >= 2 && orientation <= 8) out.picture = TurnUpright(out.picture, orientation);
  out.metadata.upright = true;
  out.metadata.icc = tagBytes(tif.get(), TIFFTAG_ICCPROFILE);
  out.metadata.xmp = tagBytes(tif.get(), TIFFTAG_XMLPACKET);
  return out;
}

}  // namespace

const FormatDecoder kTiffDecoder{&decodeTiff, nullptr};

}  // namespace velmora
