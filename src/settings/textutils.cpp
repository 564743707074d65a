#include "settings/textutils.h"

#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <string_view>

#include "base/fileio.h"
#include "base/textcodec.h"

namespace velmora {

namespace {

// Length in UTF-16 units of the character at i: 2 for a well-formed surrogate pair, else 1.
qsizetype CharLength(QStringView text, qsizetype i) {
  return (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2 : 1;
}

char32_t CodePointAt(QStringView text, qsizetype i, qsizetype len) {
  return len == 2 ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
}

// Upper-cased character by character with the simple (one-to-one) mapping, so positions in the result
// are positions in the original: ReplaceText copies the pieces it keeps from the original.
QString UpperSameLength(const QString& text) {
  QString out = text;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype len = CharLength(text, i);
    const char32_t up = QChar::toUpper(CodePointAt(text, i, len));
    if (len == 1 && QChar::requiresSurrogates(up) == false) {
      out[i] = QChar(static_cast<char16_t>(up));
    } else if (len == 2 && QChar::requiresSurrogates(up)) {
      out[i] = QChar(QChar::highSurrogate(up));
      out[i + 1] = QChar(QChar::lowSurrogate(up));
    }
    i += len;
  }
  return out;
}

bool IsBlank(QChar c) { return c.unicode() <= 32; }

QString TrimLow(const QString& s) {
  qsizetype first = 0, last = s.size();
  while (first < last && IsBlank(s[first])) ++first;
  while (last > first && IsBlank(s[last - 1])) --last;
  return s.mid(first, last - first);
}

void AddPart(QStringList& list, const QString& part, bool clean) {
  if (!clean) {
    list.append(part);
    return;
  }
  const QString t = TrimLow(part);
  if (!t.isEmpty()) list.append(t);
}

}  // namespace

QString ReplaceText(const QString& text, const QString& oldText, const QString& newText, int flags) {
  if (oldText.isEmpty()) return text;
  const bool ignoreCase = (flags & rfIgnoreCase) != 0;
  const QString haystack = ignoreCase ? UpperSameLength(text) : text;
  const QString needle = ignoreCase ? UpperSameLength(oldText) : oldText;
  QString out;
  qsizetype from = 0;
  for (qsizetype at = haystack.indexOf(needle, from); at >= 0; at = haystack.indexOf(needle, from)) {
    out += QStringView(text).mid(from, at - from);
    out += newText;
    from = at + needle.size();
    if ((flags & rfReplaceAll) == 0) break;
  }
  out += QStringView(text).mid(from);
  return out;
}

QString RemoveCharSet(const QString& text, const TCharSet& set) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype len = CharLength(text, i);
    if (!set.contains(CodePointAt(text, i, len))) out += QStringView(text).mid(i, len);
    i += len;
  }
  return out;
}

QString RemoveChars(const QString& text, const QString& chars) {
  TCharSet set;
  for (qsizetype i = 0; i < chars.size();) {
    const qsizetype len = CharLength(chars, i);
    set.insert(CodePointAt(chars, i, len));
    i += len;
  }
  return RemoveCharSet(text, set);
}

QString ExtractField(int n, const QString& text, QChar delimiter) {
  if (n < 1 || text.isEmpty()) return {};
  const QStringList fields = text.split(delimiter, Qt::KeepEmptyParts);
  return n <= fields.size() ? fields[n - 1] : QString();
}

QString ExtractFieldFromEnd(int n, const QString& text, QChar delimiter) {
  if (n < 1 || text.isEmpty()) return {};
  const QStringList fields = text.split(delimiter, Qt::KeepEmptyParts);
  return n <= fields.size() ? fields[fields.size() - n] : QString();
}

