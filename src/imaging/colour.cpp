#include "imaging/colour.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <exception>
#include <vector>

#include "base/fileio.h"
#include "imaging/colourfast.h"
#include "metadata/iccprofile.h"

namespace velmora {

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;
// Format_RGB32 in memory: B, G, R, X on little-endian machines, X, R, G, B on big-endian ones.
constexpr cmsUInt32Number kRgb32Format = kLittleEndian ? TYPE_BGRA_8 : TYPE_ARGB_8;
constexpr int kPadByte = kLittleEndian ? 3 : 0;
constexpr int kFirstColourByte = kLittleEndian ? 0 : 1;
constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;
// Without the one-pixel cache a transform is read-only, so the run's workers share it; two
// matrix-shaper profiles take the fast path (colourfast.h), which has none.
constexpr cmsUInt32Number kFlags = cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE;

// How far a profile's colorants (D50 XYZ) and tone curves may stray from sRGB's and still be sRGB:
// the common sRGB profiles (the IEC table profile, the compact ones, LittleCMS's) differ in the fourth
// decimal and by under 0.04 code values along the curve; a gamma 2.2 curve ("sRGB" by the name of some
// camera profiles) is 8.5 code values off in the shadows. Curves are compared as sRGB would encode them.
constexpr double kColorantTolerance = 0.003;
constexpr double kCurveTolerance = 1.0 / 255;

// IEC 61966-2.1's parametric form (LittleCMS type 4): Y = ((aX + b)^g) for X >= d, cX below.
constexpr cmsFloat64Number kSrgbCurve[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};

double srgbEncode(double linear) {
  return linear <= 0.0031308 ? linear * 12.92 : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// LittleCMS's messages are English and would go to stderr from any thread: the user is told in Polish.
void ignoreLcmsError(cmsContext, cmsUInt32Number, const char*) {}

struct ProfileCloser {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

bool curveIsSrgb(const void* tag) {
  const auto* curve = static_cast<const cmsToneCurve*>(tag);
  if (curve == nullptr) return false;
  for (int i = 0; i <= 255; ++i) {
    const double v = i / 255.0;
    if (std::abs(srgbEncode(cmsEvalToneCurveFloat(curve, static_cast<cmsFloat32Number>(v))) - v) > kCurveTolerance)
      return false;
  }
  return true;
}

// Recognised by what it does, not by its name: sRGB's colorants and sRGB's tone curve on every channel.
bool isSrgb(cmsHPROFILE profile, cmsHPROFILE reference) {
  if (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsMatrixShaper(profile)) return false;
  constexpr std::array<cmsTagSignature, 3> kColorants = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                         cmsSigBlueColorantTag};
  for (const cmsTagSignature tag : kColorants) {
    const auto* got = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tag));
    const auto* want = static_cast<const cmsCIEXYZ*>(cmsReadTag(reference, tag));
    if (got == nullptr || want == nullptr) return false;
    if (std::abs(got->X - want->X) > kColorantTolerance || std::abs(got->Y - want->Y) > kColorantTolerance ||
        std::abs(got->Z - want->Z) > kColorantTolerance)
      return false;
  }
  for (const cmsTagSignature tag : {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag})
    if (!curveIsSrgb(cmsReadTag(profile, tag))) return false;
  return true;
}

cmsColorSpaceSignature spaceOf(StoredColour stored) {
  switch (stored) {
    case StoredColour::kGrey:
      return cmsSigGrayData;
    case StoredColour::kCmyk:
    case StoredColour::kInvertedCmyk:
      return cmsSigCmykData;
    case StoredColour::kRgb:
      break;
  }
  return cmsSigRgbData;
}

std::string spaceName(cmsColorSpaceSignature space) {
  switch (space) {
    case cmsSigRgbData:
      return "RGB";
    case cmsSigGrayData:
      return "skali szarości";
    case cmsSigCmykData:
      return "CMYK";
    default:
      break;
  }
  // The signature's four letters, as the profile's header spells them.
  std::string name;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>((static_cast<std::uint32_t>(space) >> shift) & 0xFF);
    name += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return "\"" + name + "\"";
}

const Bytes& defaultCmykProfile() {
  // Read once; what a missing file means is said at each CMYK picture.
  static const Bytes bytes = [] {
    try {
      return readRegularFile(kDefaultCmykProfile, kMaxIccProfileBytes);
    } catch (const std::exception&) {
      return Bytes();
    }
  }();
  return bytes;
}

cmsHPROFILE newSrgbProfile(cmsContext context) {
  cmsHPROFILE profile = cmsCreate_sRGBProfileTHR(context);
  if (profile == nullptr) return nullptr;
  if (cmsMLU* text = cmsMLUalloc(context, 1)) {
    cmsMLUsetASCII(text, "en", "US", ColourConversion::kSrgbName);
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
    cmsMLUfree(text);
  }
  return profile;
}

}  // namespace

struct ColourConversion::Engine {
  cmsContext context = cmsCreateContext(nullptr, nullptr);
  cmsHTRANSFORM transform = nullptr;

