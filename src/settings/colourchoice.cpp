#include "settings/colourchoice.h"

namespace velmora {

bool ConvertsColours(const TProps& props) {
  return props.Get(kColourKey).trimmed().compare(kColourSource, Qt::CaseInsensitive) != 0;
}

void SetConvertsColours(TProps& props, bool convert) { props.Set(kColourKey, convert ? kColourSrgb : kColourSource); }

}  // namespace velmora
