#include "imaging/jpegcodec.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <sys/wait.h>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/fileio.h"
#include "imaging/jpegmessages.h"
#include "imaging/resampler.h"

namespace velmora {
namespace {

const std::string kSamples = VELMORA_TEST_DATA "/samples/";

Bytes sample(const std::string& name) { return readFileBytes(kSamples + name); }

std::string decodeError(const Bytes& jpeg, std::uint64_t maxPixels = kMaxPixels) {
  try {
    decodeJpeg(jpeg, maxPixels);
  } catch (const JpegError& e) {
    return e.what();
  }
  return "(no error)";
}

// Writes test pictures with libjpeg itself, in layouts our encoder never makes: CMYK or YCCK with or
// without the Adobe marker, arithmetic coding, progressive scans.
struct RawJpegOptions {
  J_COLOR_SPACE space = JCS_RGB;
  bool adobeMarker = true;
  bool arithmetic = false;
  bool progressive = false;
};

Bytes writeRaw(int width, int height, int components, const std::vector<std::uint8_t>& pixels,
               const RawJpegOptions& opt) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, opt.space);
  if (!opt.adobeMarker) cinfo.write_Adobe_marker = FALSE;
  cinfo.arith_code = opt.arithmetic ? TRUE : FALSE;
  if (opt.progressive) jpeg_simple_progression(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * width * components);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// A smooth RGB gradient (JPEG keeps it closely).
std::vector<std::uint8_t> gradient(int width, int height) {
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      rgb.push_back(static_cast<std::uint8_t>(40 + x * 160 / width));
      rgb.push_back(static_cast<std::uint8_t>(60 + y * 120 / height));
      rgb.push_back(static_cast<std::uint8_t>(200 - (x + y) * 100 / (width + height)));
    }
  }
  return rgb;
}

int maxDifference(const QImage& picture, const std::vector<std::uint8_t>& rgb) {
  int worst = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb p = picture.pixel(x, y);
      const std::uint8_t* e = rgb.data() + (static_cast<std::size_t>(y) * picture.width() + x) * 3;
      worst = std::max({worst, std::abs(qRed(p) - e[0]), std::abs(qGreen(p) - e[1]), std::abs(qBlue(p) - e[2])});
    }
  }
  return worst;
}

TEST(JpegCodec, DecodesTheSampleLayouts) {
  for (const char* name : {"synthetic_progressive.jpg", "synthetic_greyscale.jpg", "synthetic_cmyk.jpg",
                           "canon_ixus_v3.jpg", "nikon_d70.jpg"}) {
    const QImage picture = decodeJpeg(sample(name));
    EXPECT_EQ(picture.format(), QImage::Format_RGB32) << name;
    EXPECT_GT(picture.width(), 0) << name;
    EXPECT_GT(picture.height(), 0) << name;
  }
}

TEST(JpegCodec, GreyscaleComesOutAsGreyRgb) {
  const QImage picture = decodeJpeg(sample("synthetic_greyscale.jpg"));
  int distinct = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb p = picture.pixel(x, y);
      ASSERT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p)) << x << "," << y;
      distinct += qRed(p) != qRed(picture.pixel(0, 0));
    }
  }
  EXPECT_GT(distinct, 0);  // a real picture, not a flat fill
}

TEST(JpegCodec, RgbLayoutsRoundTrip) {
  const int w = 48, h = 40;
  const auto rgb = gradient(w, h);
  struct Row {
    const char* what;
    RawJpegOptions options;
  };
  const Row rows[] = {{"baseline", {JCS_YCbCr, false, false, false}},
                      {"arithmetic", {JCS_YCbCr, false, true, false}},
                      {"progressive", {JCS_YCbCr, false, false, true}},
                      {"progressive arithmetic", {JCS_YCbCr, false, true, true}},
                      {"stored as RGB", {JCS_RGB, true, false, false}}};
  for (const Row& row : rows) {
    const QImage picture = decodeJpeg(writeRaw(w, h, 3, rgb, row.options));
    ASSERT_EQ(picture.size(), QSize(w, h)) << row.what;
    EXPECT_LE(maxDifference(picture, rgb), 6) << row.what;
  }
}