  Engine() {
    if (!context) return;
    cmsSetLogErrorHandlerTHR(context, ignoreLcmsError);
    // Without it the RGB profiles take LittleCMS's own 8-bit path: slower, and no more exact.
    addFastMatrixShaper(context);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine() {
    if (transform) cmsDeleteTransform(transform);
    if (context) cmsDeleteContext(context);
  }
};

ColourConversion::ColourConversion(StoredColour stored, ByteView profile, ByteView cmykProfile)
    : stored_(stored), cmyk_(stored == StoredColour::kCmyk || stored == StoredColour::kInvertedCmyk) {
  if (profile.size() == 0) {
    // Untagged RGB and grey pictures are taken as sRGB, as every viewer takes them.
    if (!cmyk_) return;
    profile = cmykProfile.size() ? cmykProfile : ByteView(defaultCmykProfile());
    if (profile.size() == 0) {
      failure_ = std::string("brak profilu CMYK (") + kDefaultCmykProfile + ")";
      return;
    }
  }
  auto engine = std::make_unique<Engine>();
  if (!engine->context) throw std::bad_alloc();
  const Profile source(
      cmsOpenProfileFromMemTHR(engine->context, profile.span().data(), static_cast<cmsUInt32Number>(profile.size())));
  if (!source) {
    failure_ = "profil kolorów ICC jest uszkodzony";
    return;
  }
  const cmsColorSpaceSignature space = cmsGetColorSpace(source.get());
  if (space != spaceOf(stored)) {
    failure_ = "profil kolorów ICC jest dla " + spaceName(space) + ", a zdjęcie jest w " + spaceName(spaceOf(stored));
    return;
  }
  const cmsProfileClassSignature kind = cmsGetDeviceClass(source.get());
  if ((kind != cmsSigInputClass && kind != cmsSigDisplayClass && kind != cmsSigOutputClass &&
       kind != cmsSigColorSpaceClass) ||
      !cmsIsIntentSupported(source.get(), kIntent, LCMS_USED_AS_INPUT)) {
    failure_ = "profil kolorów ICC nie opisuje kolorów zdjęcia";
    return;
  }
  const Profile srgb(cmsCreate_sRGBProfileTHR(engine->context));
  if (!srgb) throw std::bad_alloc();
  if (stored == StoredColour::kRgb && isSrgb(source.get(), srgb.get())) return;

  cmsUInt32Number input = kRgb32Format;
  cmsUInt32Number output = kRgb32Format;
  Profile target;
  if (stored == StoredColour::kGrey) {
    if (curveIsSrgb(cmsReadTag(source.get(), cmsSigGrayTRCTag))) return;
    // Into sRGB's grey axis: a grey profile with sRGB's curve, one byte copied to all three channels.
    cmsToneCurve* curve = cmsBuildParametricToneCurve(engine->context, 4, kSrgbCurve);
    if (curve == nullptr) throw std::bad_alloc();
    target.reset(cmsCreateGrayProfileTHR(engine->context, cmsD50_xyY(), curve));
    cmsFreeToneCurve(curve);
    input = output = TYPE_GRAY_8;
  } else if (cmyk_) {
    input = stored == StoredColour::kInvertedCmyk ? TYPE_CMYK_8_REV : TYPE_CMYK_8;
  }
  engine->transform = cmsCreateTransformTHR(engine->context, source.get(), input, target ? target.get() : srgb.get(),
                                            output, kIntent, kFlags);
  if (engine->transform == nullptr) {
    failure_ = "profilu kolorów ICC nie da się użyć do konwersji";
    return;
  }
  engine_ = std::move(engine);
}

ColourConversion::~ColourConversion() = default;

void ColourConversion::Apply(QImage& picture) const {
  if (!engine_ || picture.isNull()) return;
  const int width = picture.width();
  const int height = picture.height();
  const qsizetype stride = picture.bytesPerLine();
  std::uint8_t* bits = picture.bits();
  if (stored_ == StoredColour::kGrey) {
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = bits + y * stride;
      for (int x = 0; x < width; ++x) grey[static_cast<std::size_t>(x)] = row[4 * x + kFirstColourByte];
      cmsDoTransform(engine_->transform, grey.data(), grey.data(), static_cast<cmsUInt32Number>(width));
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c) row[4 * x + kFirstColourByte + c] = grey[static_cast<std::size_t>(x)];
    }
    return;
  }
  // In place: LittleCMS reads each pixel before it writes it, and leaves the fourth byte alone.
  cmsDoTransformLineStride(engine_->transform, bits, bits, static_cast<cmsUInt32Number>(width),
                           static_cast<cmsUInt32Number>(height), static_cast<cmsUInt32Number>(stride),
                           static_cast<cmsUInt32Number>(stride), 0, 0);
  if (!cmyk_) return;
  // The fourth byte still holds the black ink.
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = bits + y * stride;
    for (int x = 0; x < width; ++x) row[4 * x + kPadByte] = 0xFF;
  }
}

std::shared_ptr<const ColourConversion> ColourConversions::For(StoredColour stored, ByteView profile) {
  std::pair<StoredColour, Bytes> key(stored, Bytes(profile.span().begin(), profile.span().end()));
  // Made under the lock: two workers meeting a new profile at once make it once.
  const std::lock_guard lock(mutex_);
  std::shared_ptr<const ColourConversion>& made = made_[std::move(key)];
  if (!made) made = std::make_shared<const ColourConversion>(stored, profile);
  return made;
}

const Bytes& ColourConversion::SrgbProfile() {
  static const Bytes bytes = [] {
    Bytes out;
    cmsContext context = cmsCreateContext(nullptr, nullptr);
    if (context == nullptr) return out;
    if (const Profile profile{newSrgbProfile(context)}) {
      cmsUInt32Number size = 0;
      if (cmsSaveProfileToMem(profile.get(), nullptr, &size) && size > 0) {
        out.resize(size);
        if (!cmsSaveProfileToMem(profile.get(), out.data(), &size)) out.clear();
      }
      // LittleCMS dates the header now; a fixed date keeps every output of a source the same bytes.
      constexpr std::size_t kDateAt = 24;
      constexpr std::uint8_t kDate[12] = {0x07, 0xE7, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2023-01-01 00:00:00
      if (out.size() >= kDateAt + sizeof kDate) std::copy_n(kDate, sizeof kDate, out.begin() + kDateAt);
    }
    cmsDeleteContext(context);
    return out;
  }();
  return bytes;
}

}  // namespace velmora
