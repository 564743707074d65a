#include "metadata/metadata_dump.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "base/textcodec.h"
#include "json_reader.h"
#include "metadata/jpegsegments.h"

namespace velmora {
namespace {

TEST(MetadataDump, JsonStringsAreEscaped) {
  struct Row {
    std::string text, json;
  } rows[] = {
      {"plain", "\"plain\""},
      {"quote \" and \\", "\"quote \\\" and \\\\\""},
      {"line\nbreak\ttab\r", "\"line\\nbreak\\ttab\\r\""},
      {std::string("nul\0x\x1b", 6), "\"nul\\u0000x\\u001b\""},
      {"zażółć", "\"zażółć\""},
      {"bad \xC3 byte \xFF", "\"bad \xEF\xBF\xBD byte \xEF\xBF\xBD\""},
      {"x\xC0\xAF\x7F", "\"x\xEF\xBF\xBD\xEF\xBF\xBD\\u007f\""},  // an overlong "/", DEL
  };
  for (const auto& r : rows) {
    EXPECT_EQ(JsonString(r.text), r.json);
    EXPECT_EQ(test::ParseJson(JsonString(r.text)).text, IsValidUtf8(r.text) ? r.text : test::ParseJson(r.json).text);
  }
}

TEST(MetadataDump, OneObjectPerFileWithEveryEntry) {
  const std::string path = std::string(VELMORA_TEST_DATA) + "/samples/nikon_d70.jpg";
  TImgData img;
  ASSERT_TRUE(img.OpenFile(path));
  const std::string dump = DumpMetadataJson(path);
  EXPECT_EQ(dump.find('\n'), std::string::npos);
  const test::Json j = test::ParseJson(dump);
  EXPECT_EQ(j.find("file")->text, path);
  EXPECT_TRUE(j.find("ok")->boolean);
  EXPECT_EQ(j.find("errorText")->text, "<none>");
  EXPECT_EQ(j.find("byteOrder")->text, "MM");
  EXPECT_EQ(j.find("thumbnailLength")->number, 8741);
  EXPECT_EQ(j.find("segments")->items.size(), img.sections.size());
  const auto& entries = j.find("entries")->items;
  const std::size_t expected =
      img.exifInfo->entries.size() + img.exifInfo->thumbEntries.size() + img.iptcData->Entries().size();
  ASSERT_EQ(entries.size(), expected);
  // The first entry of each list, field by field.
  const auto& make = entries.front();
  EXPECT_EQ(make.find("list")->text, "main");
  EXPECT_EQ(make.find("name")->text, "Make");
  EXPECT_EQ(make.find("tag")->number, 271);
  EXPECT_EQ(make.find("type")->number, 2);
  EXPECT_EQ(make.find("parent")->number, 0);
  EXPECT_EQ(make.find("text")->text, "NIKON CORPORATION");
  EXPECT_EQ(make.find("raw")->text, "4e494b4f4e20434f52504f524154494f4e00");
  const auto& iptc = entries.back();
  EXPECT_EQ(iptc.find("list")->text, "iptc");

  const test::Json missing = test::ParseJson(DumpMetadataJson("/no/such/file.jpg"));
  EXPECT_FALSE(missing.find("ok")->boolean);
  EXPECT_EQ(missing.find("file")->text, "/no/such/file.jpg");
  EXPECT_TRUE(missing.find("entries")->items.empty());
}

TEST(MetadataDump, ReadersOnSeveralThreadsAgreeWithOneThread) {
  const std::string samples = std::string(VELMORA_TEST_DATA) + "/samples/";
  const std::vector<std::string> files = {"canon_powershot_s40.jpg",
                                          "nikon_d70.jpg",
                                          "olympus_e10.jpg",
                                          "fujifilm_finepix40i.jpg",
                                          "photoshop_cs6_iptc_two_keywords.jpg",
                                          "casio_ex_z3.jpg"};
  std::vector<std::string> expected;
  for (const auto& f : files) expected.push_back(DumpMetadataJson(samples + f));
  std::vector<std::string> got(files.size() * 3);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < got.size(); ++i)
    threads.emplace_back([&, i] { got[i] = DumpMetadataJson(samples + files[i % files.size()]); });
  for (auto& t : threads) t.join();
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], expected[i % files.size()]) << files[i % files.size()];
}

}  // namespace
}  // namespace velmora
