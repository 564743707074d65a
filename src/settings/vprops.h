#pragma once

// TVProps: the property bag of a self-drawn control. Keys compared after upper-casing (so "ł" matches
// "Ł"), values are variants (this program stores booleans and 32-bit integers); no text form.

#include <QString>
#include <QVariant>
#include <vector>

namespace velmora {

struct TVProp {
  QString Key;
  QVariant Value;
};

class TVProps {
 public:
  void Clear() { Entries.clear(); }
  int Count() const { return static_cast<int>(Entries.size()); }
  // Position of the entry whose key equals the given one after upper-casing; -1 when none.
  int IndexOf(const QString& key) const;
  // A copy of the stored value; the integer 0 when the key is absent (reads as false).
  QVariant Get(const QString& key) const;
  void Set(const QString& key, const QVariant& value);
  // Trims the key (codes 32 and below); an empty key is ignored; an existing key gets Set.
  void Add(const QString& key, const QVariant& value);

  std::vector<TVProp> Entries;
};

// Removes leading and trailing characters whose code is 32 or below.
QString TrimKey(const QString& key);

// The key rule of both property stores: position of the first entry whose Key equals the given key after
// both are upper-cased (so "ł" matches "Ł"); -1 when none. The key is not trimmed here.
template <class Entry>
int IndexOfKey(const std::vector<Entry>& entries, const QString& key) {
  const QString wanted = key.toUpper();
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i].Key.toUpper() == wanted) return static_cast<int>(i);
  return -1;
}

}  // namespace velmora
