#pragma once

// Text, list and whole-file utilities shared by the main window, the property store and the file
// helpers. Positions are 1-based; "one character" is one Unicode code point (a surrogate pair counts
// as one). Pure functions except where a file or a device is named.

#include <QByteArray>
#include <QChar>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <set>

namespace velmora {

// The path delimiter wherever a path rule speaks of one.
inline constexpr QChar kPathDelimiter = u'/';

// The largest text file the program reads (settings, lists): far above any real settings file, and a
// bound on the time and memory a damaged or foreign file can cost at start-up.
inline constexpr qint64 kMaxTextFileBytes = 4 * 1024 * 1024;

// ReplaceText flags.
inline constexpr int rfReplaceAll = 1;  // every occurrence, not just the first
inline constexpr int rfIgnoreCase = 2;  // compare without regard to case

// Left to right; after a replacement the search goes on after the replaced piece, so the new text is
// never searched again. The unreplaced parts keep their case. An empty oldText finds nothing.
QString ReplaceText(const QString& text, const QString& oldText, const QString& newText, int flags);

// A set of characters (code points).
using TCharSet = std::set<char32_t>;

// The text without every character that belongs to the set.
QString RemoveCharSet(const QString& text, const TCharSet& set);
// The text without every occurrence of each character of chars.
QString RemoveChars(const QString& text, const QString& chars);

// Field n (first = 1) of the text split at the delimiter; empty when n < 1, the text is empty or has
// fewer than n fields. Field 1 of a text without delimiter is the whole text.
QString ExtractField(int n, const QString& text, QChar delimiter);
// The same counted from the end: field 1 from the end of a path at "/" is its last part.
QString ExtractFieldFromEnd(int n, const QString& text, QChar delimiter);
// The path without its last part: /a/b gives /a, /a/ gives /a (only the empty last part goes), a text
// without the delimiter comes back unchanged. Walking up stops at the root: /a and / give /.
QString StripLastPathPart(const QString& path, QChar delimiter = kPathDelimiter);

// "T" or "N", as the settings store keeps flags.
QString BoolToTN(bool value);
// True exactly when the first character, upper-cased, is "1", "T" or "Y" (tak, Yes, 1); false for "".
bool TextToBool(const QString& text);

// With an empty set: the lines of the text (CR, LF or CR LF end a line; a final line end adds no empty
// line). Otherwise the text is cut at every character of the set; the part after the last cut is a part
// too. With clean, parts are trimmed (codes 32 and below) and empty ones dropped. "" gives no parts.
QStringList SplitToList(const QString& text, const TCharSet& delimiters, bool clean);
// Every item followed by the separator; the last separator is dropped unless keepTrailing.
QString JoinList(const QStringList& list, const QString& separator, bool keepTrailing);

// A file's bytes as text, line by line (a line ends at CR or LF): a line that is valid UTF-8 is read as
// UTF-8, any other as Windows-1250. A settings file carried over from a Windows installation keeps its
// Polish keys, and one stray byte garbles one line at most. A NUL stays, as a character (the store
// drops its line). A byte-order mark is not recognised: it stays in the text as a character.
QString DecodeFileBytes(const QByteArray& bytes);

// The whole file as text (see DecodeFileBytes). Only a regular file of at most maxBytes is read; a pipe,
// a device or a folder is never opened. Throws FileError (base/fileio.h), with its reason, when the file
// is refused or cannot be opened or read.
QString LoadFileToText(const QString& fileName, qint64 maxBytes = kMaxTextFileBytes);
// Writes the text's UTF-8 bytes at the device's position; nothing for an empty text. Throws FileError
// when not every byte was written.
void WriteTextToStream(const QString& text, QIODevice& device);

}  // namespace velmora
