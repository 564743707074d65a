#include "imaging/sourcepicture.h"

#include <string_view>

#include "metadata/iccprofile.h"
#include "metadata/jpegmarkers.h"

namespace velmora {

namespace {

constexpr std::size_t kMaxPayload = 65535 - 2;

// The identifier is followed by `zeros` NUL bytes: two after "Exif", one after XMP's.
std::size_t idSize(std::string_view id, int zeros) { return id.size() + static_cast<std::size_t>(zeros); }

void segment(ByteWriter& out, std::uint8_t marker, std::string_view id, int zeros, ByteView data) {
  out.u8(0xFF);
  out.u8(marker);
  out.u16(static_cast<std::uint16_t>(2 + idSize(id, zeros) + data.size()), true);
  out.text(std::string(id));
  for (int i = 0; i < zeros; ++i) out.u8(0);
  out.bytes(data.span());
}

}  // namespace

Bytes jpegHeaderOf(const SourceMetadata& metadata, std::vector<std::string>& dropped) {
  ByteWriter out;
  out.u8(0xFF);
  out.u8(kMarkerSoi);
  if (metadata.exif.size() > kMaxPayload - idSize(kExifId, 2)) {
    dropped.push_back("blok EXIF większy niż 64 KB");
  } else if (!metadata.exif.empty()) {
    segment(out, kMarkerApp1, kExifId, 2, metadata.exif);
  }
  if (metadata.xmp.size() > kMaxPayload - idSize(kXmpId, 1)) {
    dropped.push_back("pakiet XMP większy niż 64 KB");
  } else if (!metadata.xmp.empty()) {
    segment(out, kMarkerApp1, kXmpId, 1, metadata.xmp);
  }
  if (!metadata.icc.empty() && !WriteIccSegments(out, metadata.icc)) dropped.push_back("profil ICC za duży");
  out.u8(0xFF);
  out.u8(kMarkerEoi);
  return out.take();
}

}  // namespace velmora
