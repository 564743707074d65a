#pragma once

// The TIFF and EXIF tag numbers the readers and the writer act on, each named once. The pointer
// tags double as the parentId of the directories they lead to (tagentry.h).

#include <cstdint>

namespace velmora {

inline constexpr std::uint16_t kTagInteropVersion = 0x0002;
inline constexpr std::uint16_t kTagCompression = 0x0103;
inline constexpr std::uint16_t kTagStripOffsets = 0x0111;
inline constexpr std::uint16_t kTagOrientation = 0x0112;
inline constexpr std::uint16_t kTagStripByteCounts = 0x0117;
inline constexpr std::uint16_t kTagFreeOffsets = 0x0120;
inline constexpr std::uint16_t kTagDateTime = 0x0132;
inline constexpr std::uint16_t kTagTileOffsets = 0x0144;
inline constexpr std::uint16_t kTagSubIfds = 0x014A;
inline constexpr std::uint16_t kTagJpegOffset = 0x0201;
inline constexpr std::uint16_t kTagJpegLength = 0x0202;
inline constexpr std::uint16_t kTagXmp = 0x02BC;
inline constexpr std::uint16_t kTagExposureTime = 0x829A;
inline constexpr std::uint16_t kTagExifOffset = 0x8769;
inline constexpr std::uint16_t kTagGpsInfo = 0x8825;
inline constexpr std::uint16_t kTagExifVersion = 0x9000;
inline constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
inline constexpr std::uint16_t kTagDateTimeDigitized = 0x9004;
inline constexpr std::uint16_t kTagShutterSpeed = 0x9201;
inline constexpr std::uint16_t kTagFlash = 0x9209;
inline constexpr std::uint16_t kTagMakerNote = 0x927C;
inline constexpr std::uint16_t kTagUserComment = 0x9286;
inline constexpr std::uint16_t kTagFlashPixVersion = 0xA000;
inline constexpr std::uint16_t kTagExifImageWidth = 0xA002;
inline constexpr std::uint16_t kTagExifImageLength = 0xA003;
inline constexpr std::uint16_t kTagInteropOffset = 0xA005;
inline constexpr std::uint16_t kTagFocalLength35 = 0xA405;
inline constexpr std::uint16_t kTagPadding = 0xEA1C;
inline constexpr std::uint16_t kTagOffsetSchema = 0xEA1D;

// EXIF Orientation (TIFF 6.0): how the stored rows and columns map onto the picture as seen.
// 1 is upright; 2 to 8 call for mirroring or turning.
inline constexpr int kOrientationUpright = 1;

}  // namespace velmora
