#include "imaging/outputformat.h"

#include <avif/avif.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "imaging/imagingerror.h"

namespace velmora {

namespace {

struct FormatRow {
  OutputFormat format;
  std::string_view name, title, extension;
};
constexpr std::array kFormats{
    FormatRow{OutputFormat::kJpeg, "jpeg", "JPEG", ".jpg"},
    FormatRow{OutputFormat::kWebp, "webp", "WebP", ".webp"},
    FormatRow{OutputFormat::kAvif, "avif", "AVIF", ".avif"},
};
const FormatRow& rowOf(OutputFormat format) {
  for (const FormatRow& row : kFormats)
    if (row.format == format) return row;
  return kFormats.front();
}

QImage asRgb32(const QImage& picture) {
  return picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
}

// ---- WebP ----

struct MuxDeleter {
  void operator()(WebPMux* m) const { WebPMuxDelete(m); }
};

Bytes webpBitstream(const QImage& rgb, int quality) {
  WebPConfig config;
  WebPPicture pic;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&pic)) throw ImagingError("Nie mogę zapisać obrazu WebP");
  config.quality = static_cast<float>(quality);
  pic.use_argb = 1;
  pic.width = rgb.width();
  pic.height = rgb.height();
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  pic.writer = WebPMemoryWrite;
  pic.custom_ptr = &writer;
  const bool ok =
      WebPPictureImportBGRX(&pic, rgb.constBits(), static_cast<int>(rgb.bytesPerLine())) && WebPEncode(&config, &pic);
  const int error = pic.error_code;
  WebPPictureFree(&pic);
  Bytes out(writer.mem, writer.mem + (ok ? writer.size : 0));
  WebPMemoryWriterClear(&writer);
  if (!ok) {
    throw ImagingError(error == VP8_ENC_ERROR_OUT_OF_MEMORY
                           ? noMemoryForImageText(rgb.width(), rgb.height())
                           : "Nie mogę zapisać obrazu WebP (błąd " + std::to_string(error) + ")");
  }
  return out;
}

void setChunk(WebPMux* mux, const char* fourcc, const Bytes& bytes) {
  if (bytes.empty()) return;
  const WebPData data{bytes.data(), bytes.size()};
  if (WebPMuxSetChunk(mux, fourcc, &data, 1) != WEBP_MUX_OK)
    throw ImagingError(std::string("Nie mogę zapisać bloku ") + fourcc + " w pliku WebP");
}

// ---- AVIF ----

struct AvifImageDeleter {
  void operator()(avifImage* i) const { avifImageDestroy(i); }
};
struct AvifEncoderDeleter {
  void operator()(avifEncoder* e) const { avifEncoderDestroy(e); }
};

void checkAvif(avifResult result) {
  if (result != AVIF_RESULT_OK)
    throw ImagingError(std::string("Nie mogę zapisać obrazu AVIF: ") + avifResultToString(result));
}

}  // namespace

std::optional<OutputFormat> outputFormatNamed(std::string_view name) {
  for (const FormatRow& row : kFormats)
    if (row.name == name) return row.format;
  return std::nullopt;
}
std::string_view outputFormatName(OutputFormat format) { return rowOf(format).name; }
std::string_view outputFormatTitle(OutputFormat format) { return rowOf(format).title; }
std::string_view outputFormatExtension(OutputFormat format) { return rowOf(format).extension; }

int avifQuantizer(int quality) {
  const int q = std::clamp(quality, 0, 100);
  return ((100 - q) * 63 + 50) / 100;
}

Bytes encodeWebp(const QImage& picture, int quality, const ContainerMetadata& metadata) {
  const Bytes bitstream = webpBitstream(asRgb32(picture), quality);
  if (metadata.exif.empty() && metadata.xmp.empty() && metadata.icc.empty()) return bitstream;
  const std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
  if (!mux) throw ImagingError("Brak pamięci na plik WebP");
  const WebPData image{bitstream.data(), bitstream.size()};
  if (WebPMuxSetImage(mux.get(), &image, 1) != WEBP_MUX_OK) throw ImagingError("Nie mogę zapisać obrazu WebP");
  setChunk(mux.get(), "ICCP", metadata.icc);
  setChunk(mux.get(), "EXIF", metadata.exif);
  setChunk(mux.get(), "XMP ", metadata.xmp);
  WebPData assembled;
  WebPDataInit(&assembled);
  if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) throw ImagingError("Nie mogę zapisać pliku WebP");
  Bytes out(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  return out;
}

Bytes encodeAvif(const QImage& picture, int quality, const ContainerMetadata& metadata) {
  const QImage rgb = asRgb32(picture);
  const std::unique_ptr<avifImage, AvifImageDeleter> image(avifImageCreate(
      static_cast<uint32_t>(rgb.width()), static_cast<uint32_t>(rgb.height()), 8, AVIF_PIXEL_FORMAT_YUV420));
  if (!image) throw ImagingError(noMemoryForImageText(rgb.width(), rgb.height()));
  // Full range, the sRGB primaries and curve, BT.601 coefficients: what browsers assume of a photo.
  image->yuvRange = AVIF_RANGE_FULL;
  avifRGBImage pixels;
  avifRGBImageSetDefaults(&pixels, image.get());
  pixels.format = AVIF_RGB_FORMAT_BGRA;
  pixels.ignoreAlpha = AVIF_TRUE;
  pixels.pixels = const_cast<std::uint8_t*>(rgb.constBits());  // read only: RGB to YUV
  pixels.rowBytes = static_cast<uint32_t>(rgb.bytesPerLine());
  checkAvif(avifImageRGBToYUV(image.get(), &pixels));
  if (!metadata.icc.empty()) avifImageSetProfileICC(image.get(), metadata.icc.data(), metadata.icc.size());
  if (!metadata.exif.empty()) avifImageSetMetadataExif(image.get(), metadata.exif.data(), metadata.exif.size());
  if (!metadata.xmp.empty()) avifImageSetMetadataXMP(image.get(), metadata.xmp.data(), metadata.xmp.size());
  const std::unique_ptr<avifEncoder, AvifEncoderDeleter> encoder(avifEncoderCreate());
  if (!encoder) throw ImagingError("Brak pamięci na koder AVIF");
  // The run has its own workers: one thread a picture.
  encoder->maxThreads = 1;
  encoder->speed = kAvifSpeed;
  encoder->minQuantizer = encoder->maxQuantizer = avifQuantizer(quality);
  avifRWData out = AVIF_DATA_EMPTY;
  const avifResult result = avifEncoderWrite(encoder.get(), image.get(), &out);
  Bytes bytes(out.data, out.data + (result == AVIF_RESULT_OK ? out.size : 0));
  avifRWDataFree(&out);
  checkAvif(result);
  return bytes;
}

}  // namespace velmora
