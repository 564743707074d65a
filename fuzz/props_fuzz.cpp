// The settings file parser: any bytes load without a crash, every stored key is found at its own
// position (no two keys equal once upper-cased), and what is written back loads to the same entries (the file
// survives a save unchanged in meaning).

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "settings/props.h"
#include "settings/textutils.h"

namespace {

void CheckLookups(const velmora::TProps& props) {
  for (int i = 0; i < props.Count(); ++i) {
    const QString& key = props.Entries()[static_cast<std::size_t>(i)].Key;
    if (props.IndexOf(key) != i) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  velmora::TProps first(u'\r');
  first.LoadFromText(velmora::DecodeFileBytes(bytes));
  CheckLookups(first);
  const QString saved = first.ToText();
  velmora::TProps second(u'\r');
  second.LoadFromText(velmora::DecodeFileBytes(saved.toUtf8()));
  if (second.Count() != first.Count()) std::abort();
  for (int i = 0; i < first.Count(); ++i) {
    const auto& a = first.Entries()[static_cast<std::size_t>(i)];
    const auto& b = second.Entries()[static_cast<std::size_t>(i)];
    if (a.Key != b.Key || a.Value != b.Value) std::abort();
  }
  return 0;
}
