#pragma once

// TProps: the settings model. An ordered list of text key/value pairs, keys compared after upper-casing
// (so "ł" matches "Ł"), with a text form: key=value lines, each ended by the separator (CR for the
// settings file), no header, no quoting, no byte-order mark handling.
//
// The program's instance, AppProps, is owned by TEnvironment (settings/environment.h), never by a static.
//
// Lookups go through a hash of the upper-cased keys beside the ordered entries, so a damaged file of
// many thousand keys loads in linear time; keys are never removed one by one, so positions stay valid.

#include <QChar>
#include <QHash>
#include <QString>
#include <cstdint>
#include <vector>

namespace velmora {

struct TProp {
  QString Key;    // trimmed, never empty
  QString Value;  // exactly as passed: no trimming, no unescaping
};

class TProps {
 public:
  explicit TProps(QChar separator) : Separator(separator) {}

  void Clear();
  int Count() const { return static_cast<int>(entries_.size()); }
  // Position of the first entry whose key equals the given one after both are upper-cased; -1 when none.
  // The given key is not trimmed.
  int IndexOf(const QString& key) const;
  // The value, or the empty text when the key is absent: callers apply their own defaults.
  QString Get(const QString& key) const;
  // Replaces the value of an existing entry (its stored key keeps its spelling and position), else Add.
  void Set(const QString& key, const QString& value);
  // Trims the key (codes 32 and below); a blank key is ignored; an existing key gets Set; otherwise
  // appends when KeepEmpty is true or the value is not empty.
  void Add(const QString& key, const QString& value);
  // key=value: the key is what precedes the first "=", the value all that follows it. A line without
  // "=", with an empty key or holding a NUL is ignored.
  void ParseLine(const QString& line);
  // Clear, then parse: with CR as separator CR LF counts as CR (a lone LF is content); a NUL drops its
  // own line only; the part after the last separator is a line too.
  void LoadFromText(const QString& text);
  // Every entry (those with an empty value only when KeepEmpty) as key=value followed by the separator.
  QString ToText() const;

  // The pairs in their order; no two keys are equal when upper-cased.
  const std::vector<TProp>& Entries() const { return entries_; }
  // Counts every change of the entries, so a writer can tell whether anything changed since it wrote.
  std::uint64_t Revision() const { return revision_; }

  QChar Separator;
  bool KeepEmpty = true;

 private:
  std::vector<TProp> entries_;
  QHash<QString, int> index_;  // upper-cased key -> position in entries_
  std::uint64_t revision_ = 0;
};

}  // namespace velmora
