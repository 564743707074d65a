// Checks what the readers take from every sample photo against exiftool, an independent reader:
// entries of the standard directories (IFD0, Exif, GPS, Interoperability, IFD1), the thumbnail bytes,
// the IPTC datasets and the maker-note entries whose meaning exiftool shares. Every place where our
// values differ on purpose is listed below with its reason; anything else is a failure.
//
// exiftool runs once for all files: exiftool -j -n -G1 -a -u -D -b <samples>.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "base/textcodec.h"
#include "json_reader.h"
#include "metadata/formatting.h"
#include "metadata/jpegsegments.h"
#include "metadata/tagtables.h"
#include "metadata_test_util.h"

namespace velmora {
namespace {

using test::GroupOf;
using test::Json;

const std::filesystem::path kCompareSamples = std::filesystem::path(VELMORA_TEST_DATA) / "samples";

// ---- Differences kept on purpose ------------------------------------------------------------------

// Standard-directory tags compared another way, or not at all (group, tag id, reason).
struct TagRule {
  const char* group;
  std::uint16_t tag;
  enum Kind {
    kSkip,          // not comparable: see the reason
    kFilePosition,  // exiftool gives a file position, we keep the TIFF offset: must differ by one constant
    kApexSeconds,   // exiftool -n converts APEX to seconds: 2^-v
    kApexAperture,  // exiftool -n converts APEX to an f-number: 2^(v/2)
    kDegrees,       // exiftool -n gives decimal degrees: d + m/60 + s/3600
    kTimeOfDay,     // exiftool gives "h:m:s"
    kUtf16Text,     // exiftool decodes the 16-bit text; we compare our display text
    kCfaPattern,    // exiftool reads the two repeat counts as numbers, then the colour bytes
  } kind;
  const char* why;
};

constexpr TagRule kTagRules[] = {
    {"IFD0", 0x8769, TagRule::kSkip, "pointer: exiftool shows the Exif directory, not the pointer"},
    {"IFD0", 0x8825, TagRule::kSkip, "pointer: exiftool shows the GPS directory, not the pointer"},
    {"ExifIFD", 0xA005, TagRule::kSkip, "pointer: exiftool shows the Interoperability directory"},
    {"IFD0", 0x014A, TagRule::kSkip, "pointer: exiftool shows the sub-directories"},
    {"ExifIFD", 0x927C, TagRule::kSkip, "maker note: exiftool decodes it into its maker group (checked below)"},
    {"IFD0", 0xC4A5, TagRule::kSkip, "PrintIM: exiftool decodes it into its PrintIM group"},
    {"IFD0", 0xEA1C, TagRule::kSkip, "Padding: exiftool does not show it"},
    {"ExifIFD", 0xEA1C, TagRule::kSkip, "Padding: exiftool does not show it"},
    {"IFD1", 0x0201, TagRule::kFilePosition, "ThumbnailOffset"},
    {"IFD1", 0x0111, TagRule::kFilePosition, "StripOffsets"},
    {"ExifIFD", 0x9201, TagRule::kApexSeconds, "ShutterSpeedValue"},
    {"ExifIFD", 0x9202, TagRule::kApexAperture, "ApertureValue"},
    {"ExifIFD", 0x9205, TagRule::kApexAperture, "MaxApertureValue"},
    {"GPS", 0x0002, TagRule::kDegrees, "GPSLatitude"},
    {"GPS", 0x0004, TagRule::kDegrees, "GPSLongitude"},
    {"GPS", 0x0014, TagRule::kDegrees, "GPSDestLatitude"},
    {"GPS", 0x0016, TagRule::kDegrees, "GPSDestLongitude"},
    {"GPS", 0x0007, TagRule::kTimeOfDay, "GPSTimeStamp"},
    {"ExifIFD", 0xA302, TagRule::kCfaPattern, "CFAPattern"},
    {"IFD0", 0x9C9B, TagRule::kUtf16Text, "XPTitle"},
    {"IFD0", 0x9C9C, TagRule::kUtf16Text, "XPComment"},
    {"IFD0", 0x9C9D, TagRule::kUtf16Text, "XPAuthor"},
    {"IFD0", 0x9C9E, TagRule::kUtf16Text, "XPKeywords"},
    {"IFD0", 0x9C9F, TagRule::kUtf16Text, "XPSubject"},
};

// exiftool tags we do not keep although our tables know them (file, group, tag id, reason).
struct NotKept {
  const char* file;
  const char* group;
  std::uint16_t tag;
  const char* why;
};

constexpr NotKept kNotKept[] = {
    {"", "", 0, "none: entries without value bytes (count 0) and tags missing from our tables are kept too"},
};

// Display texts of date tags: shown with the date format "yyyy-mm-dd hh:nn:ss". A text that is not in
// the Exif form keeps what the positions of that form read (the ISO form loses its time zone):
constexpr struct {
  const char* file;
  const char* shown;
} kDateTexts[] = {{"photoshop_cs6_iptc_two_keywords.jpg", "2015-06-29 18:19:12"}};

// IPTC datasets exiftool shows that we do not keep.
constexpr struct {
  int record, dataset;
  const char* why;
} kIptcNotKept[] = {{2, 0, "record version 2:00 is not kept (it is written anew)"}};
// exiftool -n still shows IPTC dates and times with ":" separators; the stored bytes have none.
const std::set<std::string> kIptcDateTimes = {"DateCreated",         "TimeCreated",    "DigitalCreationDate",
                                              "DigitalCreationTime", "ReleaseDate",    "ReleaseTime",
                                              "ExpirationDate",      "ExpirationTime", "ReferenceDate"};
// exiftool's second IPTC group comes from the IPTC-NAA tag inside EXIF, which is not read (only APP13).
constexpr const char* kIptcGroup = "IPTC";

// Maker-note tags whose meaning differs from exiftool's tag of the same id (maker group, our name, reason).
struct MakerRule {
  const char* group;
  const char* name;
  enum Kind { kSkip, kFilePosition, kSigned16, kNumberText } kind;
  const char* why;
};

constexpr MakerRule kMakerRules[] = {
    {"Nikon", "FocusArea", MakerRule::kSkip, "exiftool splits 0x0088 into AF-info sub-tags"},
    {"Olympus", "RedBias", MakerRule::kSkip, "exiftool shows RedBalance = value / 256"},
    {"Olympus", "BlueBias", MakerRule::kSkip, "exiftool shows BlueBalance = value / 256"},
    {"Olympus", "ColorMatrix", MakerRule::kSigned16, "exiftool reads the SHORT values as signed"},
    {"Olympus", "Firmware", MakerRule::kSkip, "exiftool does not show 0x0207 for this camera"},
    {"Olympus", "PictInfo", MakerRule::kSkip, "exiftool does not show 0x0208 for this camera"},
    {"Olympus", "Comments", MakerRule::kSkip, "exiftool does not show 0x020A for this camera"},
    {"Sanyo", "Firmware", MakerRule::kSkip, "exiftool does not show 0x0207 for this camera"},
    {"Casio", "ThumbnailOffset", MakerRule::kFilePosition, "exiftool gives the preview's file position"},
    {"Casio", "ObjectDistance", MakerRule::kSkip, "exiftool shows metres (value / 1000)"},
    {"Minolta", "PIMdata", MakerRule::kSkip, "exiftool decodes PrintIM into its own group"},
};

// Canon: the design's named fields of ExposureInfo1 (camera settings), ExposureInfo2 (shot info) and
// the IFD tags, with exiftool's names. A field with a value map is compared through the map's number.
struct CanonField {
  const char* ours;
  int occurrence;  // "Focus Mode" appears twice
  const char* exif;
  enum Kind { kCode, kNumber, kText, kDesign } kind;
  const char* why = "";  // kDesign: why the value is not exiftool's
  const char* map = "";  // kCode: the field's value map
};

constexpr CanonField kCanonFields[] = {
    {"Macro mode", 0, "MacroMode", CanonField::kCode, "", "1:Macro,2:Normal"},
    {"Self Timer", 0, "SelfTimer", CanonField::kDesign, "a field without a map takes item k counting from 1"},
    {"Compression Rate", 0, "Quality", CanonField::kCode, "", "0:SuperFine,1:Fine,2:Normal,3:Basic,5:SuperFine"},
    {"Flash Mode", 0, "CanonFlashMode", CanonField::kCode, "",
     "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,16:External flash"},
    {"Drive Mode", 0, "ContinuousDrive", CanonField::kCode, "", "0:Single,1:Continuous"},
    {"Focus Mode", 0, "FocusMode", CanonField::kCode, "",
     "0:One-Shot,1:AI Servo,2:AI Focus,3:MF,4:Single,5:Continuous,6:MF"},
    {"Image Size", 0, "CanonImageSize", CanonField::kCode, "",
     "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
    {"Easy Shoot", 0, "EasyMode", CanonField::kCode, "",
     "0:Full Auto,1:Manual,2:Landscape,3:Fast Shutter,4:Slow "
     "Shutter,5:Night,6:B&W,7:Sepia,8:Portrait,9:Sports,10:Macro/Close-Up,11:Pan Focus"},
    {"Contrast", 0, "Contrast", CanonField::kCode, "", "65535:Low,0:Normal,1:High"},
    {"Saturation", 0, "Saturation", CanonField::kCode, "", "65535:Low,0:Normal,1:High"},
    {"Sharpness", 0, "Sharpness", CanonField::kCode, "", "65535:Low,0:Normal,1:High"},
    {"CCD ISO", 0, "CameraISO", CanonField::kDesign, "exiftool -n turns the code into the ISO speed"},
    {"Metering Mode", 0, "MeteringMode", CanonField::kCode, "", "3:Evaluative,4:Partial,5:Center-weighted"},
    {"AF Point", 0, "AFPoint", CanonField::kCode, "",
     "12288:None (MF),12289:Auto-selected,12290:Right,12291:Center,12292:Left"},
    {"Exposure Mode", 0, "CanonExposureMode", CanonField::kCode, "",
     "0:Easy shooting,1:Program,2:Tv-priority,3:Av-priority,4:Manual,5:A-DEP"},
    {"Long focal", 0, "MaxFocalLength", CanonField::kDesign, "raw focal units; exiftool divides by FocalUnits"},
    {"Short focal", 0, "MinFocalLength", CanonField::kDesign, "raw focal units; exiftool divides by FocalUnits"},
    {"Focal Units", 0, "FocalUnits", CanonField::kNumber},
    {"Flash Details", 0, "FlashActivity", CanonField::kNumber},
    {"Focus Mode", 1, "FocusContinuous", CanonField::kCode, "", "0:Single,1:Continuous"},
    {"White balance", 0, "WhiteBalance", CanonField::kCode, "",
     "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
    {"Sequence Number", 0, "SequenceNumber", CanonField::kDesign, "a field without a map takes item k counting from 1"},
    {"OpticalZoom Step", 0, "OpticalZoomCode", CanonField::kNumber},
    {"AF point", 0, "AFPointsInFocus", CanonField::kDesign, "a field without a map takes item k counting from 1"},
    {"Flash bias", 0, "FlashExposureComp", CanonField::kNumber},
    {"Distance", 0, "FocusDistanceUpper", CanonField::kDesign, "a field without a map takes item k counting from 1"},
    {"ImageType", 0, "CanonImageType", CanonField::kText},
    {"FirmwareVersion", 0, "CanonFirmwareVersion", CanonField::kText},
    {"ImageNumber", 0, "FileNumber", CanonField::kNumber},
    {"OwnerName", 0, "OwnerName", CanonField::kText},
    {"CameraSerialNumber", 0, "SerialNumber", CanonField::kNumber},
    {"ExposureInfo1", 0, "", CanonField::kDesign, "exiftool splits it into the fields above"},
    {"ExposureInfo2", 0, "", CanonField::kDesign, "exiftool splits it into the fields above"},
    {"CustomFunctions", 0, "", CanonField::kDesign, "exiftool splits it into its custom-function tags"},
};

// ---- exiftool's view -------------------------------------------------------------------------------

struct ExifTag {
  std::string group, name;
  std::optional<int> id;
  const Json* val;
};

struct ExifFile {
  std::vector<ExifTag> tags;
  const ExifTag* find(std::string_view group, int id) const {
    for (const auto& t : tags)
      if (t.group == group && t.id == id) return &t;
    return nullptr;
  }
  const ExifTag* findName(std::string_view group, std::string_view name) const {
    for (const auto& t : tags)
      if (t.group == group && t.name == name) return &t;
    return nullptr;
  }
};

struct ExifTool {
  Json doc;
  std::map<std::string, ExifFile> files;
  std::string error;
};

std::vector<std::string> SampleNames() {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(kCompareSamples))
    if (e.path().extension() == ".jpg") names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const ExifTool& RunExifTool() {
  static const ExifTool result = [] {
    ExifTool r;
    QStringList args{"-j", "-n", "-G1", "-a", "-u", "-D", "-b"};
    for (const auto& n : SampleNames()) args << QString::fromStdString(n);
    QProcess p;
    p.setWorkingDirectory(QString::fromStdString(kCompareSamples.string()));
    p.start("exiftool", args);
    if (!p.waitForFinished(120000)) {
      r.error = "exiftool did not run: " + p.errorString().toStdString();
      return r;
    }
    const QByteArray out = p.readAllStandardOutput();
    r.doc = test::ParseJson(std::string_view(out.constData(), static_cast<std::size_t>(out.size())));
    for (const auto& fileObj : r.doc.items) {
      ExifFile f;
      std::string source;
      for (const auto& [key, v] : fileObj.members) {
        if (key == "SourceFile") {
          source = v.text;
          continue;
        }
        const auto colon = key.find(':');
        const Json* id = v.find("id");
        const Json* val = v.find("val");
        if (colon == std::string::npos || !val) continue;
        ExifTag t{key.substr(0, colon), key.substr(colon + 1), std::nullopt, val};
        if (id && id->isNumber()) t.id = static_cast<int>(id->number);
        f.tags.push_back(std::move(t));
      }
      r.files[source] = std::move(f);
    }
    return r;
  }();
  return result;
}

// ---- helpers ---------------------------------------------------------------------------------------

// exiftool's numbers: a number, "undef", or numbers separated by spaces.
std::optional<std::vector<double>> Numbers(const Json& v) {
  if (v.isNumber()) return std::vector<double>{v.number};
  if (!v.isString()) return std::nullopt;
  std::istringstream in(v.text);
  std::vector<double> out;
  std::string item;
  while (in >> item) {
    if (item == "undef" || item == "inf") {
      out.push_back(NAN);
      continue;
    }
    char* end = nullptr;
    const double d = std::strtod(item.c_str(), &end);
    if (end == item.c_str() || *end) return std::nullopt;
    out.push_back(d);
  }
  return out;
}

bool Near(double a, double b) {
  if (std::isnan(b)) return std::isnan(a);
  return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(b));
}

// A value as text: strings as they are, numbers as exiftool wrote them.
std::string JsonText(const Json& v) { return v.text; }

// Components of an entry's raw value, with NaN for a rational of denominator 0 (exiftool's "undef").
std::vector<double> Components(const TTagEntry& e, bool be) {
  std::vector<double> out;
  const int size = FormatSize(e.type);
  if (size == 0) return out;
  const ByteView raw(e.raw);
  for (std::size_t i = 0; (i + 1) * static_cast<std::size_t>(size) <= raw.size(); ++i) {
    if ((e.type == kRational || e.type == kSRational) && *raw.u32(i * 8 + 4, be) == 0) {
      out.push_back(*raw.u32(i * 8, be) == 0 ? NAN : INFINITY);
      continue;
    }
    out.push_back(ComponentAsFloat(raw, i, e.type, be));
  }
  return out;
}

std::string Join(const std::vector<double>& v) {
  std::ostringstream s;
  for (std::size_t i = 0; i < v.size() && i < 12; ++i) s << (i ? " " : "") << v[i];
  return s.str();
}

// ASCII value as exiftool shows it: up to the first zero byte, trailing spaces dropped.
std::string AsciiValue(const Bytes& raw) {
  const auto zero = std::find(raw.begin(), raw.end(), 0);
  std::string s = ToUtf8(std::span<const std::uint8_t>(raw.data(), static_cast<std::size_t>(zero - raw.begin())));
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool SameTextOrNumber(std::string ours, const Json& exif) {
  std::string theirs = JsonText(exif);
  while (!theirs.empty() && theirs.back() == ' ') theirs.pop_back();
  while (!ours.empty() && ours.back() == ' ') ours.pop_back();
  if (ours == theirs) return true;
  if (exif.isNumber()) {
    char* end = nullptr;
    const double d = std::strtod(ours.c_str(), &end);
    return end != ours.c_str() && !*end && Near(d, exif.number);
  }
  return false;
}

const TagRule* FindRule(std::string_view group, std::uint16_t tag) {
  for (const auto& r : kTagRules)
    if (r.group == group && r.tag == tag) return &r;
  return nullptr;
}

// The checks of one sample file.
class SampleCheck {
 public:
  SampleCheck(std::string file, const ExifFile& exif) : file_(std::move(file)), exif_(&exif) {
    img_.OpenFile((kCompareSamples / file_).string());
  }
  void StandardDirectoriesThumbnailAndIptc();
  void MakerNoteEntries();

 private:
  void CheckStandardEntry(const TTagEntry& e, std::optional<double>& tiffPosition);

  std::string file_;
  const ExifFile* exif_;
  TImgData img_;
};

void SampleCheck::CheckStandardEntry(const TTagEntry& e, std::optional<double>& tiffPosition) {
  const bool be = img_.exifInfo->motorolaOrder;
  const std::string group = GroupOf(e.parentId);
  const std::string where = group + ":" + e.name;
  const TagRule* rule = FindRule(group, e.tag);
  if (rule && rule->kind == TagRule::kSkip) return;
  const ExifTag* t = exif_->find(group, e.tag);
  ASSERT_NE(t, nullptr) << where << " is not in exiftool's output";
  const Json& val = *t->val;
  const auto ours = Components(e, be);

  if (rule) {
    switch (rule->kind) {
      case TagRule::kFilePosition: {
        const auto n = Numbers(val);
        ASSERT_TRUE(n && n->size() == 1 && ours.size() == 1) << where;
        const double delta = n->front() - ours.front();
        if (!tiffPosition) tiffPosition = delta;
        EXPECT_EQ(delta, *tiffPosition) << where << ": file position and TIFF offset differ by another amount";
        return;
      }
      case TagRule::kApexSeconds:
        ASSERT_EQ(ours.size(), 1u) << where;
        EXPECT_TRUE(Near(std::pow(2.0, -ours[0]), Numbers(val).value().at(0))) << where;
        EXPECT_TRUE(Near(std::get<double>(img_.exifInfo->GetTagValue("ShutterSpeedValue")), Numbers(val)->at(0)))
            << where << " through GetTagValue";
        return;
      case TagRule::kApexAperture:
        ASSERT_EQ(ours.size(), 1u) << where;
        EXPECT_TRUE(Near(std::pow(2.0, ours[0] / 2), Numbers(val).value().at(0))) << where;
        return;
      case TagRule::kDegrees:
        ASSERT_EQ(ours.size(), 3u) << where;
        EXPECT_TRUE(Near(ours[0] + ours[1] / 60 + ours[2] / 3600, Numbers(val).value().at(0))) << where;
        return;
      case TagRule::kTimeOfDay: {
        ASSERT_EQ(ours.size(), 3u) << where;
        std::string text = val.text;
        std::replace(text.begin(), text.end(), ':', ' ');
        Json asList;
        asList.kind = Json::Kind::kString;
        asList.text = text;
        const auto n = Numbers(asList);
        ASSERT_TRUE(n && n->size() == 3) << where << " " << val.text;
        for (int i = 0; i < 3; ++i)
          EXPECT_TRUE(Near(ours[static_cast<std::size_t>(i)], n->at(static_cast<std::size_t>(i)))) << where;
        return;
      }
      case TagRule::kUtf16Text:
        EXPECT_EQ(e.data, JsonText(val)) << where;
        return;
      case TagRule::kCfaPattern: {
        const auto n = Numbers(val);
        ASSERT_TRUE(n && n->size() >= 2 && e.raw.size() == n->size() + 2) << where;
        EXPECT_EQ(n->at(0) * n->at(1), static_cast<double>(e.raw.size() - 4)) << where;
        for (std::size_t i = 2; i < n->size(); ++i) EXPECT_EQ(e.raw[i + 2], n->at(i)) << where;
        return;
      }
      case TagRule::kSkip:
        return;
    }
  }

  if (e.type == kAscii) {
    const std::string value = AsciiValue(e.raw);
    EXPECT_TRUE(SameTextOrNumber(value, val))
        << where << ": ours \"" << value << "\", exiftool \"" << JsonText(val) << "\"";
    // Display text: padding after the value shows as "." (zero bytes) or spaces, at most 50 characters;
    // dates in the program's date format.
    std::string expected = JsonText(val);
    while (!expected.empty() && expected.back() == ' ') expected.pop_back();
    if (e.tag == 306 || e.tag == 36867 || e.tag == 36868) {
      if (auto d = FormatExifDate(expected, "yyyy-mm-dd hh:nn:ss")) expected = *d;
      for (const auto& dt : kDateTexts)
        if (file_ == dt.file) expected = dt.shown;
    }
    expected = Printable(expected);
    const std::string rest = e.data.substr(std::min(expected.size(), e.data.size()));
    EXPECT_TRUE(e.data.compare(0, expected.size(), expected) == 0 && rest.find_first_not_of(". ") == std::string::npos)
        << where << " display text \"" << e.data << "\", exiftool \"" << expected << "\"";
    return;
  }
  if (e.type == kUndefined) {
    if (e.tag == 0x9286) {
      EXPECT_EQ(img_.exifInfo->GetUserComment(), JsonText(val)) << where;
      EXPECT_EQ(e.data, JsonText(val)) << where << " display text";
      return;
    }
    if (e.tag == 0x0002 || e.tag == 0x9000 || e.tag == 0xA000) {
      EXPECT_EQ(ToUtf8(e.raw), JsonText(val)) << where;
      return;
    }
    const auto n = Numbers(val);
    ASSERT_TRUE(n.has_value()) << where << ": exiftool \"" << JsonText(val) << "\"";
    std::vector<double> bytes(e.raw.begin(), e.raw.end());
    EXPECT_EQ(Join(bytes), Join(*n)) << where;
    return;
  }
  const auto n = Numbers(val);
  ASSERT_TRUE(n.has_value()) << where << ": exiftool \"" << JsonText(val) << "\"";
  ASSERT_EQ(ours.size(), n->size()) << where << ": ours " << Join(ours) << ", exiftool " << Join(*n);
  for (std::size_t i = 0; i < ours.size(); ++i)
    EXPECT_TRUE(Near(ours[i], (*n)[i]) || (std::isinf(ours[i]) && std::isnan((*n)[i])))
        << where << "[" << i << "]: ours " << ours[i] << ", exiftool " << (*n)[i];
  // Plain numeric entries show their numbers: each item of the display text reads back as the value.
  if (e.code.empty() && e.format.empty() && e.formatter == Formatter::kNone && ours.size() <= 6) {
    const auto items = SplitList(e.data);
    ASSERT_EQ(items.size(), ours.size()) << where << " display text \"" << e.data << "\"";
    for (std::size_t i = 0; i < ours.size(); ++i) {
      if (std::isfinite(ours[i])) {
        EXPECT_TRUE(Near(ParseFraction(items[i]), ours[i])) << where << " display text";
      }
    }
  }
}

void SampleCheck::StandardDirectoriesThumbnailAndIptc() {
  const std::string file = file_;
  const bool exifHasIfd0 =
      exif_->findName("IFD0", "Make") ||
      std::any_of(exif_->tags.begin(), exif_->tags.end(), [](const ExifTag& t) { return t.group == "IFD0"; });
  EXPECT_EQ(img_.HasExif(), exifHasIfd0);

  std::set<std::pair<std::string, int>> kept;
  if (img_.exifInfo) {
    std::optional<double> tiffPosition;
    for (const auto& e : img_.exifInfo->entries) {
      if (e.kind != 0) continue;
      kept.insert({GroupOf(e.parentId), e.tag});
      CheckStandardEntry(e, tiffPosition);
    }
    for (const auto& e : img_.exifInfo->thumbEntries) {
      kept.insert({GroupOf(e.parentId), e.tag});
      CheckStandardEntry(e, tiffPosition);
    }
    // Everything exiftool reads from those directories is kept, whether our tables know the tag or
    // not, unless it is listed above.
    for (const auto& t : exif_->tags) {
      if (!t.id || !std::set<std::string>{"IFD0", "ExifIFD", "GPS", "InteropIFD", "IFD1"}.contains(t.group)) continue;
      if (kept.contains({t.group, *t.id})) continue;
      const bool listed = std::any_of(std::begin(kNotKept), std::end(kNotKept), [&](const NotKept& n) {
        return file == n.file && t.group == n.group && *t.id == n.tag;
      });
      EXPECT_TRUE(listed) << t.group << ":" << t.name << " (" << *t.id << ") read by exiftool is not kept";
    }
  }

  // Thumbnail bytes.
  const ExifTag* thumb = exif_->findName("IFD1", "ThumbnailImage");
  if (thumb) {
    ASSERT_EQ(thumb->val->text.rfind("base64:", 0), 0u);
    const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(thumb->val->text.substr(7)));
    const auto ours = img_.ThumbnailAsJpeg();
    ASSERT_TRUE(ours.has_value()) << "no thumbnail";
    EXPECT_TRUE(ours->size() == static_cast<std::size_t>(bytes.size()) &&
                std::equal(ours->begin(), ours->end(), reinterpret_cast<const std::uint8_t*>(bytes.constData())))
        << "thumbnail bytes differ";
  } else {
    EXPECT_FALSE(img_.ThumbnailAsJpeg().has_value()) << "exiftool finds no thumbnail";
  }

  // IPTC: every dataset exiftool reads from APP13, in order, with the same value bytes.
  static const std::set<std::string> kRecord1 = {
      "ModelVersion",      "Destination",      "FileFormat",       "FileVersion", "ServiceIdentifier",
      "EnvelopeNumber",    "ProductID",        "EnvelopePriority", "DateSent",    "TimeSent",
      "CodedCharacterSet", "UniqueObjectName", "ARMIdentifier",    "ARMVersion"};
  std::map<int, std::vector<const TTagEntry*>> ours;
  if (img_.iptcData)
    for (const auto& e : img_.iptcData->Entries()) ours[e.tag].push_back(&e);
  std::set<int> seen;
  for (const auto& t : exif_->tags) {
    if (t.group != kIptcGroup || !t.id) continue;
    const int record = kRecord1.contains(t.name) ? 1 : 2;
    const int key = record * 256 + *t.id;
    seen.insert(key);
    const bool listed = std::any_of(std::begin(kIptcNotKept), std::end(kIptcNotKept),
                                    [&](const auto& n) { return n.record == record && n.dataset == *t.id; });
    if (listed) {
      EXPECT_FALSE(ours.contains(key)) << t.name;
      continue;
    }
    ASSERT_TRUE(ours.contains(key)) << "IPTC " << t.name << " is not kept";
    std::vector<const Json*> values;
    if (t.val->kind == Json::Kind::kArray)
      for (const auto& v : t.val->items) values.push_back(&v);
    else
      values.push_back(t.val);
    const auto& entries = ours[key];
    ASSERT_EQ(entries.size(), values.size()) << "IPTC " << t.name;
    for (std::size_t i = 0; i < values.size(); ++i) {
      const Bytes& raw = entries[i]->raw;
      const Json& v = *values[i];
      if (v.isString() && v.text.rfind("base64:", 0) == 0) {
        const QByteArray b = QByteArray::fromBase64(QByteArray::fromStdString(v.text.substr(7)));
        EXPECT_TRUE(raw.size() == static_cast<std::size_t>(b.size()) &&
                    std::equal(raw.begin(), raw.end(), reinterpret_cast<const std::uint8_t*>(b.constData())))
            << "IPTC " << t.name;
      } else if (v.isNumber() && raw.size() == 2 && entries[i]->type != 2) {
        EXPECT_EQ(raw[0] * 256 + raw[1], v.number) << "IPTC " << t.name;
      } else if (kIptcDateTimes.contains(t.name)) {
        std::string shown = v.text;
        std::erase(shown, ':');
        EXPECT_EQ(ToUtf8(raw), shown) << "IPTC " << t.name;
      } else {
        EXPECT_TRUE(SameTextOrNumber(ToUtf8(raw), v))
            << "IPTC " << t.name << ": ours \"" << ToUtf8(raw) << "\", exiftool \"" << JsonText(v) << "\"";
      }
    }
  }
  for (const auto& [key, list] : ours)
    EXPECT_TRUE(seen.contains(key)) << "IPTC entry " << list.front()->name << " unknown to exiftool";
}

void SampleCheck::MakerNoteEntries() {
  if (!img_.exifInfo) return;
  const std::string make = UpperAscii(img_.exifInfo->GetTagText("Make")).substr(0, 5);
  const bool be = make == "FUJIF" ? false : img_.exifInfo->motorolaOrder;
  static const std::set<std::string> kMakerGroups = {"Canon", "Casio",   "FujiFilm", "Minolta",
                                                     "Nikon", "Olympus", "Sanyo"};
  std::map<std::string, int> occurrences;
  std::optional<double> filePosition;
  int compared = 0;
  for (const auto& e : img_.exifInfo->entries) {
    if (e.kind != 1 || e.parentId == kParentExif) continue;  // the derived 35 mm focal length is no maker entry
    const std::string where = make + " maker note " + e.name;
    if (make == "CANON") {
      const int occurrence = occurrences[e.name]++;
      const CanonField* f = nullptr;
      for (const auto& c : kCanonFields)
        if (e.name == c.ours && c.occurrence == occurrence) f = &c;
      ASSERT_NE(f, nullptr) << where << " is not listed";
      if (f->kind == CanonField::kDesign) continue;
      const ExifTag* t = exif_->findName("Canon", f->exif);
      if (!t) continue;  // exiftool shows some camera-settings items only for some models
      ++compared;
      if (f->kind == CanonField::kText) {
        EXPECT_TRUE(SameTextOrNumber(AsciiValue(e.raw), *t->val)) << where;
        continue;
      }
      if (f->kind == CanonField::kNumber && e.type != kAscii) {
        const auto ours = Components(e, be);
        EXPECT_TRUE(!ours.empty() && Near(ours[0], Numbers(*t->val).value().at(0))) << where;
        continue;
      }
      // A computed field: its text is the map's text (or the number itself).
      const std::string text = ToUtf8(e.raw);
      double value = std::strtod(text.c_str(), nullptr);
      if (f->kind == CanonField::kCode) {
        // The text shown must be the map's text for exiftool's number (SHORTs exiftool reads as signed
        // are taken back modulo 65536).
        const double theirs = Numbers(*t->val).value().at(0);
        const auto number = static_cast<std::int64_t>(theirs < 0 ? theirs + 65536 : theirs);
        EXPECT_EQ(text, LookupCode(f->map, std::to_string(number))) << where << ", exiftool " << theirs;
        continue;
      }
      // Numbers shown as text ("100", "0 EV"): the leading number.
      EXPECT_TRUE(Near(value, Numbers(*t->val).value().at(0))) << where << ": ours " << text;
      continue;
    }
    if (e.parentId != kParentMakerNote) continue;
    const MakerRule* rule = nullptr;
    std::vector<const ExifTag*> candidates;
    for (const auto& tag : exif_->tags)
      if (kMakerGroups.contains(tag.group) && tag.id == e.tag) candidates.push_back(&tag);
    for (const auto& r : kMakerRules)
      if (e.name == r.name && (candidates.empty() || candidates.front()->group == r.group)) rule = &r;
    if (rule && rule->kind == MakerRule::kSkip) continue;
    ASSERT_FALSE(candidates.empty()) << where << " (tag " << e.tag << ") is not in exiftool's maker group";
    ++compared;
    // Sub-directories of a maker note reuse small ids: one candidate of that id must match.
    bool match = false;
    std::string seenText;
    for (const ExifTag* c : candidates) {
      const Json& val = *c->val;
      seenText += " " + c->name + "=" + JsonText(val).substr(0, 40);
      if (rule && rule->kind == MakerRule::kFilePosition) {
        const double delta = Numbers(val).value().at(0) - Components(e, be).at(0);
        if (!filePosition) filePosition = delta;
        match = match || delta == *filePosition;
        continue;
      }
      if (e.type == kAscii || e.type == kUndefined) {
        const auto n = Numbers(val);
        std::vector<double> bytes(e.raw.begin(), e.raw.end());
        match = match || SameTextOrNumber(Trim(AsciiValue(e.raw)), val) || (n && Join(bytes) == Join(*n)) ||
                Trim(JsonText(val)) == Trim(AsciiValue(e.raw));
        continue;
      }
      auto ours = Components(e, be);
      const auto n = Numbers(val);
      if (!n || n->size() != ours.size()) continue;
      bool all = true;
      for (std::size_t i = 0; i < ours.size(); ++i) {
        double v = ours[i];
        if (rule && rule->kind == MakerRule::kSigned16 && v > 32767) v -= 65536;
        all = all && Near(v, (*n)[i]);
      }
      match = match || all;
    }
    EXPECT_TRUE(match) << where << ": ours \"" << e.data << "\", exiftool" << seenText;
  }
  // A maker note the decoder knew yields entries that were compared (the re-saved S330 aside: its
  // maker-note offsets no longer fit, exiftool warns about them too).
  if (img_.exifInfo->makerNoteResult && make != "MINOL" && make != "SANYO" &&
      file_ != "canon_powershot_s330_quicktime.jpg") {
    EXPECT_GT(compared, 0);
  }
}

// One test over all samples, so exiftool runs once.
TEST(ExifToolComparison, EverySample) {
  const auto& et = RunExifTool();
  ASSERT_TRUE(et.error.empty()) << et.error;
  const auto names = SampleNames();
  ASSERT_GE(names.size(), 40u);
  for (const auto& name : names) {
    SCOPED_TRACE(name);
    const auto it = et.files.find(name);
    ASSERT_NE(it, et.files.end()) << "exiftool gave nothing for " << name;
    SampleCheck check(name, it->second);
    check.StandardDirectoriesThumbnailAndIptc();
    check.MakerNoteEntries();
  }
}

}  // namespace
}  // namespace velmora
