#pragma once

// The colour step: a picture whose source is tagged with a colour profile other than sRGB (Adobe RGB,
// Display P3, ProPhoto ...), a CMYK picture and a profiled grey one become sRGB, so they look the same
// where profiles are stripped. LittleCMS does the arithmetic: relative colorimetric intent with black
// point compensation, into its built-in sRGB. An sRGB or untagged RGB picture is left alone, byte for
// byte. Runs on the scaled picture, before the caption, so the caption keeps the user's exact colours.
//
// A ColourConversion holds its own LittleCMS context and transform and keeps no state between calls
// (the engine's one-pixel cache is off), so one object may convert pictures on several threads at once.

#include <QImage>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "base/bytes.h"
#include "imaging/jpegcodec.h"

namespace velmora {

// The CMYK profile a CMYK picture without one is read through: Ghostscript's SWOP profile from Debian's
// libgs-common.
inline constexpr const char* kDefaultCmykProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

class ColourConversion {
 public:
  // Plans the conversion of a picture stored as `stored` and tagged with `profile` (empty: untagged).
  // cmykProfile stands in for a CMYK picture's missing profile (empty: kDefaultCmykProfile's bytes).
  ColourConversion(StoredColour stored, ByteView profile, ByteView cmykProfile = {});
  ~ColourConversion();
  ColourConversion(const ColourConversion&) = delete;
  ColourConversion& operator=(const ColourConversion&) = delete;

  // The picture's pixels change.
  bool Converts() const { return engine_ != nullptr; }
  // The decoder must hand out a CMYK picture's stored inks (decodeJpegScaled's storedInks).
  bool NeedsStoredInks() const { return Converts() && cmyk_; }
  // Why a picture that asked for a conversion goes without one (a profile LittleCMS cannot open or
  // that cannot describe the picture's colours), for the note "zapisano bez konwersji kolorów: CAUSE";
  // empty when it converts or needs nothing.
  const std::string& Failure() const { return failure_; }

  // Converts the decoded picture (Format_RGB32; with NeedsStoredInks, the stored inks) to sRGB in place.
  // Nothing when !Converts().
  void Apply(QImage& picture) const;

  // The compact sRGB profile a converted picture is tagged with (described as "sRGB IEC61966-2.1").
  static const Bytes& SrgbProfile();
  static constexpr const char* kSrgbName = "sRGB IEC61966-2.1";

 private:
  struct Engine;  // the LittleCMS context and transform; null: nothing to convert
  std::unique_ptr<Engine> engine_;
  StoredColour stored_ = StoredColour::kRgb;
  bool cmyk_ = false;
  std::string failure_;
};

// The conversions of one run, one for each distinct profile and way of storing the colours, made when
// a picture first needs it and then shared by the run's workers: making one costs LittleCMS about a
// fifth of converting a 1280-pixel picture. Safe to call from several threads.
class ColourConversions {
 public:
  std::shared_ptr<const ColourConversion> For(StoredColour stored, ByteView profile);

 private:
  std::mutex mutex_;
  std::map<std::pair<StoredColour, Bytes>, std::shared_ptr<const ColourConversion>> made_;
};

}  // namespace velmora
