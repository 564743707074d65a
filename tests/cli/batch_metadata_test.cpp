// velmora-batch --exif over sources built in the test: what cannot be carried is named on stderr right
// after the file's progress line and the file still counts as written; --strip-gps takes the position
// out of the EXIF block and of every XMP packet and keeps the rest.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/fileio.h"
#include "cli/batch_cli.h"
#include "imaging/jpegcodec.h"
#include "metadata/jpegsegments.h"
#include "metadata/xmp.h"
#include "support/oriented_jpeg.h"

namespace velmora::batch {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

// ---- Sources --------------------------------------------------------------------------------------

constexpr std::uint16_t kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7;

struct Entry {
  std::uint16_t tag, type;
  std::uint32_t count;
  Bytes value;   // little-endian
  int dir = -1;  // a LONG pointing at that directory
};

Entry Ascii(std::uint16_t tag, const std::string& text) {
  Bytes v(text.begin(), text.end());
  v.push_back(0);
  return {tag, kAscii, static_cast<std::uint32_t>(v.size()), v};
}
Entry Rationals(std::uint16_t tag, std::initializer_list<std::uint32_t> parts) {
  ByteWriter w;
  for (const std::uint32_t p : parts) w.u32(p, false);
  return {tag, kRational, static_cast<std::uint32_t>(parts.size() / 2), w.take()};
}
Entry Pointer(std::uint16_t tag, int dir) { return {tag, kLong, 1, Bytes(4, 0), dir}; }
Entry Long(std::uint16_t tag, std::uint32_t v) {
  ByteWriter w;
  w.u32(v, false);
  return {tag, kLong, 1, w.take()};
}
Entry Raw(std::uint16_t tag, std::uint16_t type, const Bytes& value) {
  return {tag, type, static_cast<std::uint32_t>(value.size()), value};
}

constexpr int kBlob = -2;  // Entry::dir: the value is the blob's offset

// A little-endian TIFF structure: the directories in order from offset 8, each followed by its values,
// then the blob (a thumbnail). IFD0's next-directory field points at directory `ifd1` when given.
Bytes Tiff(const std::vector<std::vector<Entry>>& dirs, int ifd1 = -1, const Bytes& blob = {}) {
  std::vector<std::uint32_t> at;
  std::uint32_t pos = 8;
  for (const auto& d : dirs) {
    at.push_back(pos);
    pos += static_cast<std::uint32_t>(2 + 12 * d.size() + 4);
    for (const Entry& e : d)
      if (e.value.size() > 4) pos += static_cast<std::uint32_t>(e.value.size() + e.value.size() % 2);
  }
  const std::uint32_t blobAt = pos;
  ByteWriter w;
  w.text("II");
  w.u16(42, false);
  w.u32(8, false);
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    const auto& d = dirs[i];
    std::uint32_t value = at[i] + static_cast<std::uint32_t>(2 + 12 * d.size() + 4);
    w.u16(static_cast<std::uint16_t>(d.size()), false);
    for (const Entry& e : d) {
      w.u16(e.tag, false);
      w.u16(e.type, false);
      w.u32(e.count, false);
      if (e.dir == kBlob) {
        w.u32(blobAt, false);
      } else if (e.dir >= 0) {
        w.u32(at[static_cast<std::size_t>(e.dir)], false);
      } else if (e.value.size() <= 4) {
        w.bytes(e.value);
        for (std::size_t k = e.value.size(); k < 4; ++k) w.u8(0);
      } else {
        w.u32(value, false);
        value += static_cast<std::uint32_t>(e.value.size() + e.value.size() % 2);
      }
    }
    w.u32(i == 0 && ifd1 >= 0 ? at[static_cast<std::size_t>(ifd1)] : 0, false);
    for (const Entry& e : d)
      if (e.value.size() > 4) {
        w.bytes(e.value);
        if (e.value.size() % 2) w.u8(0);
      }
  }
  w.bytes(blob);
  return w.take();
}

Bytes App1(std::string_view id, const Bytes& payload) {
  ByteWriter w;
  w.u8(0xFF);
  w.u8(0xE1);
  w.u16(static_cast<std::uint16_t>(2 + id.size() + payload.size()), true);
  w.text(std::string(id));
  w.bytes(payload);
  return w.take();
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes ExifApp1(const Bytes& tiff) { return App1(std::string_view("Exif\0\0", 6), tiff); }

Bytes Picture(int w = 240, int h = 160) {
  QImage picture(w, h, QImage::Format_RGB32);
  picture.fill(qRgb(90, 140, 200));
  return encodeJpeg(picture);
}

const std::vector<Entry> kCamera = {Ascii(0x010F, "Velmora Optics"), Ascii(0x0110, "VX-1")};

class BatchMetadata : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    src_ = fs::path(dir_.path().toStdString()) / "src";
    dst_ = fs::path(dir_.path().toStdString()) / "dst";
    fs::create_directory(src_);
  }
  void source(const std::string& name, const Bytes& segments) {
    writeFileAtomically(src_ / name, test::WithSegmentsAfterSoi(Picture(), segments));
  }
  int run(std::vector<std::string> args) {
    err_.str("");
    std::ostringstream out;
    return batchMain(args, out, err_);
  }
  std::vector<std::string> errLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err_.str());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  QTemporaryDir dir_;
  fs::path src_, dst_;
  std::ostringstream err_;
};

