// WebP through libwebp: the demuxer finds the metadata chunks (EXIF, XMP, ICCP) and the first frame;
// the decoder writes that frame straight into the result.

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

#include "imaging/formatdecoders.h"

namespace velmora {

namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

Bytes chunk(WebPDemuxer* demux, const char* fourcc) {
  WebPChunkIterator it;
  if (!WebPDemuxGetChunk(demux, fourcc, 1, &it)) return {};
  Bytes bytes(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
  WebPDemuxReleaseChunkIterator(&it);
  return bytes;
}

DecodedPicture decodeWebp(ByteView file, const DecodeLimits& limits) {
  const WebPData data{file.span().data(), file.size()};
  const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
  if (!demux) throw ImagingError("Nie mogę odczytać obrazu WebP: uszkodzony plik");
  WebPIterator frame;
  if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) throw ImagingError("Nie mogę odczytać obrazu WebP: brak klatki");
  const std::uint8_t* bytes = frame.fragment.bytes;
  const std::size_t size = frame.fragment.size;
  const int width = frame.width, height = frame.height;
  WebPDemuxReleaseIterator(&frame);

  DecodedPicture out{allocatePicture(width, height, limits), {}, {}};
  std::uint8_t* bits = out.picture.bits();
  const auto stride = static_cast<std::size_t>(out.picture.bytesPerLine());
  if (!WebPDecodeBGRAInto(bytes, size, bits, stride * static_cast<std::size_t>(height), static_cast<int>(stride)))
    throw ImagingError("Nie mogę odczytać obrazu WebP: uszkodzone dane obrazu");
  for (int y = 0; y < height; ++y) composeOverWhite(out.picture.scanLine(y), width);
  out.metadata.exif = tiffStructure(chunk(demux.get(), "EXIF"));
  out.metadata.xmp = chunk(demux.get(), "XMP ");
  out.metadata.icc = chunk(demux.get(), "ICCP");
  return out;
}

}  // namespace

const FormatDecoder kWebpDecoder{&decodeWebp, nullptr};

}  // namespace velmora
