#include "settings/filehelpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace velmora {
namespace {

void Touch(const QString& path) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

QSet<QString> AsSet(const QStringList& list) { return {list.begin(), list.end()}; }

// A folder with photos in mixed case, a subfolder named like a photo, a pipe named like a photo, and a
// link back to the folder itself.
class ListFolderFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    root = tmp.path();
    QDir d(root);
    for (const char* n : {"a.jpg", "B.JPG", "c.jpeg", "d.txt", ".hidden.jpg", "noext"}) Touch(d.filePath(n));
    ASSERT_TRUE(d.mkpath("x.jpg/inner"));
    Touch(d.filePath("x.jpg/one.txt"));
    Touch(d.filePath("x.jpg/plain"));
    Touch(d.filePath("x.jpg/inner/deep.png"));
    ASSERT_TRUE(d.mkdir("other"));
    Touch(d.filePath("other/hidden-from-jpg.jpg"));
    ASSERT_EQ(mkfifo(QFile::encodeName(d.filePath("pipe.jpg")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(root, d.filePath("loop.jpg")));
  }
  QString P(const QString& rel) const { return root + "/" + rel; }

  QTemporaryDir tmp;
  QString root;
};

TEST_F(ListFolderFilesTest, WithoutRecursionOnlyMatchingFiles) {
  QStringList list{"kept"};
  ListFolderFiles(root, list, false, "*.jpg");
  EXPECT_EQ(list.first(), "kept");  // appends, never clears
  EXPECT_EQ(AsSet(list.mid(1)), (QSet<QString>{P("a.jpg"), P("B.JPG"), P(".hidden.jpg")}));

  list.clear();
  ListFolderFiles(root + "/", list, false, "*.JPEG");
  EXPECT_EQ(list, QStringList{P("c.jpeg")});  // no doubled "/"

  list.clear();
  ListFolderFiles(root, list, false, "*.*");
  EXPECT_TRUE(list.contains(P("noext")));
  EXPECT_FALSE(list.contains(P("x.jpg")));
  EXPECT_FALSE(list.contains(P("pipe.jpg")));
}

TEST_F(ListFolderFilesTest, RecursionEntersMatchingFoldersOnly) {
  QStringList list;
  ListFolderFiles(root, list, true, "*.jpg");
  ASSERT_FALSE(list.isEmpty());
  EXPECT_EQ(list.first(), root);
  EXPECT_EQ(AsSet(list), (QSet<QString>{root, P("a.jpg"), P("B.JPG"), P(".hidden.jpg"), P("x.jpg"), P("x.jpg/one.txt"),
                                        P("x.jpg/plain"), P("x.jpg/inner"), P("x.jpg/inner/deep.png")}));
  EXPECT_EQ(list.size(), 9);  // nothing twice, the link to the folder not followed
  // Each subfolder comes just before its own files.
  EXPECT_LT(list.indexOf(P("x.jpg")), list.indexOf(P("x.jpg/one.txt")));
  EXPECT_LT(list.indexOf(P("x.jpg")), list.indexOf(P("x.jpg/inner")));
  EXPECT_EQ(list.indexOf(P("x.jpg/inner")) + 1, list.indexOf(P("x.jpg/inner/deep.png")));
}

TEST_F(ListFolderFilesTest, ListedByName) {
  QStringList list;
  ListFolderFiles(root, list, true, "*.jpg");
  // Files and folders of one level by name, each folder's own entries right after it.
  EXPECT_EQ(list, (QStringList{root, P(".hidden.jpg"), P("a.jpg"), P("B.JPG"), P("x.jpg"), P("x.jpg/inner"),
                               P("x.jpg/inner/deep.png"), P("x.jpg/one.txt"), P("x.jpg/plain")}));
}

// Created in a scrambled order; listed without regard to case, numbers as numbers, Polish letters in
// their place, names equal but for case in a fixed order.
TEST(FileNameOrder, ByNameNumbersAsNumbers) {
  QTemporaryDir tmp;
  ASSERT_TRUE(tmp.isValid());
  const QStringList expected = {"A.JPG",     "a.jpg",      "ą.jpg",         "b.jpg",        "IMG_1.jpg",
                                "img_2.JPG", "IMG_10.jpg", "IMG_0096b.jpg", "img_3745.jpg", "IMG_4194.jpg",
                                "Ł.jpg",     "m.jpg",      "z.jpg",         "ż.jpg"};
  QStringList scrambled = expected;
  std::reverse(scrambled.begin(), scrambled.end());
  std::swap(scrambled[2], scrambled[9]);
  for (const QString& name : scrambled) Touch(tmp.filePath(name));
  QStringList list;
  ListFolderFiles(tmp.path(), list, false, "*.jpg");
  QStringList names;
  for (const QString& path : list) names << path.mid(tmp.path().size() + 1);
  EXPECT_EQ(names, expected);

  QStringList sorted = scrambled;
  SortFileNames(sorted);
  EXPECT_EQ(sorted, expected);
  // A strict order: nothing comes before itself, and of two different names exactly one comes first.
  const TFileNameOrder order;
  for (const QString& a : expected) {
    EXPECT_FALSE(order(a, a)) << a.toStdString();
    for (const QString& b : expected)
      if (a != b) {
        EXPECT_NE(order(a, b), order(b, a)) << a.toStdString() << " " << b.toStdString();
      }
  }
}

TEST_F(ListFolderFilesTest, MissingFolderOrEmptyInputsAddNothing) {
  QStringList list;
  ListFolderFiles(P("gone"), list, false, "*.jpg");
  ListFolderFiles("", list, false, "*.jpg");
  ListFolderFiles(root, list, false, "");
  EXPECT_TRUE(list.isEmpty());
  ListFolderFiles(P("gone"), list, true, "*.jpg");
  EXPECT_EQ(list, QStringList{P("gone")});
}

TEST(NameWithoutExt, LastDotOfTheNameOnly) {
  const std::pair<QString, QString> rows[] = {
      {"/a.b/photo", "photo"}, {"/a/photo.tar.gz", "photo.tar"},
      {"photo.jpg", "photo"},  {"/a/.profile", ""},
      {"/a/b/", ""},           {"", ""},
  };
  for (const auto& [path, expected] : rows) EXPECT_EQ(NameWithoutExt(path), expected) << path.toStdString();
}

TEST(FolderExists, FoldersOnly) {
  QTemporaryDir tmp;
  Touch(tmp.filePath("f"));
  EXPECT_TRUE(FolderExists(tmp.path()));
  EXPECT_TRUE(FolderExists(tmp.path() + "/"));
  EXPECT_FALSE(FolderExists(tmp.filePath("f")));
  EXPECT_FALSE(FolderExists(tmp.filePath("gone")));
  EXPECT_FALSE(FolderExists(""));
}

TEST(SpecialFolderPath, AppDataIsTheConfigFolder) {
  QTemporaryDir tmp;
  const QByteArray old = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.path()));
  QString path = "untouched";
  EXPECT_EQ(SpecialFolderPath(kCsidlAppData, path), kStatusOk);
  EXPECT_EQ(path, tmp.path() + "/");
  path = "untouched";
  EXPECT_EQ(SpecialFolderPath(5, path), kStatusInvalidArg);
  EXPECT_EQ(path, "untouched");
  if (old.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", old);
}