TEST(JpegCodec, CmykAndYcckBecomeRgb) {
  // Stored ink values, constant over the picture. With the Adobe marker they are inverted inks:
  // R = C * K / 255; without it they are plain inks: R = (255 - C) * (255 - K) / 255.
  const int c = 200, m = 150, y = 100, k = 128;
  std::vector<std::uint8_t> cmyk;
  for (int i = 0; i < 16 * 16; ++i) cmyk.insert(cmyk.end(), {c, m, y, k});
  struct Row {
    const char* what;
    RawJpegOptions options;
    int r, g, b;
  };
  const Row rows[] = {
      {"Adobe CMYK", {JCS_CMYK, true, false, false}, c * k / 255, m * k / 255, y * k / 255},
      {"Adobe YCCK", {JCS_YCCK, true, false, false}, c * k / 255, m * k / 255, y * k / 255},
      {"plain CMYK",
       {JCS_CMYK, false, false, false},
       (255 - c) * (255 - k) / 255,
       (255 - m) * (255 - k) / 255,
       (255 - y) * (255 - k) / 255},
  };
  for (const Row& row : rows) {
    const QImage picture = decodeJpeg(writeRaw(16, 16, 4, cmyk, row.options));
    const QRgb p = picture.pixel(8, 8);
    EXPECT_NEAR(qRed(p), row.r, 2) << row.what;
    EXPECT_NEAR(qGreen(p), row.g, 2) << row.what;
    EXPECT_NEAR(qBlue(p), row.b, 2) << row.what;
    EXPECT_EQ(qAlpha(p), 255) << row.what;
  }
}

// The sample without metadata with `count` bytes put in front of the first segment at or after
// `from` whose marker is `marker` (the bytes of a segment whose length field came out short).
Bytes withStrayBytes(std::uint8_t marker, std::size_t count, std::size_t from = 2) {
  Bytes jpeg = sample("synthetic_no_metadata.jpg");
  std::size_t pos = from;
  while (pos + 1 < jpeg.size() && !(jpeg[pos] == 0xFF && jpeg[pos + 1] == marker)) ++pos;
  EXPECT_LT(pos + 1, jpeg.size());
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(pos), count, 0x5A);
  return jpeg;
}

// A picture written with a restart marker after every row of blocks.
Bytes withRestarts() {
  const int w = 64, h = 48;
  const auto rgb = gradient(w, h);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr err{};
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = w;
  cinfo.image_height = h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  cinfo.restart_in_rows = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + cinfo.next_scanline * w * 3);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// Offset of the first 0xFF followed by the given byte from `from` on.
std::size_t find(const Bytes& jpeg, std::uint8_t second, std::size_t from = 2) {
  for (std::size_t i = from; i + 1 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == second) return i;
  ADD_FAILURE() << "no marker 0xFF " << int(second);
  return 0;
}

TEST(JpegCodec, WarningsThatLoseOrMakeUpPictureDataFail) {
  const Bytes good = sample("synthetic_no_metadata.jpg");
  struct Row {
    const char* what;
    Bytes jpeg;
    std::string error;  // a regular expression
  };
  std::vector<Row> rows;
  rows.push_back({"truncated sample", sample("synthetic_truncated.jpg"), "Plik JPEG urywa się przed końcem obrazu"});
  for (std::size_t keep : {good.size() / 3, good.size() / 2, good.size() - 40})
    rows.push_back({"cut inside the scan", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(keep)),
                    "Plik JPEG urywa się przed końcem obrazu"});
  {
    // A marker in the middle of the entropy-coded data.
    Bytes early = good;
    const std::size_t at = find(good, 0xDA) + (good.size() - find(good, 0xDA)) / 2;
    early[at] = 0xFF;
    early[at + 1] = 0xD9;
    rows.push_back(
        {"marker inside the scan", early, "Uszkodzone dane JPEG: segment danych obrazu kończy się przedwcześnie"});
  }
  {
    // A restart marker out of turn.
    Bytes restarts = withRestarts();
    const std::size_t rst = find(restarts, 0xD1, find(restarts, 0xDA));
    restarts[rst + 1] = 0xD5;
    rows.push_back({"restart out of turn", restarts, "Uszkodzone dane JPEG: znacznik 0xd5 zamiast RST1"});
  }
  // Entropy-coded data that goes on past the last block, before EOI or before a restart marker.
  Bytes junk(good.begin(), good.end() - 2), restarts = withRestarts();
  junk.insert(junk.end(), {0x5A, 0x5A, 0x5A, 0x5A, 0xFF, 0xD9});
  restarts.insert(restarts.begin() + static_cast<std::ptrdiff_t>(find(restarts, 0xD1, find(restarts, 0xDA))), 9, 0x5A);
  rows.push_back({"bytes before EOI", junk, "Uszkodzone dane JPEG: [0-9]+ nadmiarowych bajtów przed znacznikiem 0xd9"});
  rows.push_back(
      {"bytes before RST1", restarts, "Uszkodzone dane JPEG: [0-9]+ nadmiarowych bajtów przed znacznikiem 0xd1"});
  rows.push_back(
      {"not a JPEG", Bytes{'h', 'e', 'l', 'l', 'o'}, "To nie jest plik JPEG \\(zaczyna się od 0x68 0x65\\)"});
  rows.push_back({"empty", Bytes{}, "Plik jest pusty"});
  for (const Row& r : rows) EXPECT_THAT(decodeError(r.jpeg), testing::MatchesRegex(r.error)) << r.what;
}