std::string ExifToolWithErrors(const std::string& args, const fs::path& file) {
  std::string out;
  std::FILE* p = ::popen(("exiftool " + args + " '" + file.string() + "' 2>&1").c_str(), "r");
  if (!p) return "exiftool did not run";
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

// ---- Usage ----------------------------------------------------------------------------------------

TEST_F(BatchMetadata, StripGpsWithoutExifIsAUsageError) {
  source("a.jpg", {});
  for (const auto& args : std::vector<std::vector<std::string>>{{"--strip-gps", src_.string(), dst_.string()},
                                                                {src_.string(), dst_.string(), "--strip-gps"}}) {
    EXPECT_EQ(run(args), 2);
    EXPECT_EQ(err_.str().rfind("velmora-batch: --strip-gps ma znaczenie tylko razem z --exif\n", 0), 0u) << err_.str();
    EXPECT_THAT(err_.str(), HasSubstr("Użycie: velmora-batch"));
    EXPECT_FALSE(fs::exists(dst_));
  }
  EXPECT_TRUE(parseArguments({"--strip-gps", "--exif", "in", "out"}).run.stripGps);
  EXPECT_FALSE(parseArguments({"--exif", "in", "out"}).run.stripGps);
}

// ---- What is written without some metadata ----------------------------------------------------------

TEST_F(BatchMetadata, AnExifBlockThatNoLongerFitsIsNamedAndTheFileWritten) {
  // IFD0 without the picture's size, so the writer adds ImageWidth and ImageLength (24 bytes), and an
  // entry no table names that makes the block as long as one segment allows.
  constexpr std::size_t kFullTiff = 65535 - 2 - 6;
  const auto filled = [](std::vector<std::vector<Entry>> dirs, int ifd1 = -1, const Bytes& blob = {}) {
    const std::size_t without = Tiff(dirs, ifd1, blob).size() + 12;
    const std::size_t room = kFullTiff - without;
    dirs[0].push_back(Raw(0xC7FE, kUndefined, Bytes(room - room % 2, 0x5A)));  // odd sizes get a pad byte
    return Tiff(dirs, ifd1, blob);
  };
  const Bytes big = ExifApp1(filled({kCamera}));
  ASSERT_GE(big.size(), 65536u);
  ASSERT_LE(big.size(), 65537u);
  source("big.jpg", big);
  // With a thumbnail, the block fits once the thumbnail is left out.
  const Bytes thumbnail = Picture(64, 48);
  const Bytes withThumbnail = ExifApp1(filled(
      {kCamera, {{0x0201, kLong, 1, Bytes(4, 0), kBlob}, Long(0x0202, static_cast<std::uint32_t>(thumbnail.size()))}},
      1, thumbnail));
  ASSERT_GE(withThumbnail.size(), 65536u);
  ASSERT_LE(withThumbnail.size(), 65537u);
  source("thumb.jpg", withThumbnail);
  source("plain.jpg", ExifApp1(Tiff({kCamera})));

  for (const char* jobs : {"1", "3"}) {
    SCOPED_TRACE(jobs);
    fs::remove_all(dst_);
    ASSERT_EQ(run({"--exif", "-j", jobs, "--size", "100", src_.string(), dst_.string()}), 0) << err_.str();
    const std::vector<std::string> lines = errLines();
    ASSERT_EQ(lines.size(), 6u) << err_.str();
    // Each note right after its file's progress line.
    const auto after = [&](const std::string& name) {
      const auto progress =
          std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with("/3 " + name); });
      return progress == lines.end() || progress + 1 == lines.end() ? std::string("(none)") : progress[1];
    };
    EXPECT_EQ(after("big.jpg"),
              "velmora-batch: big.jpg: zapisano bez metadanych: Segment $FFe1 przekracza 65535 bajtów");
    EXPECT_EQ(after("thumb.jpg"),
              "velmora-batch: thumb.jpg: zapisano bez miniatury: Segment $FFe1 przekracza 65535 bajtów");
    EXPECT_THAT(after("plain.jpg"), testing::MatchesRegex("[0-9]/3 .*|velmora-batch: zapisano .*"));
    EXPECT_THAT(lines.back(), testing::StartsWith("velmora-batch: zapisano 3 z 3 plików;"));
    // All written: the first as a plain save, the second without its thumbnail, the third whole.
    for (const char* name : {"_big.jpg", "_thumb.jpg", "_plain.jpg"})
      EXPECT_EQ(loadJpeg(dst_ / name).size(), QSize(100, 67));
    EXPECT_EQ(ExifToolWithErrors("-s3 -IFD0:Make", dst_ / "_big.jpg"), "");
    EXPECT_EQ(ExifToolWithErrors("-s3 -IFD0:Make -IFD0:Model", dst_ / "_thumb.jpg"), "Velmora Optics\nVX-1\n");
    EXPECT_EQ(ExifToolWithErrors("-s3 -IFD1:all", dst_ / "_thumb.jpg"), "");
    EXPECT_EQ(ExifToolWithErrors("-s3 -IFD0:Make", dst_ / "_plain.jpg"), "Velmora Optics\n");
  }
}

