#pragma once

// The JPEG markers and segment identifiers the metadata code reads and writes, each named once.

#include <cstdint>
#include <string_view>

namespace velmora {

inline constexpr std::uint8_t kMarkerSof0 = 0xC0;
inline constexpr std::uint8_t kMarkerSoi = 0xD8;
inline constexpr std::uint8_t kMarkerEoi = 0xD9;
inline constexpr std::uint8_t kMarkerSos = 0xDA;
inline constexpr std::uint8_t kMarkerApp0 = 0xE0;
inline constexpr std::uint8_t kMarkerApp1 = 0xE1;
inline constexpr std::uint8_t kMarkerApp2 = 0xE2;
inline constexpr std::uint8_t kMarkerApp13 = 0xED;
inline constexpr std::uint8_t kMarkerCom = 0xFE;

// A segment's length field counts itself: at most 65,533 bytes of payload.
inline constexpr std::size_t kMaxSegmentLength = 65535;

// The identifiers at the start of a segment's payload, each followed by a zero byte in the file
// (the EXIF block's by two).
inline constexpr std::string_view kExifId = "Exif";
inline constexpr std::string_view kXmpId = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view kExtendedXmpId = "http://ns.adobe.com/xmp/extension/";
inline constexpr std::string_view kPhotoshopId = "Photoshop 3.0";
inline constexpr std::string_view kIccId = "ICC_PROFILE";
// The Photoshop image resource that holds the IPTC datasets.
inline constexpr std::uint16_t kIptcResourceId = 0x0404;

}  // namespace velmora