TEST(JpegCodec, AMessageOutsideThePolishTableKeepsLibjpegsText) {
  char out[JMSG_LENGTH_MAX];
  const int params[8] = {};
  polishJpegMessage(-1, params, "Something new", out, sizeof out);
  EXPECT_STREQ(out, "Błąd JPEG: Something new");
}

TEST(JpegCodec, WarningsAboutBytesOutsideThePictureDataDoNotFail) {
  const Bytes good = sample("synthetic_no_metadata.jpg");
  const QImage clean = decodeJpeg(good);
  struct Row {
    const char* what;
    Bytes jpeg;
  };
  std::vector<Row> rows;
  // As an image editor wrote it: a segment's length 14 bytes short, so 14 bytes lie before the next
  // marker ("Corrupt JPEG data: 14 extraneous bytes before marker 0xdb").
  rows.push_back({"14 bytes before a table", withStrayBytes(0xDB, 14)});
  rows.push_back({"bytes before the frame header", withStrayBytes(0xC0, 3)});
  {
    // A scan header whose progression fields are not zero, as some baseline writers leave them.
    Bytes sos = good;
    const std::size_t at = find(sos, 0xDA);
    const std::size_t length = sos[at + 2] << 8 | sos[at + 3];
    sos[at + 2 + length - 2] = 0x00;  // Se 0 instead of 63
    rows.push_back({"baseline scan header with Se 0", sos});
  }
  for (const Row& r : rows) {
    QImage picture;
    ASSERT_NO_THROW(picture = decodeJpeg(r.jpeg)) << r.what << ": " << decodeError(r.jpeg);
    EXPECT_EQ(picture, clean) << r.what;
    EXPECT_NO_THROW(decodeJpegScaled(r.jpeg, [](QSize s) { return s / 2; })) << r.what;
  }
  // Restart markers in their turn are no warning at all, and decode as the same picture would.
  EXPECT_NO_THROW(decodeJpeg(withRestarts()));
}

// djpeg's reading of a file: 0 clean, 2 with a warning, 1 failed; and its picture.
std::pair<int, QImage> djpeg(const std::string& file) {
  const int rc = std::system(("djpeg -outfile '" + file + ".pnm' '" + file + "' 2>/dev/null").c_str());
  const int status = WIFEXITED(rc) ? WEXITSTATUS(rc) : 1;
  return {status, QImage(QString::fromStdString(file + ".pnm")).convertToFormat(QImage::Format_RGB32)};
}

