#include "settings/props.h"

#include "settings/vprops.h"

namespace velmora {

namespace {

constexpr QChar kCR = u'\r';

}  // namespace

int TProps::IndexOf(const QString& key) const { return IndexOfKey(Entries, key); }

QString TProps::Get(const QString& key) const {
  const int i = IndexOf(key);
  return i < 0 ? QString() : Entries[static_cast<std::size_t>(i)].Value;
}

void TProps::Set(const QString& key, const QString& value) {
  const int i = IndexOf(key);
  if (i < 0) {
    Add(key, value);
    return;
  }
  Entries[static_cast<std::size_t>(i)].Value = value;
}

void TProps::Add(const QString& key, const QString& value) {
  const QString k = TrimKey(key);
  if (k.isEmpty()) return;
  const int i = IndexOf(k);
  if (i >= 0) {
    Entries[static_cast<std::size_t>(i)].Value = value;
    return;
  }
  if (KeepEmpty || !value.isEmpty()) Entries.push_back({k, value});
}

void TProps::ParseLine(const QString& line) {
  const qsizetype eq = line.indexOf(u'=');
  if (eq <= 0) return;
  Add(line.left(eq), line.mid(eq + 1));
}

void TProps::LoadFromText(const QString& text) {
  Clear();
  QString t = text;
  // A NUL ends the text, as it ends a C string in the file layer.
  const qsizetype nul = t.indexOf(QChar(u'\0'));
  if (nul >= 0) t.truncate(nul);
  if (t.isEmpty()) return;
  if (Separator == kCR) t.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
  // The separator is a single UTF-16 unit that is never half of a surrogate pair, so cutting at its
  // occurrences never splits a character.
  qsizetype start = 0;
  for (qsizetype at = t.indexOf(Separator); at >= 0; at = t.indexOf(Separator, start)) {
    ParseLine(t.mid(start, at - start));
    start = at + 1;
  }
  ParseLine(t.mid(start));
}

QString TProps::ToText() const {
  QString out;
  for (const TProp& e : Entries) {
    if (!KeepEmpty && e.Value.isEmpty()) continue;
    out += e.Key;
    out += u'=';
    out += e.Value;
    out += Separator;
  }
  return out;
}

}  // namespace velmora
