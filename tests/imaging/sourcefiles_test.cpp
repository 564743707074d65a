#include "imaging/sourcefiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <fstream>

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

}  // namespace
}  // namespace velmora