// No mutant of the samples (bits flipped, a byte overwritten, the file cut short) is published garbled:
// it fails, or decodes as djpeg does, and as the undamaged sample when djpeg warned. VELMORA_MUTANTS and
// VELMORA_MUTANT_SEED set the run (scripts/mutants.sh makes 2,000).
TEST(JpegCodec, MutantsFailOrDecodeAsDjpegDoes) {
  QTemporaryDir dir;
  std::vector<std::pair<Bytes, QImage>> seeds;
  for (const auto& entry : std::filesystem::directory_iterator(kSamples)) {
    const Bytes jpeg = readFileBytes(entry.path());
    writeFileAtomically(dir.filePath("seed").toStdString(), jpeg);
    const QImage theirs = djpeg(dir.filePath("seed").toStdString()).second;
    if (decodeError(jpeg) == "(no error)" && decodeJpeg(jpeg) == theirs) seeds.emplace_back(jpeg, theirs);
  }
  const char *count = std::getenv("VELMORA_MUTANTS"), *seed = std::getenv("VELMORA_MUTANT_SEED");
  const int mutants = count ? std::atoi(count) : 60;
  std::mt19937 random(seed ? static_cast<unsigned>(std::atoi(seed)) : 19u);
  int warned = 0, refused = 0;
  std::vector<std::string> garbled;
  for (int i = 0; i < mutants; ++i) {
    const auto& [original, clean] = seeds[random() % seeds.size()];
    Bytes m = original;
    const std::size_t scan = find(m, 0xDA) + 4;
    const auto at = [&](std::size_t from) { return from + random() % (m.size() - 2 - from); };
    if (const auto kind = random() % 5; kind == 0) {
      m[at(2)] = static_cast<std::uint8_t>(random());
    } else if (kind == 1) {
      m.resize(at(scan));
    } else {
      for (int n = 1 + random() % 3; n > 0; --n) m[at(scan)] ^= static_cast<std::uint8_t>(1 << random() % 8);
    }
    const std::string file = dir.filePath(QString("m%1.jpg").arg(i)).toStdString();
    writeFileAtomically(file, m);
    const auto [status, theirs] = djpeg(file);
    warned += status == 2;
    try {
      const QImage ours = decodeJpeg(m);
      if (status == 1 || ours != theirs || (status == 2 && ours != clean)) garbled.push_back(file);
    } catch (const JpegError&) {
      ++refused;
    }
  }
  std::printf("mutants: %d, djpeg warned on %d; refused %d, published %d, %zu of them garbled\n", mutants, warned,
              refused, mutants - refused, garbled.size());
  EXPECT_THAT(garbled, testing::IsEmpty());
}

TEST(JpegCodec, StreamedDecodeReportsDamageToo) {
  const Bytes cut = sample("synthetic_truncated.jpg");
  EXPECT_THROW(decodeJpegScaled(cut, [](QSize s) { return s / 2; }), JpegError);
}

TEST(JpegCodec, RefusesPicturesAboveTheCapBeforeAllocating) {
  const Bytes jpeg = sample("synthetic_no_metadata.jpg");
  EXPECT_EQ(decodeError(jpeg, 100), "Obraz jest za duży: 640 x 480 pikseli (najwyżej 100 pikseli)");

  // The same file claiming 60000 x 60000 pixels in its frame header.
  Bytes huge = jpeg;
  bool patched = false;
  for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = 0xEA;  // height 0xEA60 = 60000
      huge[i + 6] = 0x60;
      huge[i + 7] = 0xEA;  // width
      huge[i + 8] = 0x60;
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  EXPECT_EQ(decodeError(huge), "Obraz jest za duży: 60000 x 60000 pikseli (najwyżej 536870912 pikseli)");
  // The streamed decoder also checks the size it is asked to produce.
  EXPECT_THROW(decodeJpegScaled(jpeg, [](QSize) { return QSize(40000, 40000); }), JpegError);
}

// 364 bytes of progressive arithmetic coding stating 23000 x 23000 pixels, whose coefficients alone
// would take 3 GB: refused from its header, before any of it is taken.
TEST(JpegCodec, RefusesAPictureOverItsMemoryBudgetBeforeAllocating) {
  const Bytes bomb = readFileBytes(VELMORA_TEST_DATA "/bombs/progressive_arithmetic_23000x23000.jpg");
  std::uint64_t asked = 0;
  const auto gate = [&asked](std::uint64_t bytes) { throw JpegError(tooMuchMemoryMessage(asked = bytes)); };
  const auto target = [](QSize) { return QSize(1280, 1280); };
  EXPECT_THROW(decodeJpegScaled(bomb, target, kMaxPixels, gate), JpegError);
  EXPECT_GE(asked, std::uint64_t{3} * 2875 * 2875 * 128) << "every block's coefficients, three components";
}

