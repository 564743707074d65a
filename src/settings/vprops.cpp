#include "settings/vprops.h"

namespace velmora {

QString TrimKey(const QString& key) {
  qsizetype first = 0, last = key.size();
  while (first < last && key[first].unicode() <= 32) ++first;
  while (last > first && key[last - 1].unicode() <= 32) --last;
  return key.mid(first, last - first);
}

int TVProps::IndexOf(const QString& key) const { return IndexOfKey(Entries, key); }

QVariant TVProps::Get(const QString& key) const {
  const int i = IndexOf(key);
  return i < 0 ? QVariant(0) : Entries[static_cast<std::size_t>(i)].Value;
}

void TVProps::Set(const QString& key, const QVariant& value) {
  const int i = IndexOf(key);
  if (i < 0) {
    Add(key, value);
    return;
  }
  auto& slot = Entries[static_cast<std::size_t>(i)].Value;
  slot.clear();
  slot = value;
}

void TVProps::Add(const QString& key, const QVariant& value) {
  const QString k = TrimKey(key);
  if (k.isEmpty()) return;
  if (IndexOf(k) >= 0) {
    Set(k, value);
    return;
  }
  Entries.push_back({k, value});
}

}  // namespace velmora
