#include "metadata/jpegsegments.h"

#include <algorithm>
#include <system_error>

#include "base/fileio.h"
#include "base/textcodec.h"
#include "metadata/iccprofile.h"
#include "metadata/ifd.h"
#include "metadata/jpegmarkers.h"
#include "metadata/jpegtrailer.h"
#include "metadata/messages.h"
#include "metadata/segmentreader.h"

namespace velmora {

namespace {

// An Orientation that asks for a turn or a mirror; anything else means upright.
int ValidOrientation(std::optional<std::uint16_t> value) {
  return value && *value >= 2 && *value <= 8 ? *value : kOrientationUpright;
}

// The segment's payload (after its length field) starts with the identifier and its zero byte.
bool HasIdentifier(ByteView data, std::string_view id) { return JpegSegment{.data = data}.HasIdentifier(id); }

bool HasExifIdentifier(ByteView data) { return HasIdentifier(data, kExifId); }

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
  IfdEntries entries({.block = tiff, .directory = *ifd0, .bigEndian = be});
  while (const auto e = entries.Next()) {
    if (e->tag != kTagOrientation) continue;
    if (e->type != kShort || e->count != 1u) return kOrientationUpright;
    return ValidOrientation(e->value->u16(0, be));
  }
  return kOrientationUpright;
}

TImgData::TImgData() { Reset(); }

TImgData::~TImgData() = default;

void TImgData::Reset() {
  sections.clear();
  exifSection = -1;
  app0Section = -1;
  comment.clear();
  fileName.clear();
  report = {};
  fileDateTime = {};
  fileSize = 0;
  exifInfo.reset();
  iptcData.reset();
  xmpSegments.clear();
  motorolaOrder = false;
  iccProfile.clear();
  exifOrientation = kOrientationUpright;
  iptcTrailerLeft = false;
}

void TImgData::ClearMetadata() {
  exifSection = -1;
  exifInfo.reset();
  iptcData.reset();
  xmpSegments.clear();
  comment.clear();
  iptcTrailerLeft = false;
}

std::string TImgData::CommentText() const { return ToUtf8(comment); }

bool TImgData::OpenFile(const std::string& name, ReadParts parts) {
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
      report.SetOutcome(ReadOutcome::kFormatNotSupported);
      return false;
    }
    report.SetOutcome(read ? ReadOutcome::kRead : ReadOutcome::kCannotRead, name);
    result = read;
  } catch (const FileError&) {
    report.SetOutcome(ReadOutcome::kIllegalExif);
    result = false;
  } catch (const EMetadata&) {
    report.SetOutcome(ReadOutcome::kIllegalExif);
    result = false;
  }
  return result;
}

bool TImgData::OpenForMetadata(const std::string& name) {
  OpenFile(name, kPartsAll);
  return HasMetadata();
}

