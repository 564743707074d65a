#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/fileio.h"
#include "cli/batch_cli.h"
#include "cli/batch_filelist.h"

namespace velmora::batch {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

TEST(FileList, EntriesInTheirOrderNormalisedAndRefusalsNameTheLine) {
  const std::tuple<std::string, bool, std::vector<std::string>> accepted[] = {
      {"a.jpg\nb.jpg\n", false, {"a.jpg", "b.jpg"}},
      {"b.jpg\r\n\r\n\na.jpg", false, {"b.jpg", "a.jpg"}},
      {"./sub//c.jpg\n", false, {"sub/c.jpg"}},
      {"a b\n.jpg\0c\r\0\0"s, true, {"a b\n.jpg", "c\r"}},
  };
  for (const auto& [text, nul, paths] : accepted) EXPECT_EQ(parseFileList(text, nul), paths) << text;
  const std::tuple<std::string, bool, std::string> refused[] = {
      {"a.jpg\n/etc/x.jpg\n", false, "wiersz 2: ścieżka \"/etc/x.jpg\" nie jest względna"},
      {"\na/../../b.jpg", false, "wiersz 2: ścieżka \"a/../../b.jpg\" wychodzi poza"},
      {"ok.jpg\0..\0"s, true, "pozycja 2: "},
      {"a.jpg\n./a.jpg\n", false, "wiersz 2: plik \"a.jpg\" jest już na liście (wiersz 1)"},
      {".\n", false, "wiersz 1: ścieżka \".\" nie wskazuje pliku"},
      {"\n\r\n", false, "lista nie zawiera żadnego pliku"},
  };
  for (const auto& [text, nul, message] : refused) {
    try {
      parseFileList(text, nul);
      ADD_FAILURE() << text;
    } catch (const UsageError& e) {
      EXPECT_THAT(e.what(), testing::StartsWith("--files-from: " + message)) << text;
    }
  }
}

class BatchReport : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(root_ / "src");
    for (const char* sample : {"nikon_e950.jpg", "sanyo_sr662.jpg", "synthetic_cmyk.jpg", "canon_ixus_v3.jpg"}) {
      names_.push_back("p" + std::to_string(names_.size()) + ".jpg");
      fs::create_symlink(fs::path(VELMORA_TEST_DATA "/samples") / sample, root_ / "src" / names_.back());
    }
  }
  std::string list(const std::string& name, const std::vector<std::string>& paths) const {
    std::string text;
    for (const std::string& path : paths) text += path + "\n";
    writeFileAtomically(root_ / name, Bytes(text.begin(), text.end()));
    return (root_ / name).string();
  }
  std::map<fs::path, Bytes> outputs(const std::string& folder) const {
    std::map<fs::path, Bytes> files;
    for (const auto& e : fs::directory_iterator(root_ / folder)) files[e.path().filename()] = readFileBytes(e.path());
    return files;
  }

  QTemporaryDir dir_;
  const fs::path root_ = dir_.path().toStdString();
  std::vector<std::string> names_;
};

TEST_F(BatchReport, EveryLineIsJsonAndTheSummaryCountsTheLines) {
  writeFileAtomically(root_ / "src" / "broken.jpg", Bytes(100, 0x20));
  std::vector<std::string> paths = names_;
  paths.insert(paths.begin() + 2, {"broken.jpg", "missing.jpg"});
  const fs::path file = root_ / "r.jsonl";
  writeFileAtomically(file, Bytes{'o', 'l', 'd'});
  for (const std::string& to : {file.string(), "-"s}) {
    std::ostringstream out, err;
    ASSERT_EQ(batchMain({"--keep-going", "-j2", "--size", "80", "--report", to, "--files-from", list("list", paths),
                         (root_ / "src").string(), (root_ / "dst").string()},
                        out, err),
              1);
    const Bytes bytes = to == "-" ? Bytes() : readFileBytes(file);
    std::istringstream lines(to == "-" ? out.str() : std::string(bytes.begin(), bytes.end()));
    std::map<std::string, QString> statuses;
    std::map<QString, int> counts;
    QJsonObject summary;
    for (std::string line; std::getline(lines, line);) {
      ASSERT_TRUE(summary.isEmpty()) << "after the summary: " << line;
      const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
      ASSERT_FALSE(object.isEmpty()) << line;
      summary = object["summary"].toObject();
      if (!summary.isEmpty()) continue;
      ++counts[statuses[object["source"].toString().toStdString()] = object["status"].toString()];
    }
    EXPECT_EQ(statuses.size(), paths.size());
    EXPECT_EQ(statuses["missing.jpg"], "failed");
    EXPECT_EQ(summary, QJsonObject({{"written", counts["written"]}, {"skipped", 0}, {"failed", counts["failed"]},
                                    {"total", 6}, {"end", "completed"}, {"ms", summary["ms"]}}));
    EXPECT_THAT(err.str(), testing::HasSubstr("zapisano " + std::to_string(counts["written"]) + " z 6 plików, błędy: 2"));
  }
}

TEST_F(BatchReport, TwoProcessesOverTheHalvesOfAListWriteWhatOneRunDoes) {
  const std::string run = VELMORA_BATCH_EXE " --size 120 --jobs 1 --files-from ", src = " " + (root_ / "src").string();
  const std::vector<std::string> first(names_.begin(), names_.begin() + 2), second(names_.begin() + 2, names_.end());
  ASSERT_EQ(std::system((run + list("all", names_) + src + " " + (root_ / "one").string() + " 2>/dev/null").c_str()), 0);
  const std::string two = " " + (root_ / "two").string();
  ASSERT_EQ(std::system(("sh -c '" + run + list("a", first) + src + two + " & a=$!; " + run + list("b", second) + src +
                         two + " & b=$!; wait $a && wait $b' 2>/dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(outputs("two").size(), names_.size());
  EXPECT_EQ(outputs("two"), outputs("one"));
}

}  // namespace
}  // namespace velmora::batch
