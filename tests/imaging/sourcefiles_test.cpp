#include "imaging/sourcefiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <fstream>
#include <tuple>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The listing keeps each name's bytes and never opens what is no regular file, but names it.
TEST(SourceFiles, ListsNamesByTheirBytesAndNamesWhatItSkipped) {
  QTemporaryDir dir;
  const fs::path src = dir.path().toStdString();
  for (const char* name : {"\xff\xfe.jpg", "\xfe\xff.jpg", "a.jpg", "notes.txt"}) std::ofstream(src / name) << name;
  ASSERT_EQ(::mkfifo((src / "pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", src / "zero.JPG");
  fs::create_symlink(src / "gone", src / "gone.jpeg");
  fs::create_directory(src / "folder.jpg");
  const FolderPictures pictures = listFolderPictures(src);
  EXPECT_EQ(pictures.names, (std::vector<std::string>{"a.jpg", "\xfe\xff.jpg", "\xff\xfe.jpg"}));
  EXPECT_EQ(pictures.skipped, (std::vector<std::string>{"pipe.jpg", "zero.JPG", "gone.jpeg"}));
  fs::remove_all(src);  // QTemporaryDir cannot name what is no UTF-8
  EXPECT_EQ(printableName("łąka \xff\xfe\x1b]0;t\x07\x7f\xc2\x9b"), "łąka \\xFF\\xFE\\x1B]0;t\\x07\\x7F\\xC2\\x9B");
}

// No output lands on a source folder's picture or a run's source, by any path; on its own only if agreed.
TEST(SourceFiles, OutputsNeverReplaceSources) {
  QTemporaryDir dir;
  const fs::path src = dir.path().toStdString() + "/src", link = dir.path().toStdString() + "/link";
  fs::create_directory(src);
  for (const char* name : {"a.jpg", "_a.jpg", "b.jpg", "d.txt", "_d.txt"}) std::ofstream(src / name) << name;
  fs::create_symlink(src, link);
  const std::string other = "\" zastąpiłby plik źródłowy \"_a.jpg\"";
  const std::tuple<fs::path, std::string, bool, std::vector<std::string>, std::vector<std::string>> rows[] = {
      {src, "_", false, {"a.jpg", "b.jpg", "d.txt"}, {(src / "_a.jpg").string() + other, "", ""}},
      {link, "_", false, {"a.jpg"}, {(link / "_a.jpg").string() + other}},
      {src, "", false, {"a.jpg"}, {"zastąpiłby plik źródłowy: \"" + (src / "a.jpg").string() + "\""}},
      {src, "", true, {"a.jpg", "a.jpg"}, {"", "\" powstaje już z pliku \"a.jpg\""}},
  };
  for (const auto& [dest, affix, allowOwn, names, expected] : rows) {
    const std::vector<std::string> refused = refusedOutputs(src, names, dest, NameMode::Prefix, affix, allowOwn);
    for (std::size_t i = 0; i < refused.size(); ++i)
      EXPECT_TRUE(expected[i].empty() ? refused.at(i).empty() : refused.at(i).ends_with(expected[i])) << i;
  }
  fs::remove(link);  // not followed when the folder goes
}

}  // namespace
}  // namespace velmora