// ---- --strip-gps -----------------------------------------------------------------------------------

std::string Description(const std::string& body, const std::string& attributes = "") {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n <rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
         "  <rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"\n"
         "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\"\n"
         "    xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\"" +
         attributes + ">\n" + body + "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A phone's photo: the position in the GPS directory, in the XMP packet (as attributes and as an
// element), in its extension and in the XMP that IFD0 holds.
Bytes PhoneMetadata() {
  const std::string ifd0Xmp = Description("", "\n    xmp:CreatorTool=\"Telefon 1.0\" exif:GPSAltitude=\"2500/10\"");
  const std::vector<Entry> ifd0 = {kCamera[0], kCamera[1], Raw(0x02BC, kByte, Text(ifd0Xmp)), Pointer(0x8769, 1),
                                   Pointer(0x8825, 2)};
  const std::vector<Entry> exif = {Ascii(0x9003, "2024:05:01 12:30:45")};
  const std::vector<Entry> gps = {Raw(0x0000, kByte, Bytes{2, 3, 0, 0}), Ascii(0x0001, "N"),
                                  Rationals(0x0002, {50, 1, 3, 1, 30, 1}), Ascii(0x0003, "E"),
                                  Rationals(0x0004, {19, 1, 56, 1, 0, 1})};
  const std::string extension =
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
      "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
      "rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
      "xmlns:photoshop=\"http://ns.adobe.com/photoshop/1.0/\">\n"
      "   <photoshop:Headline>Rynek o świcie</photoshop:Headline>\n"
      "   <exif:GPSImgDirection>180/1</exif:GPSImgDirection>\n"
      "</rdf:Description></rdf:RDF></x:xmpmeta>";
  const std::string guid = Md5Hex(Text(extension));
  const std::string packet =
      Description("   <exif:GPSLongitude>19,56.0E</exif:GPSLongitude>\n",
                  "\n    xmpNote:HasExtendedXMP=\"" + guid + "\" xmp:Rating=\"4\" exif:GPSLatitude=\"50,3.5N\"");
  ByteWriter part;
  part.text(guid);
  part.u32(static_cast<std::uint32_t>(extension.size()), true);
  part.u32(0, true);
  part.text(extension);
  return Concat({ExifApp1(Tiff({ifd0, exif, gps})),
                 App1(std::string_view(kXmpId.data(), kXmpId.size() + 1), Text(packet)),
                 App1(std::string_view(kExtendedXmpId.data(), kExtendedXmpId.size() + 1), part.data())});
}

TEST_F(BatchMetadata, StripGpsLeavesNoPositionAndKeepsTheRest) {
  source("phone.jpg", PhoneMetadata());
  const fs::path kept = fs::path(dir_.path().toStdString()) / "kept";
  ASSERT_EQ(run({"--exif", src_.string(), kept.string()}), 0) << err_.str();
  ASSERT_EQ(run({"--exif", "--strip-gps", src_.string(), dst_.string()}), 0) << err_.str();
  EXPECT_THAT(err_.str(), testing::Not(HasSubstr("zapisano bez"))) << "what the user asked to strip is no loss";

  // As exiftool reads them: the position is there without the option, nowhere with it.
  const std::string position = "-a -s -G1 -gps:all -xmp-exif:gps*";
  const std::string before = ExifToolWithErrors(position, kept / "_phone.jpg");
  for (const char* tag : {"[GPS]", "GPSLatitude", "[XMP-exif]", "GPSLongitude", "GPSAltitude", "GPSImgDirection"})
    EXPECT_THAT(before, HasSubstr(tag)) << before;
  EXPECT_EQ(ExifToolWithErrors(position, dst_ / "_phone.jpg"), "");

  // Everything else as without the option.
  const std::string rest = "-a -s -G1 -IFD0:Make -IFD0:Model -ExifIFD:DateTimeOriginal -XMP-xmp:all -XMP-photoshop:all";
  const std::string expected = ExifToolWithErrors(rest, kept / "_phone.jpg");
  for (const char* value : {"Velmora Optics", "VX-1", "2024:05:01 12:30:45", "Rating", "Telefon 1.0", "Rynek o świcie"})
    EXPECT_THAT(expected, HasSubstr(value)) << expected;
  EXPECT_EQ(ExifToolWithErrors(rest, dst_ / "_phone.jpg"), expected);
  EXPECT_EQ(ExifToolWithErrors("-validate -warning -a -s3", dst_ / "_phone.jpg"),
            ExifToolWithErrors("-validate -warning -a -s3", kept / "_phone.jpg"));
}

}  // namespace
}  // namespace velmora::batch
