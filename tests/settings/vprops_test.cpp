#include "settings/vprops.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(TVProps, KeysMatchAfterUpperCasingAndKeepFirstSpelling) {
  TVProps p;
  p.Add("  Łódź ", true);
  p.Set("łÓDŹ", 7);
  ASSERT_EQ(p.Count(), 1);
  EXPECT_EQ(p.Entries[0].Key, QString("Łódź"));
  EXPECT_EQ(p.Get("ŁÓDŹ").toInt(), 7);
}

TEST(TVProps, AbsentKeyReadsAsZeroAndFalse) {
  TVProps p;
  EXPECT_EQ(p.Get("x").toInt(), 0);
  EXPECT_FALSE(p.Get("x").toBool());
  p.Add(" \t ", 1);
  EXPECT_EQ(p.Count(), 0);
  EXPECT_EQ(p.IndexOf("x"), -1);
}

}  // namespace
}  // namespace velmora
