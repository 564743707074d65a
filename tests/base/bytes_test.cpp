#include "base/bytes.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ByteView, RangeChecksCannotOverflow) {
  const Bytes data{1, 2, 3, 4};
  const ByteView v(data);
  struct Row {
    std::size_t offset, n;
    bool inside;
  };
  const Row rows[] = {{0, 4, true},  {4, 0, true},         {3, 1, true},         {3, 2, false},
                      {5, 0, false}, {SIZE_MAX, 2, false}, {2, SIZE_MAX, false}, {SIZE_MAX, SIZE_MAX, false}};
  for (const auto& r : rows) EXPECT_EQ(v.has(r.offset, r.n), r.inside) << r.offset << "+" << r.n;
  EXPECT_FALSE(v.u32(SIZE_MAX - 1, true).has_value());
  EXPECT_TRUE(v.bytes(SIZE_MAX, 2).empty());
  EXPECT_EQ(v.bytesUpTo(2, 100).size(), 2u);
}

TEST(ByteView, ReadsBothByteOrders) {
  const Bytes data{0x12, 0x34, 0x56, 0x78};
  const ByteView v(data);
  EXPECT_EQ(*v.u16(0, true), 0x1234);
  EXPECT_EQ(*v.u16(0, false), 0x3412);
  EXPECT_EQ(*v.u32(0, true), 0x12345678u);
  EXPECT_EQ(*v.u32(0, false), 0x78563412u);
}

TEST(ByteCursor, ReadPastEndThrowsAndKeepsPosition) {
  const Bytes data{1, 2, 3};
  ByteCursor c{ByteView(data)};
  EXPECT_EQ(c.u16(true), 0x0102);
  EXPECT_THROW(c.u16(true), ByteRangeError);
  EXPECT_EQ(c.pos(), 2u);
  EXPECT_EQ(c.u8(), 3);
  EXPECT_TRUE(c.atEnd());
}

TEST(ByteWriter, PatchesOnlyWrittenBytes) {
  ByteWriter w;
  w.u16(0, true);
  w.u32(0xA1B2C3D4, false);
  w.patch16(0, 0xBEEF, true);
  EXPECT_EQ(w.data(), (Bytes{0xBE, 0xEF, 0xD4, 0xC3, 0xB2, 0xA1}));
  EXPECT_THROW(w.patch32(3, 1, true), std::out_of_range);
  EXPECT_THROW(w.patch16(SIZE_MAX, 1, true), std::out_of_range);
}

}  // namespace
}  // namespace velmora
