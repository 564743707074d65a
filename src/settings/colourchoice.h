#pragma once

// The settings key "kolory": what a run does with the colours of its pictures. "sRGB" converts them to
// sRGB (the default, also for an absent or unknown value); "zrodlo" carries the source's colour profile
// as it is. The "Opcje zapisu" check box "konwertuj kolory do sRGB" reads and stores it through these.

#include <QString>

#include "settings/props.h"

namespace velmora {

inline const QString kColourKey = QStringLiteral("kolory");
inline const QString kColourSrgb = QStringLiteral("sRGB");
inline const QString kColourSource = QStringLiteral("zrodlo");

bool ConvertsColours(const TProps& props);
void SetConvertsColours(TProps& props, bool convert);

}  // namespace velmora
