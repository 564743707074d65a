#include "settings/props.h"

#include "settings/vprops.h"

namespace velmora {

namespace {

constexpr QChar kCR = u'\r';

}  // namespace

void TProps::Clear() {
  entries_.clear();
  index_.clear();
  ++revision_;
}

int TProps::IndexOf(const QString& key) const { return index_.value(key.toUpper(), -1); }

QString TProps::Get(const QString& key) const {
  const int i = IndexOf(key);
  return i < 0 ? QString() : entries_[static_cast<std::size_t>(i)].Value;
}

void TProps::Set(const QString& key, const QString& value) {
  const int i = IndexOf(key);
  if (i < 0) {
    Add(key, value);
    return;
  }
  entries_[static_cast<std::size_t>(i)].Value = value;
  ++revision_;
}

void TProps::Add(const QString& key, const QString& value) {
  const QString k = TrimKey(key);
  if (k.isEmpty()) return;
  const QString upper = k.toUpper();
  const auto found = index_.constFind(upper);
  if (found != index_.constEnd()) {
    entries_[static_cast<std::size_t>(*found)].Value = value;
    ++revision_;
    return;
  }
  if (!KeepEmpty && value.isEmpty()) return;
  index_.insert(upper, static_cast<int>(entries_.size()));
  entries_.push_back({k, value});
  ++revision_;
}

void TProps::ParseLine(const QString& line) {
  // A NUL is no text: the line holding it is damage, and only that line is dropped.
  if (line.contains(QChar(u'\0'))) return;
  const qsizetype eq = line.indexOf(u'=');
  if (eq <= 0) return;
  Add(line.left(eq), line.mid(eq + 1));
}

void TProps::LoadFromText(const QString& text) {
  Clear();
  QString t = text;
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
  for (const TProp& e : entries_) {
    if (!KeepEmpty && e.Value.isEmpty()) continue;
    out += e.Key;
    out += u'=';
    out += e.Value;
    out += Separator;
  }
  return out;
}

}  // namespace velmora