bool TImgData::ReadJpeg(const std::string& name, ReadParts parts) {
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

namespace {

// One scan's state beside the model it fills: the profile's chunks, and the Photoshop resources,
// which Photoshop splits over APP13 segments that follow one another; their payloads after the
// identifier are read as one, so a resource split between them is whole again. Segments apart are
// blocks of their own, each read in file order.
class SegmentScan {
 public:
  SegmentScan(TImgData& img, ReadParts parts) : img_(img), parts_(parts) {}
  void Take(const JpegSegment& segment);
  void Finish();

 private:
  void TakeApp1();
  void TakeApp13(bool photoshopSegment);
  void ReadPhotoshop();
  void AddIptc(const Bytes& app13);

  TImgData& img_;
  ReadParts parts_;
  TIccChunks icc_;
  Bytes photoshop_;
  bool photoshopOpen_ = false;
};

void SegmentScan::Take(const JpegSegment& segment) {
  std::vector<JpegSection>& sections = img_.sections;
  if (segment.marker == kMarkerEoi) {
    sections.push_back({{}, segment.marker, 0});
    return;
  }
  sections.push_back({Bytes(segment.data.span().begin(), segment.data.span().end()), segment.marker,
                      static_cast<int>(segment.data.size())});
  const bool photoshopSegment =
      segment.marker == kMarkerApp13 && (parts_ & kPartIptc) && segment.HasIdentifier(kPhotoshopId);
  if (!photoshopSegment) ReadPhotoshop();
  switch (segment.marker) {
    case kMarkerSof0:
      if (auto h = segment.data.u16(3, true)) img_.imageHeight = *h;
      if (auto w = segment.data.u16(5, true)) img_.imageWidth = *w;
      sections.pop_back();
      break;
    case kMarkerSos:
      break;
    case kMarkerApp0:
      img_.app0Section = static_cast<int>(sections.size()) - 1;
      break;
    case kMarkerApp1:
      TakeApp1();
      break;
    case kMarkerApp2:
      if (parts_ & kPartIcc) icc_.Add(sections.back().data);
      sections.pop_back();
      break;
    case kMarkerApp13:
      TakeApp13(photoshopSegment);
      break;
    case kMarkerCom:
      if (parts_ & kPartComment) {
        img_.comment.assign(sections.back().data.begin() + 2, sections.back().data.end());
        sections.pop_back();
      }
      break;
    default:
      sections.pop_back();
      break;
  }
}

void SegmentScan::TakeApp1() {
  const Bytes& data = img_.sections.back().data;
  // Only an APP1 with the Exif identifier is the EXIF block: an XMP packet before it must not take
  // its place, or the file's EXIF would be lost.
  if ((parts_ & kPartExif) && img_.exifSection < 0 && HasExifIdentifier(data)) {
    img_.exifSection = static_cast<int>(img_.sections.size()) - 1;
    img_.exifInfo = std::make_unique<TImageInfo>(img_.isTiff, img_.TextStyle(parts_));
    img_.buffer = data;
    img_.DecodeExifSection();
    return;
  }
  if ((parts_ & kPartOrientation) && img_.exifSection < 0 && img_.exifOrientation == kOrientationUpright)
    img_.exifOrientation = ReadExifOrientation(data);
  // XMP goes out as it came, so it is kept whole, outside the slots.
  if ((parts_ & kPartExif) && IsXmpSegment(data)) img_.xmpSegments.push_back(data);
  img_.sections.pop_back();
}

void SegmentScan::TakeApp13(bool photoshopSegment) {
  const Bytes& data = img_.sections.back().data;
  if (photoshopSegment) {
    if (!photoshopOpen_) {
      photoshop_.assign(data.begin(), data.end());
      photoshopOpen_ = true;
    } else {
      photoshop_.insert(photoshop_.end(), data.begin() + 2 + static_cast<std::ptrdiff_t>(kPhotoshopId.size()) + 1,
                        data.end());
    }
  } else if (parts_ & kPartIptc) {
    // Without the identifier at its start: the block is looked for inside, as the design does.
    AddIptc(data);
  } else {
    img_.sections.pop_back();
  }
}

void SegmentScan::ReadPhotoshop() {
  if (!photoshopOpen_) return;
  photoshopOpen_ = false;
  AddIptc(photoshop_);
}

void SegmentScan::AddIptc(const Bytes& app13) {
  if (!img_.iptcData) img_.iptcData = std::make_unique<TIPTCdata>(&img_);
  img_.iptcData->AppendApp13(app13);
}

void SegmentScan::Finish() {
  ReadPhotoshop();
  if (parts_ & kPartIcc)
    if (auto profile = icc_.Assemble()) img_.iccProfile = std::move(*profile);
}

}  // namespace

bool TImgData::ScanJpegSegments(ByteView stream, ReadParts parts) {
  // The whole run up to the scan header is looked at: metadata may stand after any number of other
  // segments, up to the header's byte budget.
  JpegSegmentReader reader(stream, kHeaderBudget);
  if (reader.End() == JpegWalkEnd::kNoSoi) return false;
  sections.clear();
  exifSection = -1;
  app0Section = -1;
  iccProfile.clear();
  exifOrientation = kOrientationUpright;
  xmpSegments.clear();
  SegmentScan scan(*this, parts);
  while (const auto segment = reader.Next()) scan.Take(*segment);
  report.headerCut = reader.End() == JpegWalkEnd::kBudget;
  report.headerCutAt = report.headerCut ? reader.Position() : 0;
  scan.Finish();
  if ((parts & kPartIptc) && reader.End() == JpegWalkEnd::kScan) TakeIptcTrailer(*this, stream, reader.Position());
  return HasMetadata();
}

void TImgData::DecodeExifSection() {
  if (exifSection < 0) return;
  if (!exifInfo) exifInfo = std::make_unique<TImageInfo>(isTiff, TextStyle(kPartTexts));
  const Bytes& data = sections[static_cast<std::size_t>(exifSection)].data;
  if (!HasExifIdentifier(data)) {
    report.SetProblem(ReadProblem::kIncorrectExifHeader);
    return;
  }
  if (data.size() >= 10 && data[8] == 'I' && data[9] == 'I') {
    motorolaOrder = false;
  } else if (data.size() >= 10 && data[8] == 'M' && data[9] == 'M') {
    motorolaOrder = true;
  } else {
    report.SetProblem(ReadProblem::kInvalidAlignment);
    return;
  }
  exifInfo->buffer = data;
  exifInfo->motorolaOrder = motorolaOrder;
  const std::int64_t ifd0 = Get32(12).value_or(0);
  const int size = sections[static_cast<std::size_t>(exifSection)].size;
  exifInfo->ReadDirectory({ifd0 == 0 ? 16 : ifd0 + 8, 8, size - 6}, kParentIfd0, DirMode::kMain);
  exifInfo->ReadThumbnailDirectory();
  TakeWalkProblem();
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
  exifInfo = std::make_unique<TImageInfo>(isTiff, TextStyle(kPartTexts));
  exifInfo->isTiff = true;  // IFD1 is not located in TIFF input
  motorolaOrder = mm;
  buffer = sections[0].data;
  exifInfo->buffer = sections[0].data;
  exifInfo->motorolaOrder = mm;
  // IFD0 must lie at file offset 8, the window's first byte; file offset o is window position o - 8.
  exifInfo->ReadDirectory({0, -8, static_cast<std::int64_t>(kTiffWindow)}, kParentIfd0, DirMode::kMain);
  TakeWalkProblem();
  return true;
}

EntryTextStyle TImgData::TextStyle(ReadParts parts) const {
  return {.texts = bool(parts & kPartTexts), .decodeValues = decodeValues, .dateFormat = dateFormat};
}

void TImgData::TakeWalkProblem() {
  // The walk's last problem is the one named, as it was met last.
  if (exifInfo->problem.kind != ReadProblem::kNone) report.SetProblem(exifInfo->problem.kind, exifInfo->problem.detail);
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
