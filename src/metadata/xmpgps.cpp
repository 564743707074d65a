#include "metadata/xmpgps.h"

#include <QString>
#include <QXmlStreamReader>
#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "metadata/messages.h"
#include "metadata/tagentry.h"

namespace velmora {

namespace {

const QString kExifNamespace = QStringLiteral("http://ns.adobe.com/exif/1.0/");

bool IsGpsProperty(QStringView namespaceUri, QStringView localName) {
  return namespaceUri == kExifNamespace && localName.startsWith(QLatin1String("GPS"));
}

bool Contains(std::span<const std::uint8_t> bytes, std::string_view text) {
  return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

bool IsSpace(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

struct Cut {
  qsizetype from, to;
};

// The attributes of the start tag text[from, to) whose qualified names are listed, each with the
// white space before it.
void CutAttributes(const QString& text, qsizetype from, qsizetype to, const std::set<QString>& names,
                   std::vector<Cut>& cuts) {
  qsizetype i = from + 1;
  while (i < to && !IsSpace(text[i]) && text[i] != u'/' && text[i] != u'>') ++i;  // the element's name
  while (i < to) {
    const qsizetype spaceStart = i;
    while (i < to && IsSpace(text[i])) ++i;
    if (i >= to || text[i] == u'/' || text[i] == u'>') return;
    const qsizetype nameStart = i;
    while (i < to && !IsSpace(text[i]) && text[i] != u'=') ++i;
    const QString name = text.sliced(nameStart, i - nameStart);
    while (i < to && IsSpace(text[i])) ++i;
    if (i >= to || text[i] != u'=') return;
    ++i;
    while (i < to && IsSpace(text[i])) ++i;
    if (i >= to || (text[i] != u'"' && text[i] != u'\'')) return;
    const qsizetype close = text.indexOf(text[i], i + 1);
    if (close < 0 || close >= to) return;
    i = close + 1;
    if (names.contains(name)) cuts.push_back({spaceStart, i});
  }
}

}  // namespace

Bytes StripXmpGps(ByteView packet) {
  const auto bytes = packet.span();
  // A property's name holds the letters whatever the prefix: without them there is nothing to take out.
  if (!Contains(bytes, "GPS") && !Contains(bytes, std::string_view("G\0P\0S", 5))) {
    return Bytes(bytes.begin(), bytes.end());
  }
  // Zero bytes after the packet (as IFD0 may hold it) are no XML; they stay as they are.
  std::size_t end = bytes.size();
  while (end > 0 && bytes[end - 1] == 0) --end;
  const QByteArray utf8(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(end));
  const QString text = QString::fromUtf8(utf8);
  if (text.toUtf8() != utf8) throw EMetadata(msg::kXmpNotUtf8);

  std::vector<Cut> cuts;
  QXmlStreamReader reader(text);
  qsizetype cutFrom = -1;
  int depth = 0;  // inside a property being cut out
  while (!reader.atEnd()) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    const auto offset = static_cast<qsizetype>(reader.characterOffset());
    if (token == QXmlStreamReader::StartElement) {
      if (depth > 0) {
        ++depth;
        continue;
      }
      // The reader stands after the start tag's ">"; no "<" may stand inside the tag.
      const qsizetype tagStart = text.lastIndexOf(u'<', offset - 1);
      if (IsGpsProperty(reader.namespaceUri(), reader.name())) {
        cutFrom = tagStart;
        depth = 1;
        continue;
      }
      std::set<QString> names;
      for (const QXmlStreamAttribute& attribute : reader.attributes())
        if (IsGpsProperty(attribute.namespaceUri(), attribute.name()))
          names.insert(attribute.qualifiedName().toString());
      if (!names.empty() && tagStart >= 0) CutAttributes(text, tagStart, offset, names, cuts);
    } else if (token == QXmlStreamReader::EndElement && depth > 0 && --depth == 0) {
      // The element's line goes with it when nothing else stands on that line.
      qsizetype from = cutFrom;
      while (from > 0 && (text[from - 1] == u' ' || text[from - 1] == u'\t')) --from;
      if (from > 0 && text[from - 1] == u'\n') {
        cutFrom = from - 1;
        if (cutFrom > 0 && text[cutFrom - 1] == u'\r') --cutFrom;
      }
      cuts.push_back({cutFrom, offset});
    }
  }
  if (reader.hasError()) throw EMetadata(msg::kXmlUnreadable + reader.errorString().toStdString());
  if (cuts.empty()) return Bytes(bytes.begin(), bytes.end());

  std::sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) { return a.from < b.from; });
  QString kept;
  qsizetype at = 0;
  for (const Cut& cut : cuts) {
    if (cut.from < at) continue;  // never overlapping; kept safe all the same
    kept += QStringView(text).sliced(at, cut.from - at);
    at = cut.to;
  }
  kept += QStringView(text).sliced(at);
  const QByteArray out = kept.toUtf8();
  Bytes result(out.begin(), out.end());
  result.insert(result.end(), bytes.begin() + static_cast<std::ptrdiff_t>(end), bytes.end());
  return result;
}

}  // namespace velmora
