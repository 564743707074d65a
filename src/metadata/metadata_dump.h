#pragma once

// A JSON view of what the metadata readers took from a file, for people and for checks
// (velmora-batch --dump-metadata).

#include <string>
#include <string_view>

namespace velmora {

class TImgData;

// One JSON object (one line, no trailing newline) for the file: the outcome ("ok", "errorText"), the
// kept segments, every entry of the main list, the thumbnail list and the IPTC list (list, kind,
// parent, tag, type, count, name, display text, raw bytes in hex), the comment and the thumbnail's
// length. The file is read as the program reads it (TImgData::OpenFile with all parts).
std::string DumpMetadataJson(const std::string& path);

// The same for a container that has already read its file; `ok` is what its read returned.
std::string DumpMetadataJson(const TImgData& img, bool ok);

// A JSON string literal; invalid UTF-8 bytes become U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace velmora
