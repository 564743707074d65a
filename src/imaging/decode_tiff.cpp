// TIFF through libtiff, read from memory: the first page (directory), any layout libtiff's RGBA
// interface takes (strips or tiles, 1 to 16 bits, palette, grey, YCbCr, alpha; 16-bit RGB and grey in
// strips are read with their 16 bits), as stored: the pipeline turns it by the Orientation tag, which
// its EXIF block carries. Its EXIF is the file's own first directory, picture structure and all: the
// descriptive entries and the Exif and GPS directories are copied into a TIFF structure of their own,
// as a JPEG's EXIF block holds them.

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formatdecoders.h"
#include "metadata/ifd.h"

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

// ---- The EXIF block of a TIFF file ----------------------------------------------------------------

constexpr std::uint16_t kExifPointer = 0x8769, kGpsPointer = 0x8825;
// IFD0's entries that describe the photo rather than how its pixels are stored.
constexpr std::uint16_t kDescriptive[] = {0x010E, 0x010F, 0x0110, 0x0112, 0x011A,       0x011B,     0x0128,
                                          0x0131, 0x0132, 0x013B, 0x8298, kExifPointer, kGpsPointer};

struct Field {
  std::uint16_t tag, type;
  std::uint32_t count;
  Bytes value;  // in the file's byte order
};

std::vector<Field> fieldsOf(ByteView file, std::int64_t directory, bool bigEndian, bool ifd0) {
  std::vector<Field> fields;
  IfdLimits limits;
  IfdEntries entries({.block = file, .directory = directory, .valueBase = 0, .bigEndian = bigEndian}, &limits, 1024);
  while (const auto e = entries.Next()) {
    if (ifd0 && std::find(std::begin(kDescriptive), std::end(kDescriptive), e->tag) == std::end(kDescriptive)) continue;
    // A value outside the file, a pointer this copy does not follow (Interoperability), and a maker
    // note, whose offsets count from the file and would point into nothing once moved, are left out.
    if (!e->value || (!ifd0 && (e->tag == 0xA005 || e->tag == 0x927C))) continue;
    fields.push_back({e->tag, e->type, e->count, Bytes(e->value->span().begin(), e->value->span().end())});
  }
  return fields;
}

std::size_t directoryBytes(const std::vector<Field>& fields) {
  std::size_t n = 2 + 12 * fields.size() + 4;
  for (const Field& f : fields)
    if (f.value.size() > 4) n += f.value.size() + f.value.size() % 2;
  return n;
}

// One directory where the writer stands, its values after it; IFD0's pointers get exifAt and gpsAt.
void writeDirectory(ByteWriter& w, const std::vector<Field>& fields, bool be, std::uint32_t exifAt,
                    std::uint32_t gpsAt) {
  const auto at = static_cast<std::uint32_t>(w.size());
  std::uint32_t values = at + static_cast<std::uint32_t>(2 + 12 * fields.size() + 4);
  w.u16(static_cast<std::uint16_t>(fields.size()), be);
  for (const Field& f : fields) {
    w.u16(f.tag, be);
    w.u16(f.type, be);
    w.u32(f.count, be);
    if (f.tag == kExifPointer || f.tag == kGpsPointer) {
      w.u32(f.tag == kExifPointer ? exifAt : gpsAt, be);
    } else if (f.value.size() > 4) {
      w.u32(values, be);
      values += static_cast<std::uint32_t>(f.value.size() + f.value.size() % 2);
    } else {
      Bytes field = f.value;
      field.resize(4, 0);
      w.bytes(field);
    }
  }
  w.u32(0, be);
  for (const Field& f : fields) {
    if (f.value.size() <= 4 || f.tag == kExifPointer || f.tag == kGpsPointer) continue;
    w.bytes(f.value);
    if (f.value.size() % 2) w.u8(0);
  }
}

Bytes exifOfTiff(ByteView file) {
  const auto order = file.u16(0, true);
  const bool be = order == 0x4D4D;
  const auto first = file.u32(4, be);
  if (!first) return {};
  std::vector<Field> ifd0 = fieldsOf(file, *first, be, true), exif, gps;
  for (const Field& f : ifd0) {
    const auto at = ByteView(f.value).u32(0, be);
    if (f.type != 4 || !at) continue;
    if (f.tag == kExifPointer) exif = fieldsOf(file, *at, be, false);
    if (f.tag == kGpsPointer) gps = fieldsOf(file, *at, be, false);
  }
  std::erase_if(ifd0, [&](const Field& f) {
    return (f.tag == kExifPointer && exif.empty()) || (f.tag == kGpsPointer && gps.empty());
  });
  if (ifd0.empty()) return {};
  const auto exifAt = static_cast<std::uint32_t>(8 + directoryBytes(ifd0));
  const auto gpsAt = static_cast<std::uint32_t>(exifAt + (exif.empty() ? 0 : directoryBytes(exif)));
  ByteWriter w;
  w.text(be ? "MM" : "II");
  w.u16(42, be);
  w.u32(8, be);
  writeDirectory(w, ifd0, be, exifAt, gpsAt);
  if (!exif.empty()) writeDirectory(w, exif, be, 0, 0);
  if (!gps.empty()) writeDirectory(w, gps, be, 0, 0);
  return w.take();
}

