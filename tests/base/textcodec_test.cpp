#include "base/textcodec.h"

#include <gtest/gtest.h>

#include "base/bytes.h"

namespace velmora {
namespace {

TEST(TextCodec, Conversions) {
  EXPECT_EQ(ToUtf8(Bytes{'Z', 'a', 0xBF, 0xF3, 0xB3, 0xE6}), "Zażółć");
  EXPECT_EQ(ToUtf8(std::string("Zażółć")), "Zażółć") << "valid UTF-8 stays";
  EXPECT_EQ(ToUtf8(Bytes{0x81}), "\xEF\xBF\xBD");
  const Bytes utf16le = {0x3D, 0xD8, 0x00, 0xDE, 'a', 0, 0, 0, 'b', 0};  // U+1F600, "a", end
  EXPECT_EQ(Utf16ToUtf8(utf16le, false),
            "\xF0\x9F\x98\x80"
            "a");
  EXPECT_EQ(Utf16ToUtf8(Bytes{0xD8, 0x00}, true), "\xEF\xBF\xBD");
  EXPECT_EQ(FoldCase("ŁÓDŹ Straße ÀÉ"), "łódź straße àé");
  EXPECT_EQ(Printable(std::string("a\x01\xC4\x85") + std::string(60, 'b')).size(),
            51u);  // 50 characters, ą has 2 bytes
  EXPECT_EQ(Trim(std::string("\0 x \0", 5)), "x");
  EXPECT_TRUE(IsValidUtf8("żółw"));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
}

}  // namespace
}  // namespace velmora
