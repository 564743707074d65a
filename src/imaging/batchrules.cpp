#include "imaging/batchrules.h"

#include <cmath>

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

}  // namespace velmora
