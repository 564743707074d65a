#include "metadata/jpegsegments.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jpeg_builder.h"
#include "metadata/messages.h"

namespace velmora {
namespace {

using namespace test;

Bytes SmallExif(bool be = false) {
  const TiffBuilder b(be);
  return b.Build({{{b.Ascii(0x010F, "Maker"), b.Short(0x0112, {6})}}});
}

Bytes Iptc(const std::string& keyword) {
  return PhotoshopApp13(Resource(0x0404, Concat({Dataset(2, 25, Text(keyword))})));
}

class TempDir {
 public:
  TempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("velmora_meta_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string Write(const std::string& name, const Bytes& bytes) const {
    const auto p = path_ / name;
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return p.string();
  }

 private:
  std::filesystem::path path_;
};

TEST(JpegSegments, KeepsApp0ExifAndScanHeaderAndTakesTheSizeFromSof0) {
  const Bytes file = Jpeg({Segment(0xE0, Text("JFIF\0\1\1\0\0\1\0\1\0\0")), ExifApp1(SmallExif())}, 1600, 1200);
  TImgData img;
  ASSERT_TRUE(img.ScanJpegSegments(file, kPartsAll));
  ASSERT_EQ(img.SectionCount(), 3);
  EXPECT_EQ(img.sections[0].marker, 0xE0);
  EXPECT_EQ(img.sections[1].marker, 0xE1);
  EXPECT_EQ(img.sections[2].marker, 0xDA);
  EXPECT_EQ(img.exifSection, 1);
  EXPECT_EQ(img.app0Section, 0);
  EXPECT_EQ(img.imageWidth, 1600);
  EXPECT_EQ(img.imageHeight, 1200);
  EXPECT_TRUE(img.HasExif());
  // A kept segment reproduces its bytes: 0xFF, marker, data.
  const auto& s = img.sections[1];
  EXPECT_EQ(static_cast<int>(s.data.size()), s.size);
  const Bytes app1 = ExifApp1(SmallExif());
  EXPECT_TRUE(std::equal(s.data.begin(), s.data.end(), app1.begin() + 2));
}

TEST(JpegSegments, TheExifBlockIsFoundAnywhereBeforeTheScan) {
  const Bytes app0 = Segment(0xE0, Text("JFIF"));
  const Bytes noIptc = PhotoshopApp13(Resource(0x03ED, Bytes(16, 0)));
  const Bytes table = Segment(0xDB, Bytes(65, 0));
  const auto kept = [&](int n) {
    std::vector<Bytes> segments;
    for (int i = 0; i < n; ++i) segments.push_back(i % 2 ? noIptc : app0);
    return segments;
  };
  const auto file = [&](std::vector<Bytes> before, bool exifAfterScan = false) {
    Bytes out{0xFF, 0xD8};
    if (!exifAfterScan) before.push_back(ExifApp1(SmallExif()));
    before.push_back(Sof0(640, 480));
    before.push_back(Bytes{0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0});
    if (exifAfterScan) before.push_back(ExifApp1(SmallExif()));
    for (const Bytes& b : before) out.insert(out.end(), b.begin(), b.end());
    for (const std::uint8_t b : {0x12, 0x34, 0xFF, 0xD9}) out.push_back(b);
    return out;
  };
  std::vector<Bytes> tables(30, table);
  struct Row {
    const char* what;
    Bytes file;
    bool exif;
  } rows[] = {
      {"EXIF after three kept segments", file(kept(3)), true},
      {"EXIF after four kept segments", file(kept(4)), true},
      {"EXIF after nineteen kept segments", file(kept(19)), true},
      {"EXIF after twenty kept segments", file(kept(20)), true},
      {"tables and released segments do not count", file(tables), true},
      {"EXIF after the scan header", file({}, true), false},
  };
  for (const auto& r : rows) {
    TImgData img;
    EXPECT_EQ(img.ScanJpegSegments(r.file, kPartsAll), r.exif) << r.what;
    EXPECT_EQ(img.HasExif(), r.exif) << r.what;
    if (r.exif) {
      EXPECT_EQ(img.exifInfo->GetTagText("Make"), "Maker") << r.what;
    }
  }
}

TEST(JpegSegments, CommentsAreReadButKeepNoSlot) {
  const Bytes file = Jpeg({Segment(0xFE, Text("first")), Segment(0xFE, Text("second"))});
  TImgData img;
  ASSERT_TRUE(img.ScanJpegSegments(file, kPartsAll));
  EXPECT_EQ(img.comment, "second");
  EXPECT_EQ(img.SectionCount(), 1);  // the scan header only
  // Without the comment bit the comment segments are kept as they are.
  TImgData noComment;
  EXPECT_FALSE(noComment.ScanJpegSegments(file, kPartExif | kPartIptc));
  EXPECT_EQ(noComment.SectionCount(), 3);
}

TEST(JpegSegments, AnXmpPacketBeforeTheExifBlockDoesNotHideIt) {
  const Bytes xmp = Segment(0xE1, Text(std::string("http://ns.adobe.com/xap/1.0/") + '\0' + "<x:xmpmeta/>"));
  TImgData img;
  ASSERT_TRUE(img.ScanJpegSegments(Jpeg({xmp, ExifApp1(SmallExif())}), kPartsAll));
  ASSERT_TRUE(img.HasExif());
  EXPECT_EQ(img.exifInfo->GetTagText("Make"), "Maker");
  EXPECT_EQ(img.SectionCount(), 2);  // the XMP packet keeps no slot
  ASSERT_EQ(img.xmpSegments.size(), 1u);
  EXPECT_EQ(img.xmpSegments[0], Bytes(xmp.begin() + 2, xmp.end()));

  // XMP alone is metadata, to be carried; without kPartExif it is not read.
  TImgData onlyXmp;
  EXPECT_TRUE(onlyXmp.ScanJpegSegments(Jpeg({xmp}), kPartsAll));
  EXPECT_FALSE(onlyXmp.HasExif());
  EXPECT_TRUE(onlyXmp.HasXmp());
  TImgData noExifPart;
  EXPECT_FALSE(noExifPart.ScanJpegSegments(Jpeg({xmp}), kPartIptc | kPartComment));
  EXPECT_FALSE(noExifPart.HasXmp());
}

TEST(JpegSegments, ExifHeaderFaultsStopDecodingOnly) {
  struct Row {
    const char* what;
    Bytes payload;
    ReadProblem problem;
    const char* error;
  } rows[] = {
      {"identifier", Concat({Text("Exig"), Bytes{0, 0}, SmallExif()}), ReadProblem::kIncorrectExifHeader,
       msg::kIncorrectExifHeader},
      {"byte order", Concat({Text("Exif"), Bytes{0, 0}, Text("XX"), Bytes(30, 0)}), ReadProblem::kInvalidAlignment,
       msg::kInvalidAlignment},
      {"cut after the identifier", Concat({Text("Exif"), Bytes{0, 0}}), ReadProblem::kInvalidAlignment,
       msg::kInvalidAlignment},
  };
  for (const auto& r : rows) {
    TImgData img;
    img.sections.push_back({Concat({Bytes{0, static_cast<std::uint8_t>(r.payload.size() + 2)}, r.payload}), 0xE1,
                            static_cast<int>(r.payload.size() + 2)});
    img.exifSection = 0;
    img.DecodeExifSection();
    EXPECT_EQ(img.report.problem, r.problem) << r.what;
    EXPECT_EQ(img.report.text, r.error) << r.what;
    ASSERT_TRUE(img.HasExif()) << r.what;
    EXPECT_EQ(img.exifInfo->EntryCount(), 0) << r.what;
  }
}

TEST(JpegSegments, HostileSegmentsEndTheScanCleanly) {
  const Bytes exif = ExifApp1(SmallExif());
  struct Row {
    const char* what;
    Bytes bytes;
    bool result;
    int sections;
  } rows[] = {
      {"empty", {}, false, 0},
      {"only SOI", {0xFF, 0xD8}, false, 0},
      {"not a JPEG", Text("GIF89a"), false, 0},
      {"SOI then fill bytes", {0xFF, 0xD8, 0xFF, 0xFF, 0xFF}, false, 0},
      {"length below 2", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xD9}, false, 0},
      {"length past the end", {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 1, 2, 3}, false, 0},
      {"EXIF then a cut segment", Concat({Bytes{0xFF, 0xD8}, exif, Bytes{0xFF, 0xE2, 0x10, 0x00, 1}}), true, 1},
      {"EXIF then EOI", Concat({Bytes{0xFF, 0xD8}, exif, Bytes{0xFF, 0xD9}}), true, 2},
      {"garbage where a marker should be", Concat({Bytes{0xFF, 0xD8}, exif, Bytes{0x12, 0x00, 0x04, 0, 0}}), true, 1},
      {"fill bytes before a marker", Concat({Bytes{0xFF, 0xD8, 0xFF, 0xFF}, exif}), true, 1},
  };
  for (const auto& r : rows) {
    TImgData img;
    EXPECT_EQ(img.ScanJpegSegments(r.bytes, kPartsAll), r.result) << r.what;
    EXPECT_EQ(img.SectionCount(), r.sections) << r.what;
  }
}

// No count of segments hides metadata; a header over its byte budget does, and says where it stopped.
TEST(JpegSegments, TheHeaderHasAByteBudgetNotASegmentCount) {
  const Bytes iptc = PhotoshopApp13(Resource(0x0404, Dataset(2, 25, Text("słowo"))));
  const Bytes filler = Segment(0xE0, Bytes(65000, 0));
  for (const int fillers : {0, 520}) {
    Bytes file{0xFF, 0xD8};
    for (int i = 0; i < fillers + 20; ++i)
      file.insert(file.end(), (i < fillers ? filler : iptc).begin(), (i < fillers ? filler : iptc).end());
    const Bytes rest = Jpeg({ExifApp1(SmallExif()), Segment(0xE1, Text(std::string(kXmpId) + '\0' + "<x/>"))});
    file.insert(file.end(), rest.begin() + 2, rest.end());
    TImgData img;
    img.ScanJpegSegments(file, kPartsAll);
    EXPECT_EQ(img.HasExif() && img.HasXmp() && img.iptcData->Count() == 20, fillers == 0);
    EXPECT_EQ(img.report.headerCutAt, fillers > 0 ? 2 + 517 * filler.size() : 0) << "the first segment past 32 MiB";
  }
}

TEST(JpegSegments, ProgressiveFramesLeaveTheSizeUnknown) {
  Bytes file = Jpeg({ExifApp1(SmallExif())});
  // Turn the SOF0 marker into SOF2.
  for (std::size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == 0xC0) file[i + 1] = 0xC2;
  TImgData img;
  EXPECT_TRUE(img.ScanJpegSegments(file, kPartsAll));
  EXPECT_EQ(img.imageWidth, 0);
  EXPECT_EQ(img.imageHeight, 0);
}

TEST(JpegSegments, OpenFileDispatchesByExtensionAndReportsTheOutcome) {
  TempDir dir;
  const Bytes withExif = Jpeg({ExifApp1(SmallExif())});
  const Bytes plain = Jpeg({});
  struct Row {
    const char* name;
    const Bytes* bytes;
    bool result;
    ReadOutcome outcome;
    std::string error;  // "{}" stands for the path
  } rows[] = {
      {"upper.JPG", &withExif, true, ReadOutcome::kRead, "<none>"},
      {"lower.jpeg", &withExif, true, ReadOutcome::kRead, "<none>"},
      {"other.JPE", &withExif, true, ReadOutcome::kRead, "<none>"},
      {"picture.png", &withExif, false, ReadOutcome::kFormatNotSupported, "File format not supported"},
      {"plain.jpg", &plain, false, ReadOutcome::kCannotRead, "Cannot read \"{}\""},
  };
  for (const auto& r : rows) {
    const std::string path = dir.Write(r.name, *r.bytes);
    TImgData img;
    EXPECT_EQ(img.OpenFile(path), r.result) << r.name;
    std::string expected = r.error;
    if (const auto at = expected.find("{}"); at != std::string::npos) expected.replace(at, 2, path);
    EXPECT_EQ(img.report.outcome, r.outcome) << r.name;
    EXPECT_EQ(img.report.text, expected) << r.name;
    EXPECT_EQ(img.fileName, path) << r.name;
    EXPECT_EQ(img.fileSize, static_cast<std::int64_t>(r.bytes->size())) << r.name;
  }
  TImgData missing;
  EXPECT_FALSE(missing.OpenFile((std::filesystem::temp_directory_path() / "velmora_no_such_file.jpg").string()));
  EXPECT_EQ(missing.report.text, "");
  TImgData plainFile;
  EXPECT_FALSE(plainFile.OpenForMetadata(dir.Write("plain2.jpg", plain)));
}

TEST(JpegSegments, IptcAndCommentAloneAreMetadata) {
  TImgData img;
  EXPECT_TRUE(img.ScanJpegSegments(Jpeg({Iptc("alpha")}), kPartsAll));
  EXPECT_TRUE(img.HasIptc());
  EXPECT_FALSE(img.HasExif());
  // A later APP13 without IPTC does not replace the records read.
  TImgData two;
  EXPECT_TRUE(two.ScanJpegSegments(Jpeg({Iptc("alpha"), PhotoshopApp13(Resource(0x03ED, Bytes(16, 0)))}), kPartsAll));
  EXPECT_EQ(two.iptcData->GetTagText("Keywords", ""), "alpha");
}

TEST(JpegSegments, ThumbnailBytesAreHandedOver) {
  const TiffBuilder b(false);
  const Bytes thumb = {0xFF, 0xD8, 1, 2, 3, 4, 0xFF, 0xD9};
  TiffDir ifd0{{b.Ascii(0x010F, "Maker")}, 1};
  TiffEntry offset = b.Long(0x0201, {0});
  offset.blobOffset = true;
  TiffDir ifd1{{b.Short(0x0103, {6}), offset, b.Long(0x0202, {static_cast<std::uint32_t>(thumb.size())})}, -1, thumb};
  TImgData img;
  ASSERT_TRUE(img.ScanJpegSegments(Jpeg({ExifApp1(b.Build({ifd0, ifd1}))}), kPartsAll));
  EXPECT_TRUE(img.HasThumbnail());
  EXPECT_EQ(img.ThumbnailAsJpeg(), thumb);
  TImgData none;
  ASSERT_TRUE(none.ScanJpegSegments(Jpeg({ExifApp1(SmallExif())}), kPartsAll));
  EXPECT_FALSE(none.ThumbnailAsJpeg().has_value());
}

TEST(JpegSegments, TiffFilesAreReadFromTheirFirstDirectory) {
  const TiffBuilder b(true);
  const Bytes tiff = b.Build({{{b.Long(0x0100, {3000}), b.Long(0x0101, {2000}), b.Ascii(0x010F, "NIKON")}}});
  TImgData img;
  ASSERT_TRUE(img.ScanTiffStream(tiff));
  ASSERT_TRUE(img.HasExif());
  EXPECT_EQ(img.exifInfo->GetImageWidth(), 3000);
  EXPECT_EQ(img.exifInfo->GetTagText("Make"), "NIKON");
  // The window holds only the bytes that are there.
  EXPECT_EQ(img.sections[0].data.size(), tiff.size() - 8);
  TempDir dir;
  TImgData file;
  EXPECT_TRUE(file.OpenFile(dir.Write("scan.TIF", tiff)));
  EXPECT_FALSE(file.isTiff);
  TImgData notTiff;
  EXPECT_FALSE(notTiff.ScanTiffStream(Text("XX")));
}

TEST(JpegSegments, OrientationFromIfd0OnlyWhenItIsOneShortFrom2To8) {
  struct Row {
    std::string what;
    bool be;
    std::vector<TiffEntry> ifd0;
    std::vector<TiffEntry> ifd1;
    int orientation;
  };
  std::vector<Row> rows;
  for (const bool be : {false, true}) {
    const TiffBuilder b(be);
    for (std::uint16_t v = 0; v <= 10; ++v)
      rows.push_back({"SHORT " + std::to_string(v),
                      be,
                      {b.Ascii(0x010F, "M"), b.Short(0x0112, {v})},
                      {},
                      v >= 2 && v <= 8 ? v : 1});
    rows.push_back({"65535", be, {b.Short(0x0112, {65535})}, {}, 1});
    rows.push_back({"LONG 6", be, {b.Long(0x0112, {6})}, {}, 1});
    rows.push_back({"two SHORTs", be, {b.Short(0x0112, {6, 6})}, {}, 1});
    rows.push_back({"in IFD1 only", be, {b.Ascii(0x010F, "M")}, {b.Short(0x0112, {6})}, 1});
    rows.push_back({"none", be, {b.Ascii(0x010F, "M")}, {}, 1});
  }
  for (const Row& r : rows) {
    const TiffBuilder b(r.be);
    std::vector<TiffDir> dirs{{r.ifd0, r.ifd1.empty() ? -1 : 1}};
    if (!r.ifd1.empty()) dirs.push_back({r.ifd1});
    const Bytes app1 = ExifApp1(b.Build(dirs));
    const std::string what = r.what + (r.be ? " MM" : " II");
    // Decoded with the EXIF block, read alone for a plain save, and straight from the segment: the same.
    TImgData full, light;
    full.ScanJpegSegments(Jpeg({app1}), kPartsAll);
    ASSERT_TRUE(full.HasExif()) << what;
    EXPECT_EQ(full.Orientation(), r.orientation) << what;
    light.ScanJpegSegments(Jpeg({app1}), kPartOrientation);
    EXPECT_FALSE(light.HasExif()) << what << ": not decoded";
    EXPECT_EQ(light.Orientation(), r.orientation) << what;
    EXPECT_EQ(ReadExifOrientation(Bytes(app1.begin() + 2, app1.end())), r.orientation) << what;
  }
}

TEST(JpegSegments, OrientationReadAloneSkipsOtherApp1AndSurvivesDamage) {
  const Bytes xmp = Segment(0xE1, Text("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>"));
  TImgData img;
  img.ScanJpegSegments(Jpeg({xmp, ExifApp1(SmallExif(true))}), kPartOrientation);
  EXPECT_EQ(img.Orientation(), 6);
  TImgData none;
  none.ScanJpegSegments(Jpeg({ExifApp1(SmallExif())}), kPartIcc);
  EXPECT_EQ(none.Orientation(), 1) << "not asked for";
  const Bytes app1 = ExifApp1(SmallExif());
  const Bytes data(app1.begin() + 2, app1.end());
  // A cut block gives 1 until the whole entry is there, then 6.
  int previous = 1;
  for (std::size_t n = 0; n <= data.size(); ++n) {
    const int o = ReadExifOrientation(Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n)));
    EXPECT_TRUE(o == previous || (previous == 1 && o == 6)) << n;
    previous = o;
  }
  EXPECT_EQ(previous, 6);
  for (const std::uint32_t ifd0 : {0u, 7u, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
    Bytes bad = data;
    for (int i = 0; i < 4; ++i) bad[12 + i] = static_cast<std::uint8_t>(ifd0 >> (8 * i));
    EXPECT_EQ(ReadExifOrientation(bad), 1) << ifd0;
  }
}

}  // namespace
}  // namespace velmora
