#include "imaging/batchrules.h"

#include <cmath>
#include <cstdio>

#include "imaging/imagingerror.h"
#include "imaging/sourceformat.h"

namespace velmora {

namespace {

// Rounds to nearest, ties to even, whatever the floating-point environment's rounding mode.
long double roundHalfEven(long double v) {
  const long double down = std::floor(v);
  const long double diff = v - down;
  if (diff > 0.5L) return down + 1;
  if (diff < 0.5L) return down;
  return std::fmod(down, 2.0L) == 0 ? down : down + 1;
}

int scaledSide(int limit, int longer, int shorter) {
  const long double side = roundHalfEven(static_cast<long double>(limit) / longer * shorter);
  // A very long, thin picture would otherwise get a side of 0 pixels and no picture at all.
  return side < 1 ? 1 : static_cast<int>(side);
}

}  // namespace

ScalePlan applySizeRule(int width, int height, int limit, bool enlarge) {
  if (limit < 1)
    throw ImagingError("Maksymalny rozmiar musi być większy od zera (podano " + std::to_string(limit) + ")");
  ScalePlan plan{ScaleAction::Keep, width, height};
  if (width > limit || height > limit) {
    plan.action = ScaleAction::Reduce;
  } else if (enlarge && width < limit && height < limit) {
    plan.action = ScaleAction::Enlarge;
  } else {
    return plan;
  }
  if (width < height) {
    plan.height = limit;
    plan.width = scaledSide(limit, height, width);
  } else {
    plan.width = limit;
    plan.height = scaledSide(limit, width, height);
  }
  return plan;
}

std::string affixFault(std::string_view affix) {
  if (affix.find('/') != std::string_view::npos) return "nie może zawierać znaku \"/\"";
  if (affix.find('\0') != std::string_view::npos) return "nie może zawierać znaku NUL";
  return {};
}

std::string outputName(std::string_view name, NameMode mode, std::string_view affix, OutputFormat format) {
  if (name.empty() || name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    throw ImagingError("Nieprawidłowa nazwa pliku: \"" + std::string(name) + "\"");
  }
  if (const std::string fault = affixFault(affix); !fault.empty()) {
    throw ImagingError((mode == NameMode::Prefix ? "Prefiks " : "Sufiks ") + fault);
  }
  std::string out;
  if (mode == NameMode::Prefix) {
    out = std::string(affix) + std::string(name);
  } else {
    // Bytes, not characters: a name that is not UTF-8 keeps every byte, so two such names never meet.
    const std::size_t dot = name.rfind('.');
    const std::size_t ext = dot == std::string_view::npos ? name.size() : dot;
    out = std::string(name.substr(0, ext)) + std::string(affix) + std::string(name.substr(ext));
  }
  // The extension names what is written: a JPEG from a JPEG keeps the source's.
  const auto source = formatOfName(name);
  if (format != OutputFormat::kJpeg || (source && *source != PictureFormat::kJpeg)) {
    const std::size_t dot = out.rfind('.');
    out = out.substr(0, dot == std::string::npos ? out.size() : dot) + std::string(outputFormatExtension(format));
  }
  // Joined to the folder, these name the folder itself or its parent, not a file.
  if (out == "." || out == "..") throw ImagingError("Nieprawidłowa nazwa pliku wynikowego: \"" + out + "\"");
  return out;
}

std::filesystem::path outputFolder(const std::filesystem::path& destFolder, std::string_view name) {
  std::filesystem::path folder = destFolder;
  const std::size_t last = name.rfind('/');
  if (last == std::string_view::npos) return folder;
  // A hostile list must not reach out of the destination ("../x", "/etc/x") nor name it twice ("a//b").
  for (std::size_t from = 0; from <= last;) {
    const std::size_t to = name.find('/', from);
    const std::string_view part = name.substr(from, to - from);
    if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string_view::npos)
      throw ImagingError("Nieprawidłowa nazwa pliku: \"" + std::string(name) + "\"");
    folder /= std::string(part);
    from = to + 1;
  }
  return folder;
}