// ---- The picture ----------------------------------------------------------------------------------

// A 16-bit RGB or grey picture in strips, with or without alpha, read row by row into Format_RGBA64
// (alpha composed over white), so its 16 bits reach the resampler; a null picture for every other
// layout, which libtiff's 8-bit RGBA reader takes.
template <typename Fail>
QImage sixteenBitPicture(TIFF* tif, uint32_t width, uint32_t height, const DecodeLimits& limits, const Fail& fail) {
  uint16_t bits = 0, samples = 0, planar = 0, photometric = 0, format = SAMPLEFORMAT_UINT, extraCount = 0;
  uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return {};
  const bool rgb = photometric == PHOTOMETRIC_RGB && (samples == 3 || samples == 4);
  const bool grey = photometric == PHOTOMETRIC_MINISBLACK && (samples == 1 || samples == 2);
  if (bits != 16 || planar != PLANARCONFIG_CONTIG || format != SAMPLEFORMAT_UINT || TIFFIsTiled(tif) || !(rgb || grey))
    return {};
  const int colours = rgb ? 3 : 1;
  const bool alpha = samples > colours;
  const bool premultiplied = alpha && extraCount > 0 && extra && extra[0] == EXTRASAMPLE_ASSOCALPHA;
  QImage picture = allocatePicture(static_cast<int>(width), static_cast<int>(height), limits,
                                   static_cast<std::uint64_t>(TIFFScanlineSize(tif)), QImage::Format_RGBA64);
  std::vector<std::uint16_t> line(static_cast<std::size_t>(TIFFScanlineSize(tif)) / 2 + 1);
  if (line.size() < std::size_t{width} * samples) fail("nieprawidłowy rozmiar wiersza");
  for (uint32_t y = 0; y < height; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) fail("uszkodzone dane obrazu");
    auto* out = reinterpret_cast<std::uint16_t*>(picture.scanLine(static_cast<int>(y)));
    for (uint32_t x = 0; x < width; ++x) {
      const std::uint16_t* in = line.data() + std::size_t{x} * samples;
      const std::uint32_t a = alpha ? in[colours] : 65535;
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t v = in[rgb ? c : 0];
        // Premultiplied: over white is c + 65535 - a; the plain kind is composed below.
        out[std::size_t{x} * 4 + c] =
            static_cast<std::uint16_t>(premultiplied ? std::min<std::uint32_t>(65535, v + 65535 - a) : v);
      }
      out[std::size_t{x} * 4 + 3] = static_cast<std::uint16_t>(premultiplied ? 65535 : a);
    }
    composeOverWhite16(out, static_cast<int>(width));
  }
  return picture;
}

DecodedPicture decodeTiff(ByteView file, const DecodeLimits& limits) {
  MemoryFile memory{file, 0, {}};
  const std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxSingleAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &errorProc, &memory);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &warningProc, &memory);
  const std::unique_ptr<TIFF, TiffDeleter> tif(TIFFClientOpenExt(
      "", "rm", &memory, &readProc, &writeProc, &seekProc, &closeProc, &sizeProc, &mapProc, &unmapProc, options.get()));
  const auto fail = [&memory](const char* what) {
    throw ImagingError(std::string("Nie mogę odczytać obrazu TIFF: ") +
                       (memory.message.empty() ? what : memory.message));
  };
  if (!tif) fail("uszkodzony plik");
  uint32_t width = 0, height = 0;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) fail("nieprawidłowy rozmiar");
  DecodedPicture out{sixteenBitPicture(tif.get(), width, height, limits, fail), {}, {}};
  if (out.picture.isNull()) {
    char why[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), why)) fail(why);
    out.picture = allocatePicture(static_cast<int>(width), static_cast<int>(height), limits);
    // The rows as stored (the requested orientation is the file's own), each pixel R G B A in memory,
    // alpha premultiplied; Format_RGB32 rows of this width are exactly width * 4 bytes apart.
    auto* raster = reinterpret_cast<uint32_t*>(out.picture.bits());
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster,
                                   orientation < 1 || orientation > 8 ? 1 : orientation, 1))
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
  }
  // Turned upright after the scaling, by the Orientation of its EXIF block, as a JPEG is.
  out.metadata.exif = exifOfTiff(file);
  out.metadata.icc = tagBytes(tif.get(), TIFFTAG_ICCPROFILE);
  out.metadata.xmp = tagBytes(tif.get(), TIFFTAG_XMLPACKET);
  return out;
}

}  // namespace

const FormatDecoder kTiffDecoder{&decodeTiff, nullptr};

}  // namespace velmora
