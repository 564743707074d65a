#pragma once

// The two rules of a batch run that decide what becomes of one picture: its new size and its new name.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/outputformat.h"

namespace velmora {

enum class ScaleAction { Keep, Reduce, Enlarge };

struct ScalePlan {
  ScaleAction action = ScaleAction::Keep;
  int width = 0;  // the size after the step (the old size for Keep)
  int height = 0;
};

// The size rule for a picture of width x height and the limit N. A picture with a side above N is
// reduced; with enlarge, one with both sides below N is enlarged; anything else is kept (so a side of
// exactly N with the other not above N is never changed). The longer side becomes N (the width for a
// square) and the shorter side (N / longer) * shorter, computed in long double and rounded to nearest
// with ties to even, but never below 1. Throws ImagingError when N is below 1.
ScalePlan applySizeRule(int width, int height, int limit, bool enlarge);

enum class NameMode { Prefix, Suffix };

// Why the prefix or suffix cannot be used ("nie może zawierać znaku \"/\""), empty when it can: a "/"
// would put the output into another folder (../x_), a NUL would cut its name short. Both front ends
// check it before anything is written.
std::string affixFault(std::string_view affix);

// The naming rule on a file name (no folder), byte for byte: prefix gives affix + name; suffix puts
// the affix between the name without its extension and the extension (from the last "." on, case
// kept; none when the name has no "."). An empty affix gives the name itself. The extension then becomes
// the output format's: .webp, .avif, or .jpg for a JPEG from another format (a JPEG source keeps its
// own, case and all). Throws ImagingError for an empty name, a name or affix that holds a folder
// separator or a NUL, and a result that is "." or "..".
std::string outputName(std::string_view name, NameMode mode, std::string_view affix,
                       OutputFormat format = OutputFormat::kJpeg);

// The folder a source's output goes to. name is the source's path below the source folder ("sub/dir/a.jpg",
// as a listing with subfolders gives it): its folders are kept below destFolder ("DEST/sub/dir"); a
// plain name's folder is destFolder itself. Throws ImagingError for a name whose folders could lead out
// of destFolder or nowhere: absolute, or with an empty, "." or ".." part.
std::filesystem::path outputFolder(const std::filesystem::path& destFolder, std::string_view name);

// outputFolder(...) joined with outputName(...) of the name's last part (after its last "/").
std::filesystem::path outputPath(const std::filesystem::path& destFolder, std::string_view name, NameMode mode,
                                 std::string_view affix, OutputFormat format = OutputFormat::kJpeg);

// ---- Name templates ("szablon"): "wesele_{nr:3}", "{data:%Y-%m-%d_%H%M}_{nazwa}" -------------------

// The format of a plain {data}.
inline constexpr const char* kDefaultDateFormat = "%Y-%m-%d_%H%M%S";

struct NameTemplate {
  enum class Kind { Text, Name, Number, Date, Width, Height };
  struct Piece {
    Kind kind = Kind::Text;
    std::string text;  // Text: the bytes; Date: the strftime format
    int width = 0;     // Number: the zero-padded width (0: none)
  };
  std::vector<Piece> pieces;
  bool needsDate() const;
  bool needsSize() const;
};

// The template's fields of one file.
struct NameFields {
  std::string_view name;  // the source file name (no folder)
  long long number = 1;   // the running number
  std::tm date{};         // DateTimeOriginal, else the modification time (local)
  int width = 0;          // of the output, after the size rule
  int height = 0;
};

// Why the template cannot be used (an unknown field, a bad {nr:x} or date format, a "/" in its own
// text, a NUL anywhere, no {nazwa} and no {nr}, so that two files would get one name); empty when it can.
std::string nameTemplateFault(std::string_view text);
// Throws ImagingError with nameTemplateFault's text.
NameTemplate parseNameTemplate(std::string_view text);

// The template applied to one file, with the extension outputName gives. A character a file system
// refuses (the folder separators, NUL, control characters, and for other systems : * ? " < > |) coming
// from a field becomes "_". Throws ImagingError when the name before the extension is empty, "." or "..".
std::string templateName(const NameTemplate& pattern, const NameFields& fields, OutputFormat format);

// EXIF's "YYYY:MM:DD HH:MM:SS"; nothing for anything else (blanks for an unknown date included).
std::optional<std::tm> exifDateTime(std::string_view text);

// What the run does with an output that is there already ("istniejace").
enum class ExistingOutput { Replace, Skip, Number };

// "nazwa (2).jpg": the name with " (n)" before its extension.
std::string numberedName(std::string_view name, int n);

}  // namespace velmora
