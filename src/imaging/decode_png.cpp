// PNG through libpng. libpng reports errors through a callback that must not return: it jumps back
// (longjmp) into the function that called libpng, and every such function below holds only trivially
// destructible locals, so the jump crosses no C++ frame that needs cleaning up.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/formatdecoders.h"

namespace velmora {

namespace {

// Text and profile chunks together: far above any real file's, low enough for a hostile one.
constexpr png_alloc_size_t kMaxChunkBytes = png_alloc_size_t{32} << 20;

struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop end = nullptr;
  ByteView file;
  std::size_t pos = 0;
  char message[200] = {};

  explicit PngRead(ByteView f) : file(f) {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, &PngRead::error, &PngRead::warning);
    if (png) info = png_create_info_struct(png);
    if (png) end = png_create_info_struct(png);
  }
  ~PngRead() { png_destroy_read_struct(&png, &info, &end); }
  PngRead(const PngRead&) = delete;
  PngRead& operator=(const PngRead&) = delete;

  static void error(png_structp p, png_const_charp text) {
    auto* self = static_cast<PngRead*>(png_get_error_ptr(p));
    std::snprintf(self->message, sizeof self->message, "%s", text);
    png_longjmp(p, 1);
  }
  static void warning(png_structp, png_const_charp) {}
  static void read(png_structp p, png_bytep out, png_size_t n) {
    auto* self = static_cast<PngRead*>(png_get_io_ptr(p));
    const auto bytes = self->file.bytes(self->pos, n);
    if (bytes.empty() && n > 0) png_error(p, "plik się urywa");
    std::memcpy(out, bytes.data(), n);
    self->pos += n;
  }
};

// The header and the transforms to 8-bit B G R A, or to 16-bit R G B A in native order for a 16-bit
// file; false after a libpng error.
bool readHeader(PngRead& r, png_uint_32& width, png_uint_32& height, bool& sixteen) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &r, &PngRead::read);
  png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
  png_read_info(r.png, r.info);
  width = png_get_image_width(r.png, r.info);
  height = png_get_image_height(r.png, r.info);
  const int colour = png_get_color_type(r.png, r.info);
  sixteen = png_get_bit_depth(r.png, r.info) == 16;
  png_set_expand(r.png);  // palettes, grey under 8 bits and tRNS to full channels
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r.png);
  if (sixteen) {
    png_set_swap(r.png);  // PNG stores 16-bit values big-endian
    png_set_add_alpha(r.png, 0xFFFF, PNG_FILLER_AFTER);
  } else {
    png_set_bgr(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
  }
  png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  return true;
}

bool readRows(PngRead& r, png_bytep* rows) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_image(r.png, rows);
  png_read_end(r.png, r.end);
  return true;
}

[[noreturn]] void fail(const PngRead& r) {
  throw ImagingError(std::string("Nie mogę odczytać obrazu PNG: ") + (r.message[0] ? r.message : "błąd dekodera"));
}

// The profile, the eXIf chunk and the XMP packet (an iTXt "XML:com.adobe.xmp"), before or after the
// picture data.
SourceMetadata metadataOf(PngRead& r) {
  SourceMetadata m;
  for (png_infop info : {r.info, r.end}) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (m.icc.empty() && png_get_iCCP(r.png, info, &name, &compression, &profile, &length) && profile)
      m.icc.assign(profile, profile + length);
    png_bytep exif = nullptr;
    png_uint_32 exifLength = 0;
    if (m.exif.empty() && png_get_eXIf_1(r.png, info, &exifLength, &exif) && exif)
      m.exif = tiffStructure(ByteView(std::span<const std::uint8_t>(exif, exifLength)));
    png_textp texts = nullptr;
    const int count = png_get_text(r.png, info, &texts, nullptr);
    for (int i = 0; i < count && m.xmp.empty(); ++i) {
      if (std::strcmp(texts[i].key, "XML:com.adobe.xmp") != 0 || texts[i].compression < PNG_ITXT_COMPRESSION_NONE)
        continue;
      const auto* text = reinterpret_cast<const std::uint8_t*>(texts[i].text);
      m.xmp.assign(text, text + texts[i].itxt_length);
    }
  }
  return m;
}

DecodedPicture decodePng(ByteView file, const DecodeLimits& limits) {
  PngRead r(file);
  if (!r.png || !r.info || !r.end) throw ImagingError("Brak pamięci na dekoder PNG");
  png_uint_32 width = 0, height = 0;
  bool sixteen = false;
  if (!readHeader(r, width, height, sixteen)) fail(r);
  if (width > 0x7FFFFFFF || height > 0x7FFFFFFF) throw ImagingError("Obraz PNG ma nieprawidłowy rozmiar");
  // Interlaced pictures are read whole; the rows are the result's own.
  DecodedPicture out{allocatePicture(static_cast<int>(width), static_cast<int>(height), limits, 0,
                                     sixteen ? QImage::Format_RGBA64 : QImage::Format_RGB32),
                     {},
                     {}};
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = out.picture.scanLine(static_cast<int>(y));
  if (!readRows(r, rows.data())) fail(r);
  for (png_uint_32 y = 0; y < height; ++y) {
    if (sixteen) {
      composeOverWhite16(reinterpret_cast<std::uint16_t*>(rows[y]), static_cast<int>(width));
    } else {
      composeOverWhite(rows[y], static_cast<int>(width));
    }
  }
  out.metadata = metadataOf(r);
  return out;
}

}  // namespace

const FormatDecoder kPngDecoder{&decodePng, nullptr};

}  // namespace velmora
