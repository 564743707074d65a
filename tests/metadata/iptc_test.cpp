#include "metadata/iptc.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "jpeg_builder.h"
#include "metadata/messages.h"

namespace velmora {
namespace {

using namespace test;

// The segment data as the scan keeps it: the length bytes and the payload.
Bytes SegmentData(const Bytes& segment) { return Bytes(segment.begin() + 2, segment.end()); }

TIPTCdata Parse(const Bytes& resources) {
  TIPTCdata iptc;
  iptc.ParseApp13(SegmentData(PhotoshopApp13(resources)));
  return iptc;
}

TEST(Iptc, RepeatedKeywordsAreMergedIntoTheFirstEntry) {
  const auto iptc = Parse(Resource(0x0404, Concat({Dataset(2, 25, Text("alpha")), Dataset(2, 25, Text("beta")),
                                                   Dataset(2, 25, Text("Alpha")), Dataset(2, 120, Text("Caption"))})));
  ASSERT_EQ(iptc.Count(), 4);
  EXPECT_EQ(iptc.EntryAt(0).name, "Keywords");
  EXPECT_EQ(iptc.EntryAt(0).raw, Text("alpha"));
  EXPECT_EQ(iptc.EntryAt(0).data, "alpha,beta");  // "Alpha" is already there, whatever its case
  EXPECT_EQ(iptc.EntryAt(0).count, 65535);
  EXPECT_EQ(iptc.EntryAt(1).raw, Text("beta"));
  EXPECT_EQ(iptc.EntryAt(2).raw, Text("Alpha"));
  EXPECT_EQ(iptc.EntryAt(3).name, "ImageCaption");
  EXPECT_EQ(iptc.EntryAt(3).tag, 0x0278);
  EXPECT_EQ(iptc.EntryAt(3).type, 2);
  EXPECT_EQ(iptc.EntryAt(3).rawSize, 2000);
  EXPECT_EQ(iptc.GetTagText("keywords", "-"), "alpha,beta");
  EXPECT_EQ(iptc.GetTagText("City", "-"), "-");
}

TEST(Iptc, UnknownDatasetsGetGeneratedNamesAndTheRecordVersionIsDropped) {
  const auto iptc = Parse(Resource(
      0x0404, Concat({Dataset(2, 0, Bytes{0, 4}), Dataset(2, 200, Bytes{0, 11}), Dataset(1, 90, Bytes{0x1B, '%', 'G'}),
                      Dataset(3, 10, Text("x")), Dataset(8, 10, Text("sub"))})));
  ASSERT_EQ(iptc.Count(), 3);
  EXPECT_EQ(iptc.EntryAt(0).name, "Custom_200");
  EXPECT_EQ(iptc.EntryAt(0).desc, "Custom_200");
  EXPECT_EQ(iptc.EntryAt(0).tag, 0x02C8);
  EXPECT_EQ(iptc.EntryAt(0).type, 0);
  EXPECT_EQ(iptc.EntryAt(0).rawSize, 64);
  EXPECT_EQ(iptc.EntryAt(0).raw, (Bytes{0, 11}));
  EXPECT_EQ(iptc.EntryAt(1).name, "CodedCharacterSet");
  EXPECT_EQ(iptc.EntryAt(2).name, "Subfile");
}

TEST(Iptc, FindsTheIptcResourceAmongOthers) {
  const Bytes datasets = Dataset(2, 90, Text("Kraków"));
  struct Row {
    const char* what;
    Bytes resources;
  } rows[] = {
      {"after an even-sized resource", Concat({Resource(0x03ED, Bytes(16, 7)), Resource(0x0404, datasets)})},
      {"after an odd-sized, padded resource", Concat({Resource(0x0425, Bytes(15, 7)), Resource(0x0404, datasets)})},
      {"after an odd-sized resource without padding",
       Concat({Resource(0x0425, Bytes(15, 7), "", false), Resource(0x0404, datasets)})},
      {"after resources with names of odd and even length",
       Concat(
           {Resource(0x03F3, Bytes(8, 1), "Name"), Resource(0x0408, Bytes(4, 2), "Odd"), Resource(0x0404, datasets)})},
      {"with a name of its own", Resource(0x0404, datasets, "IPTC")},
  };
  for (const auto& r : rows) {
    const auto iptc = Parse(r.resources);
    ASSERT_EQ(iptc.Count(), 1) << r.what;
    EXPECT_EQ(iptc.EntryAt(0).data, "Kraków") << r.what;
  }
}

TEST(Iptc, TextsBecomeUtf8) {
  const auto iptc = Parse(Resource(0x0404, Concat({Dataset(2, 116, Bytes{0xA9, ' ', 'Z', 'a', 'j', 0xB9, 'c'}),
                                                   Dataset(2, 90, Text("Łódź")), Dataset(2, 5, Text("title\0"))})));
  ASSERT_EQ(iptc.Count(), 3);
  EXPECT_EQ(iptc.EntryAt(0).data, "© Zając");  // Windows-1250 bytes
  EXPECT_EQ(iptc.EntryAt(1).data, "Łódź");
  EXPECT_EQ(iptc.EntryAt(2).data, "title");  // one trailing zero byte removed
}

TEST(Iptc, HostileBlocksGiveFewerEntries) {
  ByteWriter hugeResource;
  hugeResource.text("8BIM");
  hugeResource.u16(0x03ED, true);
  hugeResource.u16(0, true);
  hugeResource.u32(0xFFFFFFFF, true);
  ByteWriter hugeIptc;
  hugeIptc.text("8BIM");
  hugeIptc.u16(0x0404, true);
  hugeIptc.u16(0, true);
  hugeIptc.u32(0xFFFFFFFF, true);
  hugeIptc.bytes(Dataset(2, 25, Text("kept")));
  struct Row {
    const char* what;
    Bytes data;
    int count;
  } rows[] = {
      {"no Photoshop identifier", SegmentData(Segment(0xED, Text("Adobe_CM"))), 0},
      {"not 8BIM", SegmentData(PhotoshopApp13(Text("8BIX\x04\x04"))), 0},
      {"resource size 2^32-1",
       SegmentData(PhotoshopApp13(Concat({hugeResource.take(), Resource(0x0404, Dataset(2, 25, Text("k")))}))), 0},
      {"IPTC resource size past the end", SegmentData(PhotoshopApp13(hugeIptc.take())), 1},
      {"dataset length past the end",
       SegmentData(PhotoshopApp13(
           Resource(0x0404, Concat({Dataset(2, 25, Text("kept")), Bytes{0x1C, 2, 25, 0x7F, 0xFF, 'x'}})))),
       1},
      {"extended length past the end",
       SegmentData(PhotoshopApp13(Resource(
           0x0404, Concat({Dataset(2, 25, Text("kept")), Bytes{0x1C, 2, 202, 0x80, 4, 0xFF, 0xFF, 0xFF, 0xFF}})))),
       1},
      {"not a dataset marker",
       SegmentData(
           PhotoshopApp13(Resource(0x0404, Concat({Dataset(2, 25, Text("kept")), Bytes{0x00, 2, 25, 0, 1, 'x'}})))),
       1},
      {"record 3 first", SegmentData(PhotoshopApp13(Resource(0x0404, Dataset(3, 25, Text("x"))))), 0},
      {"cut inside the header",
       Bytes{0, 20, 'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B'}, 0},
      {"empty", {}, 0},
  };
  for (const auto& r : rows) {
    TIPTCdata iptc;
    iptc.ParseApp13(r.data);
    EXPECT_EQ(iptc.Count(), r.count) << r.what;
  }
}

TEST(Iptc, ThousandsOfRepeatedDatasetsMergeInLinearTime) {
  Bytes datasets;
  for (int i = 0; i < 12000; ++i) {
    const Bytes d = Dataset(2, i % 2 ? 25 : 20, Text(std::to_string(i % 5000)));
    datasets.insert(datasets.end(), d.begin(), d.end());
  }
  TIPTCdata iptc;
  iptc.ParseApp13(Concat({Bytes{0, 0}, Text("Photoshop 3.0"), Bytes{0}, Resource(0x0404, datasets)}));
  ASSERT_EQ(iptc.Count(), 12000);
  // Keywords hold the odd numbers below 5000, each once.
  const std::string merged = iptc.GetTagText("Keywords", "");
  EXPECT_EQ(std::count(merged.begin(), merged.end(), ',') + 1, 2500);
}

TEST(Iptc, ExtendedDatasetLength) {
  Bytes big(40000, 'p');
  ByteWriter w;
  w.bytes(Bytes{0x1C, 2, 202, 0x80, 0x04});
  w.u32(static_cast<std::uint32_t>(big.size()), true);
  w.bytes(big);
  w.bytes(Dataset(2, 25, Text("after")));
  TIPTCdata iptc;
  // Too large for one segment, so parse the resource from a plain buffer.
  const Bytes data = Concat({Bytes{0, 0}, Text("Photoshop 3.0"), Bytes{0}, Resource(0x0404, w.take())});
  iptc.ParseApp13(data);
  ASSERT_EQ(iptc.Count(), 2);
  EXPECT_EQ(iptc.EntryAt(0).raw.size(), big.size());
  EXPECT_EQ(iptc.EntryAt(1).data, "after");
}

TEST(Iptc, Operations) {
  TIPTCdata iptc;
  EXPECT_EQ(iptc.SetTag("City", Text("Gdańsk")), 0);
  EXPECT_EQ(iptc.SetTag("City", Text("Sopot")), 0);  // not repeatable: replaced
  EXPECT_EQ(iptc.GetTagText("City", ""), "Sopot");
  EXPECT_EQ(iptc.SetTag("Keywords", Text("a")), 1);
  EXPECT_EQ(iptc.SetTag("Keywords", Text("b, c")), 2);
  EXPECT_EQ(iptc.GetTagText("Keywords", ""), "a,b,c");
  EXPECT_EQ(iptc.SetTag("NoSuchDataset", Text("x")), -1);
  EXPECT_EQ(iptc.AddTag("Custom_7", Text("x"), true), -1);
  EXPECT_EQ(iptc.IndexOfNameFrom("keywords", 2), 2);
  iptc.RemoveTag("City");
  EXPECT_EQ(iptc.IndexOfName("City"), -1);
  EXPECT_EQ(iptc.Count(), 2);
  TTagEntry version;
  version.tag = 0x0200;
  EXPECT_EQ(iptc.AddEntry(version), -1);
  EXPECT_EQ(TIPTCdata::DecodeValue(Bytes{0x01, 0x02}, 3), "258");
  try {
    TIPTCdata::DecodeValue(Bytes{1}, 5);
    FAIL() << "no error";
  } catch (const EMetadata& e) {
    EXPECT_STREQ(e.what(), msg::kTagTypeNotSupported);
  }
  iptc.SetCount(0);
  EXPECT_EQ(iptc.Count(), 0);
  EXPECT_EQ(IptcDatasetTable().size(), 50u);
}

}  // namespace
}  // namespace velmora
