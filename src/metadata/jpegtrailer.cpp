#include "metadata/jpegtrailer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "metadata/jpegmarkers.h"
#include "metadata/jpegsegments.h"

namespace velmora {

namespace {

bool StartsWith(ByteView bytes, std::string_view text) {
  const auto head = bytes.bytes(0, text.size());
  return !head.empty() && std::equal(text.begin(), text.end(), head.begin());
}

}  // namespace

std::optional<ByteView> JpegTrailer(ByteView jpeg, std::size_t scanData) {
  const auto all = jpeg.span();
  std::size_t at = scanData;
  while (at < all.size()) {
    // memchr: the scan data holds an 0xFF every few hundred bytes, and this walk runs on every picture.
    const void* ff = std::memchr(all.data() + at, 0xFF, all.size() - at);
    if (!ff) return std::nullopt;
    const auto q = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - all.data());
    const auto marker = jpeg.u8(q + 1);
    if (!marker) return std::nullopt;
    if (*marker == kMarkerEoi) return jpeg.sub(q + 2, all.size() - (q + 2));
    // A stuffed zero, a restart marker or fill: still scan data.
    if (*marker == 0x00 || *marker == 0xFF || (*marker >= 0xD0 && *marker <= 0xD7)) {
      at = q + 1;
      continue;
    }
    const auto length = jpeg.u16(q + 2, true);
    if (!length || *length < 2) return std::nullopt;
    at = q + 2 + *length;
  }
  return std::nullopt;
}

std::optional<Bytes> IptcTrailerAsApp13(ByteView trailer) {
  const bool photoshop = StartsWith(trailer, kPhotoshopId);
  const bool resource = StartsWith(trailer, "8BIM");
  const auto record = trailer.u8(1);
  const bool datasets = trailer.u8(0) == 0x1C && record && (*record == 1 || *record == 2);
  if (!photoshop && !resource && !datasets) return std::nullopt;
  ByteWriter out;
  out.u16(0, true);  // the length field, which the IPTC reader does not look at
  if (!photoshop) {
    out.text(std::string(kPhotoshopId));
    out.u8(0);
  }
  if (datasets) {
    // Bare datasets become the one IPTC resource (0x0404, no name) of a Photoshop block.
    out.text("8BIM");
    out.u16(kIptcResourceId, true);
    out.u16(0, true);
    out.u32(static_cast<std::uint32_t>(std::min<std::size_t>(trailer.size(), UINT32_MAX)), true);
  }
  out.bytes(trailer.span());
  return out.take();
}

void TakeIptcTrailer(TImgData& img, ByteView jpeg, std::size_t scanData) {
  // A file that ends with EOI has no trailer: most pictures, whose scan data is then not walked.
  if (jpeg.size() >= 2 && jpeg.u8(jpeg.size() - 2) == 0xFF && jpeg.u8(jpeg.size() - 1) == kMarkerEoi) return;
  const auto trailer = JpegTrailer(jpeg, scanData);
  if (!trailer) return;
  const auto app13 = IptcTrailerAsApp13(*trailer);
  if (!app13) return;
  if (!img.HasIptc()) {
    if (!img.iptcData) img.iptcData = std::make_unique<TIPTCdata>(&img);
    img.iptcData->AppendApp13(*app13);
    return;
  }
  TIPTCdata found(&img);
  found.AppendApp13(*app13);
  const auto same = [](const TTagEntry& a, const TTagEntry& b) { return a.tag == b.tag && a.raw == b.raw; };
  const auto& kept = img.iptcData->Entries();
  if (found.Count() > 0 && !std::ranges::equal(found.Entries(), kept, same)) img.iptcTrailerLeft = true;
}

}  // namespace velmora