std::filesystem::path outputPath(const std::filesystem::path& destFolder, std::string_view name, NameMode mode,
                                 std::string_view affix, OutputFormat format) {
  const std::size_t last = name.rfind('/');
  const std::string_view file = last == std::string_view::npos ? name : name.substr(last + 1);
  return outputFolder(destFolder, name) / outputName(file, mode, affix, format);
}

namespace {

// The strftime conversions a {data:...} may use: each gives digits only, so the name's length and
// bytes never depend on the locale.
constexpr std::string_view kDateConversions = "YymdHMSj%";

std::string dateFormatFault(std::string_view format) {
  if (format.empty()) return "pusty format daty w polu {data:}";
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (i + 1 == format.size() || kDateConversions.find(format[i + 1]) == std::string_view::npos)
      return "nieznany format daty w polu {data:" + std::string(format) + "} (dozwolone %Y %y %m %d %H %M %S %j)";
    ++i;
  }
  return {};
}

struct Parsed {
  NameTemplate pattern;
  std::string fault;
};

Parsed parse(std::string_view text) {
  Parsed out;
  const auto fail = [&out](std::string fault) {
    out.fault = "Szablon nazwy: " + std::move(fault);
    return out;
  };
  if (text.empty()) return fail("podaj szablon");
  if (text.find('\0') != std::string_view::npos) return fail(affixFault(text));
  bool unique = false;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('{', at);
    if (open != at) {
      const std::size_t end = open == std::string_view::npos ? text.size() : open;
      // A "/" of the template's own text would name a folder; one a date format gives becomes "_".
      if (const std::string fault = affixFault(text.substr(at, end - at)); !fault.empty()) return fail(fault);
      out.pattern.pieces.push_back({NameTemplate::Kind::Text, std::string(text.substr(at, end - at)), 0});
      at = end;
      continue;
    }
    const std::size_t close = text.find('}', open);
    if (close == std::string_view::npos) return fail("niezamknięte pole \"" + std::string(text.substr(open)) + "\"");
    const std::string_view field = text.substr(open + 1, close - open - 1);
    const std::size_t colon = field.find(':');
    const std::string_view key = field.substr(0, colon);
    const std::optional<std::string_view> arg =
        colon == std::string_view::npos ? std::nullopt : std::optional(field.substr(colon + 1));
    NameTemplate::Piece piece;
    if (key == "nazwa" && !arg) {
      piece.kind = NameTemplate::Kind::Name;
      unique = true;
    } else if (key == "nr") {
      piece.kind = NameTemplate::Kind::Number;
      unique = true;
      if (arg) {
        if (arg->size() != 1 || (*arg)[0] < '1' || (*arg)[0] > '9')
          return fail("szerokość numeru w polu {" + std::string(field) + "} musi być od 1 do 9");
        piece.width = (*arg)[0] - '0';
      }
    } else if (key == "data") {
      piece.kind = NameTemplate::Kind::Date;
      piece.text = arg ? std::string(*arg) : std::string(kDefaultDateFormat);
      if (const std::string fault = dateFormatFault(piece.text); !fault.empty()) return fail(fault);
    } else if ((key == "szer" || key == "wys") && !arg) {
      piece.kind = key == "szer" ? NameTemplate::Kind::Width : NameTemplate::Kind::Height;
    } else {
      return fail("nieznane pole {" + std::string(field) + "} (dozwolone {nazwa}, {nr}, {nr:3}, {data}, {szer}, {wys})");
    }
    out.pattern.pieces.push_back(std::move(piece));
    at = close + 1;
  }
  if (!unique) return fail("musi zawierać {nazwa} lub {nr}, inaczej pliki dostałyby tę samą nazwę");
  return out;
}

// What a field may not put into a name, on any system the outputs may be copied to.
std::string safeField(std::string text) {
  for (char& c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) c = '_';
  }
  return text;
}