TEST(CompleteExtensionFromFilter, FirstPatternOfTheFilter) {
  struct Row {
    QString chosen, filter, expected;
  };
  const QString bmp = "bitmapa (*.bmp)|*.bmp";
  const Row rows[] = {
      {"/p/logo", bmp, "/p/logo.bmp"},
      {"/p/logo.", bmp, "/p/logo.bmp"},
      {"/p/logo.png", bmp, "/p/logo.png"},  // an extension is left alone
      {"/p.d/logo", bmp, "/p.d/logo.bmp"},  // a dot in the folder is no extension
      {"/p/logo", "", "/p/logo"},           // no filter, nothing to complete
      {"/p/logo", "obrazy|*.jpg;*.jpeg|bmp|*.bmp", "/p/logo.jpg"},
      {"/p/logo", "*.gif", "/p/logo.gif"},      // a filter without "|" is its own pattern
      {"/p/logo", "wszystkie|*.*", "/p/logo"},  // "." alone is no extension
      {"/p/logo", "wszystkie|*", "/p/logo"},
      {"/p/logo", "dziwne|abc", "/p/logo"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(CompleteExtensionFromFilter(r.chosen, r.filter), r.expected)
        << r.chosen.toStdString() << " " << r.filter.toStdString();
}

TEST(FilterToNameFilters, QtFormKeepsDescriptions) {
  EXPECT_EQ(FilterToNameFilters("bitmapa (*.bmp)|*.bmp"), "bitmapa (*.bmp) (*.bmp)");
  EXPECT_EQ(FilterToNameFilters("zdjęcia|*.jpg;*.jpeg|wszystko|*"), "zdjęcia (*.jpg *.jpeg);;wszystko (*)");
  EXPECT_EQ(FilterToNameFilters(""), "");
}

TEST(RememberChosenFolder, OnlyADifferentChoiceIsStored) {
  TProps props(u'\r');
  QString last = "/zdjęcia";
  EXPECT_FALSE(RememberChosenFolder("/zdjęcia", last, props));
  EXPECT_FALSE(RememberChosenFolder("", last, props));
  EXPECT_EQ(props.Count(), 0);                                 // nothing written to the settings
  EXPECT_TRUE(RememberChosenFolder("/Zdjęcia", last, props));  // case counts
  EXPECT_EQ(last, "/Zdjęcia");
  EXPECT_EQ(props.Get("ostWskazanyFolder"), "/Zdjęcia");
}

}  // namespace
}  // namespace velmora
