#include "settings/colourchoice.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ColourChoice, OnlyZrodloCarriesTheSourceProfile) {
  const struct {
    const char* stored;  // nullptr: no key
    bool converts;
  } rows[] = {{nullptr, true}, {"sRGB", true}, {"", true}, {"cokolwiek", true}, {"zrodlo", false}, {" ZRODLO ", false}};
  for (const auto& row : rows) {
    TProps props('\r');
    if (row.stored) props.Set("kolory", QString::fromUtf8(row.stored));
    EXPECT_EQ(ConvertsColours(props), row.converts) << (row.stored ? row.stored : "(none)");
  }
  TProps props('\r');
  for (const bool convert : {false, true, false}) {
    SetConvertsColours(props, convert);
    EXPECT_EQ(props.Get("kolory"), convert ? "sRGB" : "zrodlo");
    EXPECT_EQ(ConvertsColours(props), convert);
  }
}

}  // namespace
}  // namespace velmora