std::string stemOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return std::string(name.substr(0, dot == std::string_view::npos ? name.size() : dot));
}

}  // namespace

bool NameTemplate::needsDate() const {
  for (const Piece& p : pieces)
    if (p.kind == Kind::Date) return true;
  return false;
}

bool NameTemplate::needsSize() const {
  for (const Piece& p : pieces)
    if (p.kind == Kind::Width || p.kind == Kind::Height) return true;
  return false;
}

std::string nameTemplateFault(std::string_view text) { return parse(text).fault; }

NameTemplate parseNameTemplate(std::string_view text) {
  Parsed parsed = parse(text);
  if (!parsed.fault.empty()) throw ImagingError(parsed.fault);
  return std::move(parsed.pattern);
}

std::string templateName(const NameTemplate& pattern, const NameFields& fields, OutputFormat format) {
  std::string stem;
  for (const NameTemplate::Piece& piece : pattern.pieces) {
    switch (piece.kind) {
      case NameTemplate::Kind::Text:
        stem += piece.text;
        break;
      case NameTemplate::Kind::Name:
        stem += safeField(stemOf(fields.name));
        break;
      case NameTemplate::Kind::Number: {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%0*lld", piece.width, fields.number);
        stem += digits;
        break;
      }
      case NameTemplate::Kind::Date: {
        char text[256];
        const std::size_t n = std::strftime(text, sizeof text, piece.text.c_str(), &fields.date);
        stem += safeField(std::string(text, n));
        break;
      }
      case NameTemplate::Kind::Width:
        stem += std::to_string(fields.width);
        break;
      case NameTemplate::Kind::Height:
        stem += std::to_string(fields.height);
        break;
    }
  }
  if (stem.empty() || stem == "." || stem == "..")
    throw ImagingError("Nieprawidłowa nazwa pliku wynikowego: \"" + stem + "\"");
  // The extension as the naming rule gives it: a JPEG from a JPEG keeps the source's.
  const auto source = formatOfName(fields.name);
  const std::size_t dot = fields.name.rfind('.');
  if (format == OutputFormat::kJpeg && source == PictureFormat::kJpeg && dot != std::string_view::npos)
    return stem + std::string(fields.name.substr(dot));
  return stem + std::string(outputFormatExtension(format));
}

std::optional<std::tm> exifDateTime(std::string_view text) {
  // "2026:06:14 15:30:00", maybe with a NUL after it.
  if (text.size() < 19) return std::nullopt;
  int v[6];
  const std::size_t at[6] = {0, 5, 8, 11, 14, 17};
  const std::size_t len[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    v[i] = 0;
    for (std::size_t k = 0; k < len[i]; ++k) {
      const char c = text[at[i] + k];
      if (c < '0' || c > '9') return std::nullopt;
      v[i] = v[i] * 10 + (c - '0');
    }
  }
  if (text[4] != ':' || text[7] != ':' || text[10] != ' ' || text[13] != ':' || text[16] != ':') return std::nullopt;
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60) return std::nullopt;
  std::tm tm{};
  tm.tm_year = v[0] - 1900;
  tm.tm_mon = v[1] - 1;
  tm.tm_mday = v[2];
  tm.tm_hour = v[3];
  tm.tm_min = v[4];
  tm.tm_sec = v[5];
  tm.tm_isdst = -1;
  // The day of the year, for %j.
  static constexpr int kBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (v[0] % 4 == 0 && v[0] % 100 != 0) || v[0] % 400 == 0;
  tm.tm_yday = kBefore[tm.tm_mon] + tm.tm_mday - 1 + (leap && tm.tm_mon > 1 ? 1 : 0);
  return tm;
}

std::string numberedName(std::string_view name, int n) {
  const std::size_t dot = name.rfind('.');
  const std::size_t ext = dot == std::string_view::npos || dot == 0 ? name.size() : dot;
  return std::string(name.substr(0, ext)) + " (" + std::to_string(n) + ")" + std::string(name.substr(ext));
}

}  // namespace velmora
