#include "imaging/sourcefiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <fstream>
#include <tuple>

namespace velmora {
namespace {

namespace fs = std::filesystem;

// The listing keeps each name's bytes and never opens what is no regular file, but names it.
// Both lists in the window's order: by name, case ignored, numbers as numbers, ".jpeg" among ".jpg".
TEST(SourceFiles, ListsNamesByTheirBytesAndNamesWhatItSkipped) {
  QTemporaryDir dir;
  const fs::path src = dir.path().toStdString();
  for (const char* name : {"\xff\xfe.jpg", "\xfe\xff.jpg", "a.jpg", "notes.txt", "b.JPEG", "IMG_10.jpg", "c.Jpg",
                           "e.jpeg.bak", "f.jpeg", "img_2.jpg"})
    std::ofstream(src / name) << name;
  ASSERT_EQ(::mkfifo((src / "pipe.jpg").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", src / "zero.JPG");
  fs::create_symlink(src / "gone", src / "gone.jpeg");
  fs::create_directory(src / "folder.jpg");
  const FolderPictures pictures = listFolderPictures(src);
  EXPECT_EQ(pictures.names, (std::vector<std::string>{"a.jpg", "b.JPEG", "c.Jpg", "f.jpeg", "img_2.jpg", "IMG_10.jpg",
                                                      "\xfe\xff.jpg", "\xff\xfe.jpg"}));
  EXPECT_EQ(pictures.skipped, (std::vector<std::string>{"gone.jpeg", "pipe.jpg", "zero.JPG"}));
  fs::remove_all(src);  // QTemporaryDir cannot name what is no UTF-8
  EXPECT_EQ(printableName("łąka \xff\xfe\x1b]0;t\x07\x7f\xc2\x9b"), "łąka \\xFF\\xFE\\x1B]0;t\\x07\\x7F\\xC2\\x9B");
}

// Root reads every folder: the tree is listed as nobody, so a folder without permissions is unreadable.
struct Unprivileged {
  const bool root = ::geteuid() == 0;
  Unprivileged() { EXPECT_TRUE(!root || ::seteuid(65534) == 0); }
  ~Unprivileged() { EXPECT_TRUE(!root || ::seteuid(0) == 0); }
};

// Folder by folder, a folder's pictures before its subfolders, each in the names' order; a link to a
// folder, the destination (however it is spelled) and an unreadable folder are passed over.
TEST(SourceFiles, ListsSubfoldersDepthFirstWithoutLinksOrTheDestination) {
  QTemporaryDir dir;
  const fs::path top = dir.path().toStdString(), src = top / "src";
  for (const char* folder : {"2026/10", "2026/9", "out", "locked"}) fs::create_directories(src / folder);
  for (const char* name :
       {"B.jpg", "a.jpg", "2026/10/y.jpg", "2026/9/z.jpg", "2026/x.jpg", "out/o.jpg", "locked/p.jpg"})
    std::ofstream(src / name) << name;
  fs::create_directory_symlink(src / "2026", src / "link");
  fs::create_directory_symlink(src / "out", top / "out");
  fs::permissions(top, fs::perms::all);
  fs::permissions(src / "locked", fs::perms::none);
  const std::vector<std::string> tree{"a.jpg", "B.jpg", "2026/x.jpg", "2026/9/z.jpg", "2026/10/y.jpg"};
  std::vector<std::string> withOut = tree;
  withOut.push_back("out/o.jpg");
  const std::tuple<bool, fs::path, std::vector<std::string>> rows[] = {{false, src / "out", {"a.jpg", "B.jpg"}},
                                                                       {true, src / "out", tree},
                                                                       {true, top / "out", tree},
                                                                       {true, {}, withOut}};
  for (const auto& [subfolders, destination, names] : rows) {
    FolderPictures pictures;
    {
      const Unprivileged nobody;
      pictures = listFolderPictures(src, subfolders, destination);
    }
    EXPECT_EQ(pictures.names, names) << destination;
    std::vector<std::string> unreadable;
    for (const auto& folder : pictures.unreadable) unreadable.push_back(folder.folder);
    EXPECT_EQ(unreadable, subfolders ? std::vector<std::string>{"locked"} : std::vector<std::string>{});
  }
  fs::permissions(src / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace velmora
