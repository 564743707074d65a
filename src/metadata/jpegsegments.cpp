#include "metadata/jpegsegments.h"

#include <algorithm>
#include <system_error>

#include "base/fileio.h"
#include "base/textcodec.h"
#include "metadata/iccprofile.h"
#include "metadata/messages.h"

namespace velmora {

namespace {

constexpr std::uint8_t kSof0 = 0xC0, kEoi = 0xD9, kSos = 0xDA, kApp0 = 0xE0, kApp1 = 0xE1, kApp2 = 0xE2, kApp13 = 0xED,
                       kCom = 0xFE;

// An Orientation that asks for a turn or a mirror; anything else means upright.
int ValidOrientation(std::optional<std::uint16_t> value) {
  return value && *value >= 2 && *value <= 8 ? *value : kOrientationUpright;
}

// The segment's payload (after its length field) starts with the identifier and its zero byte.
bool HasIdentifier(ByteView data, std::string_view id) {
  const auto bytes = data.bytes(2, id.size() + 1);
  return !bytes.empty() && std::equal(id.begin(), id.end(), bytes.begin()) && bytes.back() == 0;
}

bool HasExifIdentifier(ByteView data) { return HasIdentifier(data, "Exif"); }

constexpr std::string_view kPhotoshopId = "Photoshop 3.0";

std::string LowerExtension(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  for (auto& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return ext;
}

}  // namespace

bool IsXmpSegment(ByteView app1Data) {
  return HasIdentifier(app1Data, kXmpId) || HasIdentifier(app1Data, kExtendedXmpId);
}

int ReadExifOrientation(ByteView app1Data) {
  if (!HasExifIdentifier(app1Data)) return kOrientationUpright;
  // The TIFF header starts after the length field and "Exif\0\0".
  const ByteView tiff = app1Data.sub(8, app1Data.size() >= 8 ? app1Data.size() - 8 : 0);
  const auto order = tiff.bytes(0, 2);
  if (order.empty() || order[0] != order[1] || (order[0] != 'I' && order[0] != 'M')) return kOrientationUpright;
  const bool be = order[0] == 'M';
  const auto ifd0 = tiff.u32(4, be);
  if (!ifd0) return kOrientationUpright;
  const auto count = tiff.u16(*ifd0, be);
  if (!count) return kOrientationUpright;
  for (std::size_t i = 0; i < *count; ++i) {
    const std::size_t at = *ifd0 + 2 + 12 * i;  // at most 2^32 + 2 + 12 * 65535: no overflow in size_t
    if (!tiff.has(at, 12)) break;
    if (tiff.u16(at, be) != kTagOrientation) continue;
    if (tiff.u16(at + 2, be) != kShort || tiff.u32(at + 4, be) != 1u) return kOrientationUpright;
    return ValidOrientation(tiff.u16(at + 8, be));
  }
  return kOrientationUpright;
}

TImgData::TImgData(int readMaskArg) : readMask(readMaskArg) { Reset(); }

TImgData::~TImgData() = default;

void TImgData::Reset() {
  sections.clear();
  exifSection = -1;
  app0Section = -1;
  comment.clear();
  fileName.clear();
  errorText.clear();
  fileDateTime = {};
  fileSize = 0;
  exifInfo.reset();
  iptcData.reset();
  xmpSegments.clear();
  motorolaOrder = false;
  iccProfile.clear();
  exifOrientation = kOrientationUpright;
  headerCut = false;
  headerCutAt = 0;
}

void TImgData::ClearMetadata() {
  exifSection = -1;
  exifInfo.reset();
  iptcData.reset();
  xmpSegments.clear();
  comment.clear();
}

std::string TImgData::CommentText() const { return ToUtf8(comment); }

bool TImgData::OpenFile(const std::string& name, int parts) {
  Reset();
  std::error_code ec;
  if (!std::filesystem::exists(name, ec)) return false;
  bool result = false;
  try {
    fileName = name;
    fileDateTime = std::filesystem::last_write_time(name, ec);
    const auto size = std::filesystem::file_size(name, ec);
    fileSize = ec ? 0 : static_cast<std::int64_t>(size);
    const std::string ext = LowerExtension(name);
    bool read;
    if (ext == ".jpg" || ext == ".jpeg" || ext == ".jpe") {
      read = ReadJpeg(name, parts);
    } else if (ext == ".tif" || ext == ".tiff" || ext == ".nef") {
      read = ReadTiff(name);
    } else {
      errorText = msg::kFormatNotSupported;
      return false;
    }
    if (read) {
      errorText = msg::kNone;
      result = true;
    } else {
      errorText = std::string(msg::kCannotReadPrefix) + name + "\"";
    }
  } catch (const FileError&) {
    errorText = msg::kIllegalExif;
    result = false;
  } catch (const EMetadata&) {
    errorText = msg::kIllegalExif;
    result = false;
  }
  return result;
}

bool TImgData::OpenForMetadata(const std::string& name) {
  OpenFile(name, kPartsAll);
  return HasMetadata();
}

bool TImgData::ReadJpeg(const std::string& name, int parts) {
  ClearMetadata();
  isTiff = false;
  const Bytes bytes = readFileBytes(name, kJpegPrefixBytes);
  try {
    return ScanJpegSegments(bytes, parts);
  } catch (const EMetadata&) {
    return false;
  } catch (const ByteRangeError&) {
    return false;
  }
}

bool TImgData::ScanJpegSegments(ByteView stream, int parts) {
  ByteCursor in(stream);
  if (stream.size() < 2 || in.u8() != 0xFF || in.u8() != 0xD8) return false;
  sections.clear();
  exifSection = -1;
  app0Section = -1;
  iccProfile.clear();
  exifOrientation = kOrientationUpright;
  xmpSegments.clear();
  TIccChunks icc;
  // Photoshop splits its resources over APP13 segments that follow one another; their payloads after
  // the identifier are read as one, so a resource split between them is whole again. Segments apart
  // are blocks of their own, each read in file order.
  Bytes photoshop;
  bool photoshopOpen = false;
  const auto readPhotoshop = [&] {
    if (!photoshopOpen) return;
    photoshopOpen = false;
    if (!iptcData) iptcData = std::make_unique<TIPTCdata>(this);
    iptcData->AppendApp13(photoshop);
  };
  // The whole run up to the scan header is looked at: metadata may stand after any number of other
  // segments, up to the header's byte budget.
  bool scanHeader = false;
  headerCut = false;
  headerCutAt = 0;
  while (!scanHeader) {
    if (in.pos() > kHeaderBudget) {
      headerCut = true;
      headerCutAt = in.pos();
      break;
    }
    // Fill bytes 0xFF are skipped; any other byte where a marker should start is taken as the marker.
    std::uint8_t marker = 0xFF;
    while (marker == 0xFF && !in.atEnd()) marker = in.u8();
    if (marker == 0xFF) break;  // the data ended
    if (marker == kEoi) {
      sections.push_back({{}, marker, 0});
      break;
    }
    // A length below 2 or a segment cut short ends the scan; nothing half-read is kept.
    if (in.remaining() < 2) break;
    const std::uint16_t size = in.u16(true);
    if (size < 2 || in.remaining() < size - 2u) break;
    JpegSection section;
    section.marker = marker;
    section.size = size;
    section.data.reserve(size);
    section.data.push_back(static_cast<std::uint8_t>(size >> 8));
    section.data.push_back(static_cast<std::uint8_t>(size));
    const auto payload = in.bytes(size - 2u);
    section.data.insert(section.data.end(), payload.begin(), payload.end());
    sections.push_back(std::move(section));
    const int slot = static_cast<int>(sections.size()) - 1;
    const bool photoshopSegment =
        marker == kApp13 && (parts & kPartIptc) && HasIdentifier(sections.back().data, kPhotoshopId);
    if (!photoshopSegment) readPhotoshop();

    switch (marker) {
      case kSof0:
        if (auto h = ByteView(sections.back().data).u16(3, true)) imageHeight = *h;
        if (auto w = ByteView(sections.back().data).u16(5, true)) imageWidth = *w;
        sections.pop_back();
        break;
      case kSos:
        scanHeader = true;
        break;
      case kApp0:
        app0Section = slot;
        break;
      case kApp1:
        // Only an APP1 with the Exif identifier is the EXIF block: an XMP packet before it must not
        // take its place, or the file's EXIF would be lost.
        if ((parts & kPartExif) && exifSection < 0 && HasExifIdentifier(sections.back().data)) {
          exifSection = slot;
          exifInfo = std::make_unique<TImageInfo>(*this, readMask);
          exifInfo->traceLevel = traceLevel;
          buffer = sections.back().data;
          DecodeExifSection();
        } else {
          if ((parts & kPartOrientation) && exifSection < 0 && exifOrientation == kOrientationUpright)
            exifOrientation = ReadExifOrientation(sections.back().data);
          // XMP goes out as it came, so it is kept whole, outside the slots.
          if ((parts & kPartExif) && IsXmpSegment(sections.back().data)) xmpSegments.push_back(sections.back().data);
          sections.pop_back();
        }
        break;
      case kApp2:
        if (parts & kPartIcc) icc.Add(sections.back().data);
        sections.pop_back();
        break;
      case kApp13:
        if (photoshopSegment) {
          const Bytes& data = sections.back().data;
          if (!photoshopOpen) {
            photoshop.assign(data.begin(), data.end());
            photoshopOpen = true;
          } else {
            photoshop.insert(photoshop.end(), data.begin() + 2 + static_cast<std::ptrdiff_t>(kPhotoshopId.size()) + 1,
                             data.end());
          }
        } else if (parts & kPartIptc) {
          // Without the identifier at its start: the block is looked for inside, as the design does.
          if (!iptcData) iptcData = std::make_unique<TIPTCdata>(this);
          iptcData->AppendApp13(sections.back().data);
        } else {
          sections.pop_back();
        }
        break;
      case kCom:
        if (parts & kPartComment) {
          comment.assign(sections.back().data.begin() + 2, sections.back().data.end());
          sections.pop_back();
        }
        break;
      default:
        sections.pop_back();
        break;
    }
  }
  readPhotoshop();
  if (parts & kPartIcc)
    if (auto profile = icc.Assemble()) iccProfile = std::move(*profile);
  return HasMetadata();
}

void TImgData::DecodeExifSection() {
  if (exifSection < 0) return;
  if (!exifInfo) exifInfo = std::make_unique<TImageInfo>(*this, readMask);
  const Bytes& data = sections[static_cast<std::size_t>(exifSection)].data;
  if (!HasExifIdentifier(data)) {
    errorText = msg::kIncorrectExifHeader;
    return;
  }
  if (data.size() >= 10 && data[8] == 'I' && data[9] == 'I') {
    motorolaOrder = false;
  } else if (data.size() >= 10 && data[8] == 'M' && data[9] == 'M') {
    motorolaOrder = true;
  } else {
    errorText = msg::kInvalidAlignment;
    return;
  }
  exifInfo->trace.clear();
  exifInfo->buffer = data;
  exifInfo->motorolaOrder = motorolaOrder;
  const std::int64_t ifd0 = Get32(12).value_or(0);
  const int size = sections[static_cast<std::size_t>(exifSection)].size;
  exifInfo->ReadDirectory(ifd0 == 0 ? 16 : ifd0 + 8, 8, kParentIfd0, DirMode::kMain, size - 6);
  exifInfo->ReadThumbnailDirectory();
}

bool TImgData::ReadTiff(const std::string& name) {
  isTiff = true;
  ClearMetadata();
  bool result = false;
  try {
    const Bytes bytes = readFileBytes(name, 8 + kTiffWindow);
    result = ScanTiffStream(bytes);
  } catch (const EMetadata&) {
    result = false;
  } catch (const ByteRangeError&) {
    result = false;
  }
  isTiff = false;
  return result;
}

bool TImgData::ScanTiffStream(ByteView stream) {
  if (stream.size() < 2) return false;
  const auto order = stream.bytes(0, 2);
  const bool mm = order[0] == 'M' && order[1] == 'M';
  if (!mm && !(order[0] == 'I' && order[1] == 'I')) return false;
  // The window holds only the bytes actually there: file offsets 8 to 256,008 at most.
  const auto window = stream.bytesUpTo(8, kTiffWindow);
  sections.clear();
  sections.push_back({Bytes(window.begin(), window.end()), 0, 0});
  exifSection = 0;
  exifInfo = std::make_unique<TImageInfo>(*this, readMask);
  exifInfo->isTiff = true;  // IFD1 is not located in TIFF input
  exifInfo->trace.clear();
  motorolaOrder = mm;
  buffer = sections[0].data;
  exifInfo->buffer = sections[0].data;
  exifInfo->motorolaOrder = mm;
  // IFD0 must lie at file offset 8, the window's first byte; file offset o is window position o - 8.
  exifInfo->ReadDirectory(0, -8, kParentIfd0, DirMode::kMain, static_cast<std::int64_t>(kTiffWindow));
  return true;
}

int TImgData::Orientation() const {
  if (!exifInfo) return exifOrientation;
  for (const TTagEntry& e : exifInfo->entries) {
    if (e.tag != kTagOrientation || e.parentId != kParentIfd0 || e.kind != 0) continue;
    if (e.type != kShort || e.raw.size() != 2) return kOrientationUpright;
    return ValidOrientation(ByteView(e.raw).u16(0, exifInfo->motorolaOrder));
  }
  return kOrientationUpright;
}

ByteView TImgData::CarriedIccProfile() const { return IsRgbProfile(iccProfile) ? ByteView(iccProfile) : ByteView(); }

std::optional<Bytes> TImgData::ThumbnailAsJpeg() const {
  if (!HasExif() || !exifInfo->HasThumbnail()) return std::nullopt;
  return exifInfo->thumbnail;
}

}  // namespace velmora