TEST(JpegCodec, StreamedDecodeEqualsDecodeThenScale) {
  for (const char* name : {"synthetic_progressive.jpg", "synthetic_cmyk.jpg", "synthetic_greyscale.jpg"}) {
    const Bytes jpeg = sample(name);
    const QImage full = decodeJpeg(jpeg);
    for (const QSize size : {QSize(211, 158), QSize(1280, 960), full.size(), QSize(1, 1)}) {
      const QImage streamed = decodeJpegScaled(jpeg, [&](QSize s) {
        EXPECT_EQ(s, full.size());
        return size;
      });
      EXPECT_EQ(streamed, size == full.size() ? full : scaleHalftone(full, size)) << name << " " << size.width();
    }
  }
}

// The marker segments of a JPEG we wrote, for checking its layout.
struct Segment {
  std::uint8_t marker;
  Bytes data;
};

std::vector<Segment> segments(const Bytes& jpeg) {
  std::vector<Segment> out;
  std::size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
    const std::size_t len = jpeg[i + 2] << 8 | jpeg[i + 3];
    out.push_back({jpeg[i + 1], Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(i) + 4,
                                      jpeg.begin() + static_cast<std::ptrdiff_t>(i + 2 + len))});
    if (jpeg[i + 1] == 0xDA) break;
    i += 2 + len;
  }
  return out;
}

TEST(JpegCodec, EncodesQuality90BaselineWithLibraryDefaults) {
  const int w = 64, h = 48;
  const auto rgb = gradient(w, h);
  QImage picture(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* p = rgb.data() + (y * w + x) * 3;
      picture.setPixel(x, y, qRgb(p[0], p[1], p[2]));
    }
  }
  const Bytes jpeg = encodeJpeg(picture);
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  const auto segs = segments(jpeg);
  ASSERT_FALSE(segs.empty());
  EXPECT_EQ(segs[0].marker, 0xE0);  // JFIF APP0 first
  EXPECT_EQ(std::string(segs[0].data.begin(), segs[0].data.begin() + 5), std::string("JFIF\0", 5));

  bool sawFrame = false, sawLumaTable = false;
  for (const Segment& s : segs) {
    EXPECT_NE(s.marker, 0xC2) << "progressive";
    if (s.marker == 0xC0) {
      sawFrame = true;
      ASSERT_EQ(s.data[5], 3);     // three components
      EXPECT_EQ(s.data[7], 0x22);  // luma sampled 2 x 2: chroma at 4:2:0
      EXPECT_EQ(s.data[10], 0x11);
      EXPECT_EQ(s.data[13], 0x11);
    }
    if (s.marker == 0xDB && s.data[0] == 0x00) {
      sawLumaTable = true;
      // The standard luminance table scaled for quality 90 (scale 20 %), in zigzag order.
      const int standard[4] = {16, 11, 12, 14};
      for (int i = 0; i < 4; ++i) EXPECT_EQ(s.data[1 + i], (standard[i] * 20 + 50) / 100) << i;
    }
  }
  EXPECT_TRUE(sawFrame);
  EXPECT_TRUE(sawLumaTable);
  EXPECT_LE(maxDifference(decodeJpeg(jpeg), rgb), 6);
}

TEST(JpegCodec, SavesAtomicallyAndFailsWithoutLeavingFiles) {
  QTemporaryDir dir;
  QImage picture(30, 20, QImage::Format_RGB32);
  picture.fill(qRgb(10, 200, 30));
  const std::filesystem::path target = dir.path().toStdString() + "/out.jpg";
  saveJpeg(picture, target);
  const QImage back = loadJpeg(target);
  EXPECT_EQ(back.size(), picture.size());
  EXPECT_NEAR(qGreen(back.pixel(15, 10)), 200, 3);

  const std::filesystem::path missing = dir.path().toStdString() + "/no/such/folder/out.jpg";
  EXPECT_THROW(saveJpeg(picture, missing), FileError);
  EXPECT_THROW(encodeJpeg(QImage()), JpegError);
}

}  // namespace
}  // namespace velmora
