#pragma once

// The text codec every part shares (settings files, metadata values, names): every text the program
// makes is UTF-8; bytes that already are valid UTF-8 are kept, other 8-bit text is read as
// Windows-1250 (the code page the program's Polish users' tools write), 16-bit text is converted from
// UTF-16.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

bool IsValidUtf8(std::string_view s);
std::string Cp1250ToUtf8(std::span<const std::uint8_t> bytes);
// Valid UTF-8 unchanged, anything else as Windows-1250.
std::string ToUtf8(std::span<const std::uint8_t> bytes);
std::string ToUtf8(std::string_view bytes);
// UTF-16 to UTF-8, stopping at the first zero code unit; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian);
void AppendUtf8(std::string& out, char32_t cp);

// Removes characters up to and including the space (controls, zero bytes) from both ends.
std::string Trim(std::string_view s);
// ASCII-only case handling for tag names, makes and identifiers.
std::string UpperAscii(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
// Case folding for user texts (keywords): ASCII, Latin-1 and Latin Extended-A letters, which covers
// Polish and the other Central and Western European letters.
std::string FoldCase(std::string_view utf8);

// At most maxChars code points; control characters shown as ".".
std::string Printable(std::string_view utf8, std::size_t maxChars = 50);

}  // namespace velmora
