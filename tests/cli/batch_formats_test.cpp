// velmora-batch over a folder of every input format: each becomes an upright JPEG under a .jpg name
// with its EXIF, XMP and profile carried; a file whose content is another format is named and fails.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "cli/batch_cli.h"

namespace velmora::batch {
namespace {

namespace fs = std::filesystem;

std::string Tags(const fs::path& file) {
  std::string out;
  std::FILE* p = ::popen(
      ("exiftool -q -T -ImageSize -Orientation# -Make -Title -ProfileDescription '" + file.string() + "' 2>&1").c_str(),
      "r");
  if (!p) return "exiftool did not run";
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  ::pclose(p);
  return out;
}

TEST(BatchFormats, EveryFormatIsWrittenUprightWithItsMetadata) {
  const QTemporaryDir dir;
  const fs::path src = fs::path(dir.path().toStdString()) / "src", dst = fs::path(dir.path().toStdString()) / "dst";
  fs::copy(VELMORA_TEST_DATA "/formats", src);
  std::ostringstream out, err;
  ASSERT_EQ(batchMain({"--exif", "--keep-profile", "--size", "100", src.string(), dst.string()}, out, err), 0)
      << err.str();
  const struct {
    const char* output;
    const char* tags;
  } rows[] = {
      {"_photo-png.jpg", "100x75\t1\tCASIO\tKwiat\t"},
      {"_photo-webp.jpg", "100x75\t1\tCASIO\t-\t"},
      {"_photo-heic.jpg", "100x75\t1\tCASIO\t-\t"},
      // Turned by its container, and marked upright (it said 6).
      {"_rotated-heic.jpg", "75x100\t1\tCASIO\t-\t"},
      {"_pages.jpg", "100x75\t1\tCASIO\t-\t"},
      {"_alpha16.jpg", "64x48\t-\t-\t-\t-"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.output);
    const std::string tags = Tags(dst / row.output);
    EXPECT_EQ(tags.rfind(row.tags, 0), 0u) << tags;
    if (std::string(row.output) != "_alpha16.jpg") {
      EXPECT_THAT(tags, testing::HasSubstr("Adobe RGB (1998)"));
    }
  }

  fs::copy_file(src / "photo-png.png", src / "mislabelled.jpg");
  err.str("");
  EXPECT_EQ(batchMain({src.string(), dst.string(), "mislabelled.jpg"}, out, err), 1);
  EXPECT_THAT(err.str(), testing::HasSubstr("mislabelled.jpg: Plik ma rozszerzenie JPEG, a zawiera obraz PNG"));
}

TEST(BatchFormats, WebpAndAvifCarryTheMetadataInTheirOwnPlacesButIptc) {
  const QTemporaryDir dir;
  const fs::path src = fs::path(dir.path().toStdString()) / "src";
  fs::create_directory(src);
  fs::copy_file(VELMORA_TEST_DATA "/formats/photo-png.png", src / "photo.png");
  fs::copy_file(VELMORA_TEST_DATA "/samples/canon_eos_7d_lightroom_iptc.jpg", src / "iptc.jpg");
  for (const std::string format : {"webp", "avif"}) {
    SCOPED_TRACE(format);
    const fs::path dst = fs::path(dir.path().toStdString()) / format;
    std::ostringstream out, err;
    ASSERT_EQ(batchMain({"--exif", "--keep-profile", "--format", format, "--size", "100", src.string(), dst.string()},
                        out, err),
              0);
    const std::string title = format == "webp" ? "WebP" : "AVIF";
    EXPECT_THAT(err.str(), testing::HasSubstr("iptc.jpg: zapisano bez IPTC: format " + title + " go nie przechowuje"));
    EXPECT_EQ(Tags(dst / ("_photo." + format)).rfind("100x75\t1\tCASIO\tKwiat\t", 0), 0u);
    EXPECT_THAT(Tags(dst / ("_photo." + format)), testing::HasSubstr("Adobe RGB (1998)"));
    EXPECT_TRUE(fs::exists(dst / ("_iptc." + format)));
  }
}

}  // namespace
}  // namespace velmora::batch
