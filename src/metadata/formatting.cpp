#include "metadata/formatting.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/textcodec.h"

namespace velmora {

namespace {

// Splits "%[flags][width][.prec]X" at its first directive; returns false when there is none.
struct Directive {
  std::size_t begin = 0, end = 0;
  int width = 0, precision = -1;
  char conv = 0;
};

bool FindDirective(std::string_view fmt, Directive& d) {
  for (std::size_t i = 0; i + 1 < fmt.size(); ++i) {
    if (fmt[i] != '%') continue;
    std::size_t j = i + 1;
    while (j < fmt.size() && (fmt[j] == '-' || fmt[j] == '0')) ++j;
    int width = 0;
    while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9' && width < 100) width = width * 10 + (fmt[j++] - '0');
    int precision = -1;
    if (j < fmt.size() && fmt[j] == '.') {
      ++j;
      precision = 0;
      while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9' && precision < 100)
        precision = precision * 10 + (fmt[j++] - '0');
    }
    if (j < fmt.size() && (fmt[j] == 's' || fmt[j] == 'd' || fmt[j] == 'f')) {
      d = {i, j + 1, width, precision, fmt[j]};
      return true;
    }
  }
  return false;
}

std::string Pad(std::string s, int width) {
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
  return s;
}

}  // namespace

std::string FormatWithString(std::string_view fmt, std::string_view value) {
  Directive d;
  if (!FindDirective(fmt, d)) return std::string(fmt);
  std::string v(value);
  if (d.conv == 's' && d.precision >= 0 && static_cast<std::size_t>(d.precision) < v.size()) v.resize(d.precision);
  return std::string(fmt.substr(0, d.begin)) + Pad(v, d.width) + std::string(fmt.substr(d.end));
}

std::string FormatWithNumber(std::string_view fmt, double value) {
  Directive d;
  if (!FindDirective(fmt, d)) return std::string(fmt);
  std::string v;
  if (!std::isfinite(value)) {  // NaN and infinities as text, never through an integer
    v = std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
  } else if (d.conv == 'd') {
    v = std::to_string(static_cast<long long>(std::llround(std::fmax(std::fmin(value, 9.2e18), -9.2e18))));
  } else if (d.conv == 's') {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", value);
    v = buf;
  } else {
    const int precision = d.precision < 0 ? 2 : std::min(d.precision, 18);
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", precision, value);
    v = buf;
  }
  return std::string(fmt.substr(0, d.begin)) + Pad(v, d.width) + std::string(fmt.substr(d.end));
}

int FormatSize(int format) {
  switch (format) {
    case kByte:
    case kAscii:
    case kSByte:
    case kUndefined:
      return 1;
    case kShort:
    case kSShort:
      return 2;
    case kLong:
    case kSLong:
    case kFloat:
      return 4;
    case kRational:
    case kSRational:
    case kDouble:
      return 8;
    default:
      return 0;
  }
}

namespace {

std::optional<std::int64_t> IntegerComponent(ByteView b, std::size_t at, int format, bool be) {
  switch (format) {
    case kByte:
    case kUndefined:
      if (auto v = b.u8(at)) return *v;
      return std::nullopt;
    case kSByte:
      if (auto v = b.u8(at)) return static_cast<std::int8_t>(*v);
      return std::nullopt;
    case kShort:
      if (auto v = b.u16(at, be)) return *v;
      return std::nullopt;
    case kSShort:
      if (auto v = b.u16(at, be)) return static_cast<std::int16_t>(*v);
      return std::nullopt;
    case kLong:
      if (auto v = b.u32(at, be)) return *v;
      return std::nullopt;
    case kSLong:
      if (auto v = b.u32(at, be)) return static_cast<std::int32_t>(*v);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// Numerator and denominator of a rational component, signed only for SRATIONAL.
std::optional<std::pair<std::int64_t, std::int64_t>> RationalParts(ByteView b, std::size_t at, int format, bool be) {
  const auto n = b.u32(at, be), d = b.u32(at + 4, be);
  if (!n || !d || at > SIZE_MAX - 4) return std::nullopt;
  if (format == kSRational)
    return std::pair<std::int64_t, std::int64_t>{static_cast<std::int32_t>(*n), static_cast<std::int32_t>(*d)};
  return std::pair<std::int64_t, std::int64_t>{*n, *d};
}

std::string FractionText(std::int64_t num, std::int64_t den) {
  if (num == 0) return "0";
  if (den == 1) return std::to_string(num);
  if (num == den) return "1";
  return std::to_string(num) + "/" + std::to_string(den);
}

// The shortest text that reads back as the same value, in the value's own precision.
template <typename T>
std::string Shortest(T v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

bool ParseInt(std::string_view s, std::int64_t& out) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && !s.empty();
}

std::string Join(const std::vector<std::string>& items, std::string_view sep) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += sep;
    out += items[i];
  }
  return out;
}

struct CanonField {
  int k;
  const char* name;
  const char* map;  // empty: no map
};

constexpr CanonField kCanonExposureInfo1[] = {
    {1, "Macro mode", "1:Macro,2:Normal"},
    {2, "Self Timer", ""},
    {3, "Compression Rate", "0:SuperFine,1:Fine,2:Normal,3:Basic,5:SuperFine"},
    {4, "Flash Mode", "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,16:External flash"},
    {5, "Drive Mode", "0:Single,1:Continuous"},
    {7, "Focus Mode", "0:One-Shot,1:AI Servo,2:AI Focus,3:MF,4:Single,5:Continuous,6:MF"},
    {10, "Image Size", "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
    {11, "Easy Shoot",
     "0:Full Auto,1:Manual,2:Landscape,3:Fast Shutter,4:Slow Shutter,5:Night,6:B&W,7:Sepia,8:Portrait,9:Sports,"
     "10:Macro/Close-Up,11:Pan Focus"},
    {13, "Contrast", "65535:Low,0:Normal,1:High"},
    {14, "Saturation", "65535:Low,0:Normal,1:High"},
    {15, "Sharpness", "65535:Low,0:Normal,1:High"},
    {16, "CCD ISO", "0:Not used,15:auto,16:50,17:100,18:200,19:400"},
    {17, "Metering Mode", "3:Evaluative,4:Partial,5:Center-weighted"},
    {19, "AF Point", "12288:None (MF),12289:Auto-selected,12290:Right,12291:Center,12292:Left"},
    {20, "Exposure Mode", "0:Easy shooting,1:Program,2:Tv-priority,3:Av-priority,4:Manual,5:A-DEP"},
    {24, "Long focal", ""},
    {25, "Short focal", ""},
    {26, "Focal Units", ""},
    {29, "Flash Details", ""},
    {32, "Focus Mode", "0:Single,1:Continuous"},
};

constexpr CanonField kCanonExposureInfo2[] = {
    {7, "White balance", "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
    {9, "Sequence Number", ""},
    {11, "OpticalZoom Step", ""},
    {14, "AF point", ""},
    {15, "Flash bias",
     "65472:-2 EV,65484:-1.67 EV,65488:-1.50 EV,65492:-1.33 EV,65504:-1 EV,65516:-0.67 EV,65520:-0.50 EV,"
     "65524:-0.33 EV,0:0 EV,12:0.33 EV,16:0.50 EV,20:0.67 EV,32:1 EV,44:1.33 EV,48:1.50 EV,52:1.67 EV,64:2 EV"},
    {19, "Distance", ""},
};

constexpr CanonField kCanonCustomFunctions[] = {
    {1, "Noise Reduction", "0: Off,1: On"},
    {2, "Shutter AE Lock Button", "0:AF/AE lock,1:AE lock/AF,2:AF/AF lock,3:AE+release/AE+AF"},
    {3, "Mirror Lockup", "0:Disable,1:Enable"},
    {4, "Exposure Level", "0:1/2 stop,1:1/3 stop"},
    {5, "AF Assist", "0:On (auto),1:Off"},
    {6, "AV Shutter Speed", "0:Automatic,1: 1/200 (fixed)"},
    {7, "AEB Sequence", "0:0, -, + / Enabled1: 0, -, + / Disabled,2: -, 0, + / Enabled,3: -, 0, + / Disabled"},
    {8, "Shutter Sync", "0:1st-curtain sync,1: 2nd-curtain sync"},
    {9, "Lens AF Button", "0:AF stop,1:Operate AF,2:Lock AE and start timer"},
    {10, "Fill Flash Reduction", "0:Enable,1:Disable"},
    {11, "Menu Return", "0:Top,1:Previous (volatile),2:Previous"},
    {12, "Set Button", "0:Not assigned,1:Change quality,2:Change ISO speed,3:Select parameters"},
    {13, "Sensor Cleaning", "0:Disable,1:Enable"},
    {14, "Superimposed Display", "0: On,1: Off"},
    {15, "Shutter Release w/o CF Card", "0:Enable,1:Disable"},
};

void AddField(std::string& result, std::vector<ComputedField>* fields, const char* name, const std::string& text) {
  if (text.empty()) return;
  result += "\n";
  result += name;
  result += " = ";
  result += text;
  if (fields) fields->push_back({name, text});
}

// A field with a map takes item k counting from 0, one without a map item k counting from 1.
template <std::size_t N>
std::string CanonFields(const CanonField (&table)[N], std::string_view text, std::vector<ComputedField>* fields) {
  const auto items = SplitList(text);
  std::string result;
  for (const auto& f : table) {
    const bool hasMap = f.map[0] != '\0';
    const std::size_t index = hasMap ? static_cast<std::size_t>(f.k) : static_cast<std::size_t>(f.k - 1);
    if (index >= items.size()) continue;
    AddField(result, fields, f.name, hasMap ? LookupCode(f.map, items[index]) : items[index]);
  }
  return result;
}

std::string CanonCustom(std::string_view text, std::vector<ComputedField>* fields) {
  auto items = SplitList(text);
  std::string result;
  if (items.empty()) return result;
  items.pop_back();
  for (const auto& item : items) {
    std::int64_t c;
    if (!ParseInt(item, c) || c > 4095 || c / 256 == 0) continue;
    const std::int64_t fn = c / 256;
    const std::int64_t value = c % 256;
    for (const auto& f : kCanonCustomFunctions)
      if (f.k == fn) AddField(result, fields, f.name, LookupCode(f.map, std::to_string(value)));
  }
  return result;
}

std::string GpsCoordinate(std::string_view text) {
  const auto items = SplitList(text);
  double v[3] = {0, 0, 0};
  for (std::size_t i = 0; i < 3 && i < items.size(); ++i) v[i] = ParseFraction(items[i]);
  double d = v[0], m = v[1], s = v[2];
  if (s == 0) {
    const double whole = std::trunc(m);
    s = (m - whole) * 100 * 0.6;
    m = whole;
  }
  return FormatWithNumber("%0.0f", d) + "\xC2\xB0 " + FormatWithNumber("%0.0f", m) + "' " +
         FormatWithNumber("%0.2f", s) + "\"";
}

std::string Flash(std::string_view text) {
  const std::string t = Trim(text);
  if (t.empty() || t == "0") return "Unknown";
  std::int64_t v = 0;
  if (!ParseInt(t, v)) v = 0;
  std::string out = (v & 1) ? "On" : "Off";
  switch (v & 6) {
    case 2:
      out += ", UNKNOWN";
      break;
    case 4:
      out += ", no strobe return";
      break;
    case 6:
      out += ", strobe return";
      break;
  }
  switch (v & 24) {
    case 8:
      out += ", forced";
      break;
    case 16:
      out += ", surpressed";
      break;
    case 24:
      out += ", auto mode";
      break;
  }
  if (v & 32) out += ", no flash function";
  if (v & 64) out += ", red-eye reduction";
  return out;
}

std::string ShutterSpeed(std::string_view text) {
  const double v = ParseFraction(text);
  const double t = 1 / std::pow(2.0, v);
  std::string out = FormatWithNumber("%4.4f sec", t);
  if (t <= 0.5) out += FormatWithNumber(" (1/%d)", 1 / t);
  return out;
}

}  // namespace

std::vector<std::string> SplitList(std::string_view text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto comma = text.find(',', start);
    const auto end = comma == std::string_view::npos ? text.size() : comma;
    items.push_back(Trim(text.substr(start, end - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

double ComponentAsFloat(ByteView bytes, std::size_t index, int format, bool bigEndian) {
  const int size = FormatSize(format);
  if (size == 0 || format == kAscii || format == kUndefined) return 0;
  if (index > SIZE_MAX / static_cast<std::size_t>(size)) return 0;
  const std::size_t at = index * static_cast<std::size_t>(size);
  if (!bytes.has(at, static_cast<std::size_t>(size))) return 0;
  if (format == kRational || format == kSRational) {
    const auto parts = RationalParts(bytes, at, format, bigEndian);
    if (!parts || parts->second == 0) return 0;
    return static_cast<double>(parts->first) / static_cast<double>(parts->second);
  }
  if (format == kFloat) return std::bit_cast<float>(*bytes.u32(at, bigEndian));
  if (format == kDouble) {
    const std::uint64_t a = *bytes.u32(at, bigEndian), b = *bytes.u32(at + 4, bigEndian);
    return std::bit_cast<double>(bigEndian ? (a << 32 | b) : (b << 32 | a));
  }
  const auto v = IntegerComponent(bytes, at, format, bigEndian);
  return v ? static_cast<double>(*v) : 0;
}

double ValueAsFloat(ByteView bytes, int format, bool bigEndian) {
  return ComponentAsFloat(bytes, 0, format, bigEndian);
}

std::string FormatNumbers(ByteView bytes, std::uint32_t count, int format, const NumberStyle& style, bool bigEndian) {
  const std::string_view code = style.code, fmt = style.fmt;
  const bool decodeValues = style.decodeValues;
  const int size = FormatSize(format);
  if (size == 0) return "";
  std::vector<std::string> items;
  const std::size_t shown = std::min<std::size_t>(count, kMaxShownComponents);
  for (std::size_t i = 0; i < shown; ++i) {
    const std::size_t at = i * static_cast<std::size_t>(size);
    if (!bytes.has(at, static_cast<std::size_t>(size))) break;
    std::string item;
    if (format == kAscii) {
      item = "?";
    } else if (format == kRational || format == kSRational) {
      const auto [num, den] =
          RationalParts(bytes, at, format, bigEndian).value_or(std::pair<std::int64_t, std::int64_t>{});
      item = FractionText(num, den);
      if (!code.empty()) item += LookupCode(code, item);
    } else if (format == kUndefined) {
      if (count == 1) {
        item = std::to_string(*bytes.u8(at));
        if (!code.empty() && decodeValues) item = LookupCode(code, item);
      } else {
        item = "?";
      }
    } else if (format == kFloat || format == kDouble) {
      const double v = ComponentAsFloat(bytes, i, format, bigEndian);
      item = format == kFloat ? Shortest(static_cast<float>(v)) : Shortest(v);
    } else {
      item = std::to_string(*IntegerComponent(bytes, at, format, bigEndian));
      if (!code.empty() && decodeValues) item = LookupCode(code, item);
    }
    items.push_back(std::move(item));
  }
  std::string text = Join(items, ", ");
  if (!fmt.empty()) {
    if (fmt.find("%s") != std::string_view::npos)
      text = FormatWithString(fmt, text);
    else
      text = FormatWithNumber(fmt, ValueAsFloat(bytes, format, bigEndian));
  }
  return text;
}

std::string LookupCode(std::string_view map, std::string_view valueText) {
  const std::string hay = "," + std::string(map) + ",";
  const std::string needle = "," + Trim(valueText) + ":";
  const auto at = hay.find(needle);
  if (at == std::string::npos) return "";
  const auto from = at + needle.size();
  const auto to = hay.find(',', from);
  return hay.substr(from, to - from);
}

std::optional<std::int64_t> ReverseLookupCode(std::string_view map, std::string_view text) {
  for (const auto& item : SplitList(map)) {
    const auto colon = item.find(':');
    if (colon == std::string::npos || item.substr(colon + 1) != text) continue;
    std::int64_t v;
    if (ParseInt(item.substr(0, colon), v)) return v;
  }
  return std::nullopt;
}

double ParseFraction(std::string_view text) {
  const std::string t = Trim(text);
  std::string_view rest = t;
  double whole = 0;
  const auto space = t.find(' ');
  if (space != std::string::npos) {
    std::int64_t w;
    if (!ParseInt(rest.substr(0, space), w)) return 0;
    whole = static_cast<double>(w);
    rest = rest.substr(space + 1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  }
  const auto slash = rest.find('/');
  if (slash != std::string_view::npos) {
    std::int64_t a, b;
    if (!ParseInt(rest.substr(0, slash), a) || !ParseInt(rest.substr(slash + 1), b)) return 0;
    return b != 0 ? whole + static_cast<double>(a) / static_cast<double>(b) : whole;
  }
  if (rest.empty()) return whole;
  double v = 0;
  const auto r = std::from_chars(rest.data(), rest.data() + rest.size(), v);
  if (r.ec != std::errc() || r.ptr != rest.data() + rest.size()) return 0;
  return whole + v;
}

std::optional<std::string> FormatExifDate(std::string_view text, std::string_view dateFormat) {
  if (text.size() <= 18) return std::nullopt;
  auto num = [&](std::size_t pos, std::size_t len, int& out) {
    std::int64_t v;
    if (!ParseInt(text.substr(pos, len), v) || text[pos] == '+' || text[pos] == '-') return false;
    out = static_cast<int>(v);
    return true;
  };
  int y, mo, d, h, mi, s;
  if (!num(0, 4, y) || !num(5, 2, mo) || !num(8, 2, d) || !num(11, 2, h) || !num(14, 2, mi) || !num(17, 2, s))
    return std::nullopt;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] + (mo == 2 && leap ? 1 : 0)) return std::nullopt;
  if (h > 23 || mi > 59 || s > 59) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < dateFormat.size();) {
    const char c = dateFormat[i];
    std::size_t run = 1;
    while (i + run < dateFormat.size() && dateFormat[i + run] == c) ++run;
    auto put = [&](int v, std::size_t minDigits) {
      std::string digits = std::to_string(v);
      if (digits.size() < minDigits) digits.insert(0, minDigits - digits.size(), '0');
      out += digits;
    };
    switch (c) {
      case 'y':
        if (run >= 3)
          put(y, 4);
        else
          put(y % 100, 2);
        break;
      case 'm':
        put(mo, run >= 2 ? 2 : 1);
        break;
      case 'd':
        put(d, run >= 2 ? 2 : 1);
        break;
      case 'h':
        put(h, run >= 2 ? 2 : 1);
        break;
      case 'n':
        put(mi, run >= 2 ? 2 : 1);
        break;
      case 's':
        put(s, run >= 2 ? 2 : 1);
        break;
      default:
        out.append(run, c);
    }
    i += run;
  }
  return out;
}

std::string ApplyFormatter(Formatter f, const FormatterInput& in, std::vector<ComputedField>* fields) {
  const std::string_view text = in.text;
  switch (f) {
    case Formatter::kNone:
    case Formatter::kVersion:
      return std::string(text);
    case Formatter::kComponentsConfiguration: {
      static constexpr const char* kNames[] = {"", "Y", "Cb", "Cr", "R", "G", "B"};
      std::string out;
      for (std::size_t i = 0; i < 4 && i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 1 && c <= 6) out += kNames[c];
      }
      return out;
    }
    case Formatter::kShutterSpeed:
      return ShutterSpeed(text);
    case Formatter::kFlash:
      return Flash(text);
    case Formatter::kXpText:
      // Windows "XP" tags hold UTF-16LE text whatever the block's byte order.
      return Utf16ToUtf8(in.raw.span(), false);
    case Formatter::kGpsVersion: {
      std::string out;
      for (const char c : text)
        if (c != ' ') out += c == ',' ? '.' : c;
      return out;
    }
    case Formatter::kGpsCoordinate:
      return GpsCoordinate(text);
    case Formatter::kGpsAltitude:
      return FormatWithNumber("%1.2f m", ParseFraction(text));
    case Formatter::kGpsTimeStamp: {
      const auto items = SplitList(text);
      std::string out;
      for (std::size_t i = 0; i < 3; ++i) {
        if (i) out += ":";
        out += FormatWithNumber("%.0f", i < items.size() ? ParseFraction(items[i]) : 0.0);
      }
      return out;
    }
    case Formatter::kNikonColorMode: {
      const std::string mode(text.substr(std::min<std::size_t>(1, text.size()), 5));
      if (mode == "MODE1") return "Mode1 (sRGB)";
      if (mode == "MODE2") return "Mode 2 (Adobe RGB)";
      if (mode == "MODE3") return "Mode 3 (sRGB): higher saturation";
      return mode;
    }
    case Formatter::kNikonLens: {
      const auto items = SplitList(text);
      double v[4] = {0, 0, 0, 0};
      for (std::size_t i = 0; i < 4 && i < items.size(); ++i) v[i] = ParseFraction(items[i]);
      return FormatWithNumber("%0.1f", v[0]) + "-" + FormatWithNumber("%0.1f", v[1]) + " mm  F" +
             FormatWithNumber("%0.1f", v[2]) + "-F" + FormatWithNumber("%0.1f", v[3]);
    }
    case Formatter::kCanonExposureInfo1:
      return CanonFields(kCanonExposureInfo1, text, fields);
    case Formatter::kCanonExposureInfo2:
      return CanonFields(kCanonExposureInfo2, text, fields);
    case Formatter::kCanonCustomFunctions:
      return CanonCustom(text, fields);
  }
  return std::string(text);
}

std::string Message(std::string_view pattern, std::initializer_list<std::string> args) {
  std::string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && arg != args.end()) {
      for (const std::string_view d : {"%s", "%d", "%.4x"}) {
        if (pattern.substr(i, d.size()) == d) {
          out += *arg++;
          i += d.size() - 1;
          goto next;
        }
      }
    }
    out += pattern[i];
  next:;
  }
  return out;
}

std::string Hex4(unsigned v, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = digits[v & 15];
  return s;
}

double ScalarAsDouble(const TagScalar& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&v)) return *d;
  return ParseFraction(std::get<std::string>(v));
}

// Rounds to an integer; values outside the 64-bit range (and NaN, as 0) are clamped first.

}  // namespace velmora