QString StripLastPathPart(const QString& path, QChar delimiter) {
  QStringList parts = path.split(delimiter, Qt::KeepEmptyParts);
  if (parts.size() < 2) return path;
  parts.removeLast();
  const QString joined = parts.join(delimiter);
  // An absolute path keeps its root: the walk up a missing folder ends at "/", not at "".
  if (joined.isEmpty() && path.startsWith(delimiter)) return QString(delimiter);
  return joined;
}

QString BoolToTN(bool value) { return value ? QStringLiteral("T") : QStringLiteral("N"); }

bool TextToBool(const QString& text) {
  if (text.isEmpty()) return false;
  const char32_t first = QChar::toUpper(CodePointAt(text, 0, CharLength(text, 0)));
  return first == U'1' || first == U'T' || first == U'Y';
}

QStringList SplitToList(const QString& text, const TCharSet& delimiters, bool clean) {
  QStringList list;
  if (text.isEmpty()) return list;
  if (delimiters.empty()) {
    // Lines as a string list takes a multi-line text: CR, LF or CR LF ends a line, and a line end at
    // the very end adds no empty line.
    qsizetype i = 0;
    while (i < text.size()) {
      const qsizetype start = i;
      while (i < text.size() && text[i] != u'\r' && text[i] != u'\n') ++i;
      AddPart(list, text.mid(start, i - start), clean);
      if (i < text.size() && text[i] == u'\r') ++i;
      if (i < text.size() && text[i] == u'\n') ++i;
    }
    return list;
  }
  // Cutting at every member of the set is what replacing each member by the highest one and cutting
  // at that does.
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype len = CharLength(text, i);
    if (delimiters.contains(CodePointAt(text, i, len))) {
      AddPart(list, text.mid(start, i - start), clean);
      start = i + len;
    }
    i += len;
  }
  AddPart(list, text.mid(start), clean);
  return list;
}

QString JoinList(const QStringList& list, const QString& separator, bool keepTrailing) {
  if (list.isEmpty()) return {};
  QString out = list.join(separator);
  if (keepTrailing) out += separator;
  return out;
}

QString DecodeFileBytes(const QByteArray& bytes) {
  const QByteArrayView text(bytes);
  QString out;
  out.reserve(text.size());
  // CR and LF are the same byte in both encodings and never inside a UTF-8 sequence, so cutting there
  // never splits a character.
  qsizetype start = 0;
  for (;;) {
    qsizetype end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    const QByteArrayView line = text.sliced(start, end - start);
    const std::string_view raw(line.data(), static_cast<std::size_t>(line.size()));
    if (IsValidUtf8(raw)) {
      // fromUtf8 drops a byte-order mark at the start of what it is given; it stays, as a character.
      if (line.startsWith("\xef\xbb\xbf")) out += QChar(u'\uFEFF');
      out += QString::fromUtf8(line);
    } else {
      const std::string utf8 = Cp1250ToUtf8({reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()});
      out += QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    }
    if (end == text.size()) break;
    out += QChar(static_cast<char16_t>(text[end]));
    start = end + 1;
  }
  return out;
}

QString LoadFileToText(const QString& fileName, qint64 maxBytes) {
  try {
    const Bytes bytes = readRegularFile(std::filesystem::path(QFile::encodeName(fileName).toStdString()),
                                        static_cast<std::uintmax_t>(maxBytes));
    return DecodeFileBytes(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
  } catch (const FileError& e) {
    // The name as the caller gave it, not as the file system spells it.
    throw FileError(cannotReadFileText(fileName.toStdString()) + ": " + e.reason() + ".", e.reason());
  }
}

void WriteTextToStream(const QString& text, QIODevice& device) {
  if (text.isEmpty()) return;
  const QByteArray bytes = text.toUtf8();
  if (device.write(bytes) != bytes.size()) {
    const auto* file = qobject_cast<const QFileDevice*>(&device);
    const QString name = file != nullptr ? file->fileName() : QString();
    throw FileError(cannotWriteFileText(name.toStdString()) + ".");
  }
}

}  // namespace velmora
