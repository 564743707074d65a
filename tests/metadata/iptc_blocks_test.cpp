// The IPTC of every APP13 block of a source, read in file order, written as one block and read back:
// the record version first in record 2, the records in IIM's order, datasets cut short by their
// resource noted.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "jpeg_builder.h"
#include "metadata/iptc.h"
#include "metadata/jpegsegments.h"
#include "metadata/jpeglayout.h"
#include "metadata/metadatawriter.h"

namespace velmora {
namespace {

using namespace test;

struct Ds {
  int record, dataset;
  std::string value;
  bool operator==(const Ds&) const = default;
};
void PrintTo(const Ds& d, std::ostream* os) { *os << d.record << ":" << d.dataset << " \"" << d.value << "\""; }

Bytes Datasets(std::initializer_list<Ds> list) {
  Bytes out;
  for (const Ds& d : list) {
    const Bytes one = Dataset(d.record, d.dataset, Text(d.value));
    out.insert(out.end(), one.begin(), one.end());
  }
  return out;
}

Bytes Block(std::initializer_list<Ds> list) { return PhotoshopApp13(Resource(0x0404, Datasets(list))); }

// What an encoder hands over: tables and scan, no metadata.
Bytes EncodedBare() { return Jpeg({}); }

Bytes Write(const Bytes& source, std::vector<TOutputNote>* notes = nullptr) {
  TImgData img;
  img.ScanJpegSegments(source, kPartsAll);
  TOutputOptions o;
  o.metadata = true;
  o.width = 320;
  o.height = 240;
  return WriteJpegOutput(img, EncodedBare(), o, notes);
}

// The datasets of the output's IPTC resource, in the order written; the APP13 segments must follow one
// another and hold one resource.
std::vector<Ds> WrittenDatasets(const Bytes& jpeg) {
  const ByteView v(jpeg);
  Bytes resource;
  std::size_t pos = 2;
  while (v.has(pos, 4) && *v.u8(pos + 1) != 0xDA) {
    const std::size_t length = *v.u16(pos + 2, true);
    if (*v.u8(pos + 1) == 0xED) {
      const auto payload = v.bytes(pos + 4 + 14, length - 2 - 14);
      resource.insert(resource.end(), payload.begin(), payload.end());
    }
    pos += 2 + length;
  }
  const ByteView r(resource);
  EXPECT_EQ(std::string(resource.begin(), resource.begin() + std::min<std::size_t>(4, resource.size())), "8BIM");
  EXPECT_EQ(r.u16(4, true), 0x0404);
  const std::size_t size = r.u32(8, true).value_or(0);
  EXPECT_TRUE(r.has(12, size));
  std::vector<Ds> out;
  for (std::size_t p = 12; p + 5 <= 12 + size;) {
    EXPECT_EQ(*r.u8(p), 0x1C);
    const std::size_t n = *r.u16(p + 3, true);
    const auto value = r.bytes(p + 5, n);
    out.push_back({*r.u8(p + 1), *r.u8(p + 2), std::string(value.begin(), value.end())});
    p += 5 + n;
  }
  return out;
}

std::vector<Ds> ReadDatasets(const Bytes& jpeg) {
  TImgData img;
  img.ScanJpegSegments(jpeg, kPartsAll);
  std::vector<Ds> out;
  if (!img.iptcData) return out;
  for (const TTagEntry& e : img.iptcData->Entries())
    out.push_back({e.tag >> 8, e.tag & 0xFF, std::string(e.raw.begin(), e.raw.end())});
  return out;
}

const std::string kUtf8 = "\x1b%G";
const std::string kVersion4 = std::string("\0\4", 2);
const std::string kVersion2 = std::string("\0\2", 2);

TEST(IptcBlocks, EveryBlockInFileOrderThroughAWriteAndARead) {
  const std::initializer_list<Ds> first = {{1, 90, kUtf8}, {2, 80, "Anna"}, {2, 110, "Pierwszy"}, {2, 25, "a"}};
  const std::initializer_list<Ds> second = {{2, 110, "Drugi"}, {2, 25, "b"}, {2, 221, "0:0:0:-00001"}};
  const Bytes both = Concat({Datasets(first), Datasets(second)});
  const Bytes whole = Resource(0x0404, both);
  const Bytes ducky = Segment(0xEC, Concat({Text("Ducky"), Bytes{0, 1, 0, 4, 0, 0, 0, 90}}));
  struct Row {
    const char* what;
    Bytes source;
  };
  const Row rows[] = {
      {"two segments one after the other", Jpeg({Block(first), Block(second)})},
      {"two segments with another between", Jpeg({Block(first), ducky, Block(second)})},
      {"each block among other resources",
       Jpeg({PhotoshopApp13(Concat({Resource(0x03ED, Bytes(16, 1)), Resource(0x0404, Datasets(first))})),
             PhotoshopApp13(Concat({Resource(0x0404, Datasets(second)), Resource(0x0425, Bytes(16, 2))}))})},
      {"one resource split over two segments, inside a dataset, as Photoshop splits them",
       Jpeg({PhotoshopApp13(Bytes(whole.begin(), whole.begin() + 40)),
             PhotoshopApp13(Bytes(whole.begin() + 40, whole.end()))})},
      {"two resources in one segment",
       Jpeg({PhotoshopApp13(Concat({Resource(0x0404, Datasets(first)), Resource(0x0404, Datasets(second))}))})},
  };
  std::vector<Ds> expected(first);
  expected.insert(expected.end(), second);
  std::vector<Ds> written = {{1, 90, kUtf8}, {2, 0, kVersion4}};
  written.insert(written.end(), first.begin() + 1, first.end());
  written.insert(written.end(), second.begin(), second.end());
  for (const Row& r : rows) {
    ASSERT_EQ(ReadDatasets(r.source), expected) << r.what;
    const Bytes out = Write(r.source);
    EXPECT_EQ(WrittenDatasets(out), written) << r.what;
    EXPECT_EQ(ReadDatasets(out), expected) << r.what;
  }
}

TEST(IptcBlocks, RecordVersionFirstInRecord2AndTheRecordsInOrder) {
  struct Row {
    const char* what;
    std::vector<Bytes> blocks;
    std::vector<Ds> written;
  };
  const Row rows[] = {
      {"the version in the second block, after the first block's record 1",
       {Block({{1, 90, kUtf8}}), Block({{2, 0, kVersion2}, {2, 5, "tytuł"}})},
       {{1, 90, kUtf8}, {2, 0, kVersion2}, {2, 5, "tytuł"}}},
      {"each block with its own version: the first one read",
       {Block({{2, 0, std::string("\0\3", 2)}, {2, 5, "a"}}), Block({{2, 0, kVersion4}, {2, 5, "b"}})},
       {{2, 0, std::string("\0\3", 2)}, {2, 5, "a"}, {2, 5, "b"}}},
      {"the version after other datasets of record 2",
       {Block({{2, 5, "a"}, {2, 0, kVersion2}, {2, 120, "c"}})},
       {{2, 0, kVersion2}, {2, 5, "a"}, {2, 120, "c"}}},
      {"no version: 4",
       {Block({{2, 5, "a"}}), Block({{2, 120, "c"}})},
       {{2, 0, kVersion4}, {2, 5, "a"}, {2, 120, "c"}}},
      {"no record 2: no version", {Block({{1, 90, kUtf8}}), Block({{8, 10, "s"}})}, {{1, 90, kUtf8}, {8, 10, "s"}}},
      // IIM wants the records in ascending order; the blocks one after another need not give them so.
      {"record 1 in each block",
       {Block({{1, 90, kUtf8}, {2, 5, "a"}}), Block({{1, 90, kUtf8}, {2, 120, "c"}, {8, 10, "s"}}),
        Block({{2, 25, "k"}})},
       {{1, 90, kUtf8}, {1, 90, kUtf8}, {2, 0, kVersion4}, {2, 5, "a"}, {2, 120, "c"}, {2, 25, "k"}, {8, 10, "s"}}},
      {"record 8 before record 2",
       {Block({{8, 10, "s"}}), Block({{2, 5, "a"}})},
       {{2, 0, kVersion4}, {2, 5, "a"}, {8, 10, "s"}}},
  };
  for (const Row& r : rows) {
    Bytes source = Jpeg({});
    source.insert(source.begin() + 2, r.blocks.front().begin(), r.blocks.front().end());
    std::size_t at = 2 + r.blocks.front().size();
    for (std::size_t i = 1; i < r.blocks.size(); ++i) {
      // Apart, so each is a block of its own.
      const Bytes between = Concat({Segment(0xEC, Text("Ducky")), r.blocks[i]});
      source.insert(source.begin() + static_cast<std::ptrdiff_t>(at), between.begin(), between.end());
      at += between.size();
    }
    EXPECT_EQ(WrittenDatasets(Write(source)), r.written) << r.what;
  }
}

TEST(IptcBlocks, ADatasetRunningPastItsResourceKeepsTheRestAndIsNoted) {
  // 2:120 says 256 bytes; its resource ends after 6.
  const Bytes runsOn = Concat({Datasets({{2, 5, "przed"}}), Bytes{0x1C, 2, 120, 0x01, 0x00}, Text("krótki")});
  const Bytes extendedRunsOn =
      Concat({Datasets({{2, 5, "przed"}}), Bytes{0x1C, 2, 120, 0x80, 0x04, 0x00, 0x01, 0x00, 0x00}, Text("x")});
  // The resource says 0x1000 bytes; the segment ends before.
  ByteWriter cutShort;
  cutShort.text("8BIM");
  cutShort.u16(0x0404, true);
  cutShort.u16(0, true);
  cutShort.u32(0x1000, true);
  cutShort.bytes(Datasets({{2, 5, "przed"}}));
  cutShort.bytes(Bytes{0x1C, 2, 120, 0x00, 0x40, 'a', 'b'});
  struct Row {
    const char* what;
    Bytes source;
    std::vector<Ds> read;
  };
  const Row rows[] = {
      {"into the next resource, whose bytes are no datasets; the IPTC resource after it is read",
       Jpeg({PhotoshopApp13(Concat({Resource(0x0404, runsOn), Resource(0x03ED, Datasets({{2, 80, "obcy"}})),
                                    Resource(0x0404, Datasets({{2, 110, "po"}}))}))}),
       {{2, 5, "przed"}, {2, 110, "po"}}},
      {"in the first of two blocks",
       Jpeg({PhotoshopApp13(Resource(0x0404, runsOn)), Segment(0xEC, Text("Ducky")), Block({{2, 110, "po"}})}),
       {{2, 5, "przed"}, {2, 110, "po"}}},
      {"an extended length",
       Jpeg({PhotoshopApp13(Resource(0x0404, extendedRunsOn)), Block({{2, 110, "po"}})}),
       {{2, 5, "przed"}, {2, 110, "po"}}},
      {"a resource longer than its segment", Jpeg({PhotoshopApp13(cutShort.take())}), {{2, 5, "przed"}}},
  };
  for (const Row& r : rows) {
    TImgData img;
    img.ScanJpegSegments(r.source, kPartsAll);
    ASSERT_TRUE(img.iptcData) << r.what;
    EXPECT_TRUE(img.iptcData->Truncated()) << r.what;
    EXPECT_EQ(ReadDatasets(r.source), r.read) << r.what;
    std::vector<TOutputNote> notes;
    const Bytes out = Write(r.source, &notes);
    EXPECT_EQ(notes, (std::vector<TOutputNote>{{TOutputNote::Kind::kMetadata, "dane IPTC ucięte w pliku źródłowym"}}))
        << r.what;
    EXPECT_EQ(ReadDatasets(out), r.read) << r.what;
  }
  // Whole datasets say nothing.
  std::vector<TOutputNote> notes;
  Write(Jpeg({Block({{2, 5, "a"}}), Block({{2, 110, "po"}})}), &notes);
  EXPECT_TRUE(notes.empty());
}

// IPTC that a cataloguing program stored after the picture's end, in its three forms; carried unless
// the APP13 segments hold other records, which is noted.
TEST(IptcBlocks, ATrailerAfterThePicturesEndIsCarried) {
  const std::initializer_list<Ds> tail = {{2, 5, "za końcem"}, {2, 25, "k"}};
  const std::initializer_list<Ds> head = {{2, 5, "w nagłówku"}};
  const auto after = [](const Bytes& jpeg, const Bytes& trailer) { return Concat({jpeg, trailer}); };
  // A segment between scans whose payload holds FF D9 and what looks like datasets.
  Bytes tricky = Jpeg({});
  const Bytes dht = Segment(0xC4, Concat({Bytes{0xFF, 0xD9}, Datasets({{2, 5, "w segmencie"}})}));
  tricky.insert(tricky.end() - 2, dht.begin(), dht.end());
  const std::string left = "inne dane IPTC za końcem obrazu pominięte";
  struct Row {
    const char* what;
    Bytes source;
    std::vector<Ds> read;
    std::vector<std::string> notes;
  };
  const Row rows[] = {
      {"bare datasets", after(Jpeg({}), Datasets(tail)), tail, {}},
      {"an 8BIM resource", after(Jpeg({}), Resource(0x0404, Datasets(tail))), tail, {}},
      {"a Photoshop block",
       after(Jpeg({}), Concat({Text(std::string("Photoshop 3.0\0", 14)), Resource(0x0404, Datasets(tail))})),
       tail,
       {}},
      {"after a segment between scans", after(tricky, Datasets(tail)), tail, {}},
      {"the same records in APP13 too", after(Jpeg({Block(tail)}), Datasets(tail)), tail, {}},
      {"other records in APP13", after(Jpeg({Block(head)}), Datasets(tail)), head, {left}},
      {"a second picture, whose APP13 is its own", after(Jpeg({}), Jpeg({Block(tail)})), {}, {}},
      {"no end of the picture", Bytes(tricky.begin(), tricky.end() - 2), {}, {}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ReadDatasets(r.source), r.read) << r.what;
    std::vector<TOutputNote> notes;
    const Bytes out = Write(r.source, &notes);
    std::vector<std::string> causes;
    for (const TOutputNote& n : notes) causes.push_back(n.cause);
    EXPECT_EQ(causes, r.notes) << r.what;
    EXPECT_EQ(ReadDatasets(out), r.read) << r.what;
  }
}

// As an outside reader sees it: both blocks' datasets, and no complaint about their order.
TEST(IptcBlocks, ExifToolReadsBothBlocksWithoutWarning) {
  QTemporaryDir dir;
  const std::string file = dir.filePath("two.jpg").toStdString();
  writeFileAtomically(file, Write(Jpeg({Block({{1, 90, kUtf8}, {2, 110, "Pierwszy"}}), Segment(0xEC, Text("Ducky")),
                                        Block({{1, 90, kUtf8}, {2, 110, "Drugi"}, {2, 25, "b"}})})));
  QProcess p;
  p.start("exiftool", {"-a", "-s", "-validate", "-warning", "-IPTC:all", QString::fromStdString(file)});
  ASSERT_TRUE(p.waitForFinished(60000));
  const QString out = QString::fromUtf8(p.readAllStandardOutput());
  EXPECT_TRUE(out.contains(QRegularExpression("Credit +: Pierwszy\nCredit +: Drugi\n"))) << out.toStdString();
  EXPECT_TRUE(out.contains(QRegularExpression("ApplicationRecordVersion +: 4\n"))) << out.toStdString();
  EXPECT_FALSE(out.contains("IPTC doesn't conform")) << out.toStdString();
}

}  // namespace
}  // namespace velmora
