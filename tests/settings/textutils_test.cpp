#include "settings/textutils.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include "base/fileio.h"

namespace velmora {
namespace {

using namespace Qt::StringLiterals;

TEST(ReplaceText, FlagsSelectAllAndCase) {
  struct Row {
    QString text, oldText, newText;
    int flags;
    QString expected;
  };
  const Row rows[] = {
      {"aXbxc", "x", "-", 3, "a-b-c"},
      {"aXbxc", "x", "-", 1, "aXb-c"},
      {"aXbxc", "x", "-", 0, "aXb-c"},
      {"aXbxc", "x", "-", 2, "a-bxc"},
      {"xxx", "x", "xx", 1, "xxxxxx"},  // the new text is never searched again
      {"aaaa", "aa", "b", 1, "bb"},     // the search goes on after the replaced piece
      {"abc", "", "-", 3, "abc"},       // an empty old text finds nothing
      {u"ŁÓDŹ łódź"_s, u"łódź"_s, "L", 3, "L L"},
      {"Foo foo", "FOO", "bar", 2, "bar foo"},  // the kept parts keep their case
  };
  for (const Row& r : rows)
    EXPECT_EQ(ReplaceText(r.text, r.oldText, r.newText, r.flags), r.expected) << r.text.toStdString() << " " << r.flags;
}

TEST(RemoveChars, SetsAndStrings) {
  TCharSet digits;
  for (char32_t c = U'0'; c <= U'9'; ++c) digits.insert(c);
  EXPECT_EQ(RemoveCharSet("2023 Wakacje 07", digits), " Wakacje ");
  EXPECT_EQ(RemoveCharSet(u"a😀b"_s, {U'😀'}), "ab");  // a character beyond 16 bits is one character
  EXPECT_EQ(RemoveChars(u"zażółć gęślą"_s, u"żę"_s), u"zaółć gślą"_s);
  EXPECT_EQ(RemoveChars("abc", ""), "abc");
}

TEST(ExtractField, CountsFromStartAndEnd) {
  struct Row {
    int n;
    QString text;
    QChar delim;
    QString fromStart, fromEnd;
  };
  const Row rows[] = {
      {2, "a;b;c", u';', "b", "b"},
      {4, "a;b;c", u';', "", ""},
      {1, ";b", u';', "", "b"},
      {1, "abc", u';', "abc", "abc"},
      {0, "a;b", u';', "", ""},
      {1, "", u';', "", ""},
      {1, "/x/photo.jpg", u'/', "", "photo.jpg"},
      {1, "/x/", u'/', "", ""},
      {3, "a;b;c", u';', "c", "a"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ExtractField(r.n, r.text, r.delim), r.fromStart) << r.text.toStdString() << " " << r.n;
    EXPECT_EQ(ExtractFieldFromEnd(r.n, r.text, r.delim), r.fromEnd) << r.text.toStdString() << " " << r.n;
  }
}

TEST(StripLastPathPart, WalksUpToTheRoot) {
  const std::pair<QString, QString> rows[] = {
      {"/a/b", "/a"}, {"/a/", "/a"}, {"/a", "/"}, {"/", "/"}, {"photos", "photos"}, {"", ""}, {"a/b/c", "a/b"},
  };
  for (const auto& [path, expected] : rows) EXPECT_EQ(StripLastPathPart(path), expected) << path.toStdString();
}

TEST(Booleans, TNAndFirstCharacter) {
  EXPECT_EQ(BoolToTN(true), "T");
  EXPECT_EQ(BoolToTN(false), "N");
  const std::pair<QString, bool> rows[] = {
      {"T", true},  {"tak", true},    {"Yes", true}, {"1", true},   {"y", true},  {"N", false},
      {"0", false}, {"false", false}, {"", false},   {" T", false}, {"2", false},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(TextToBool(text), expected) << text.toStdString();
}

TEST(SplitToList, WithAndWithoutCleaning) {
  struct Row {
    QString text;
    TCharSet delims;
    bool clean;
    QStringList expected;
  };
  const Row rows[] = {
      {"/a; ;/b;", {U';'}, true, {"/a", "/b"}},
      {"/a; ;/b;", {U';'}, false, {"/a", " ", "/b", ""}},
      {"", {U';'}, false, {}},
      {"a,b;c", {U';', U','}, false, {"a", "b", "c"}},
      {u"x😀y"_s, {U'😀'}, false, {"x", "y"}},
      {"one\r\ntwo\nthree\r", {}, false, {"one", "two", "three"}},
      {"one\n\n two \n", {}, false, {"one", "", " two "}},
      {"one\n\n two \n", {}, true, {"one", "two"}},
  };
  for (const Row& r : rows) EXPECT_EQ(SplitToList(r.text, r.delims, r.clean), r.expected) << r.text.toStdString();
}

TEST(JoinList, TrailingSeparatorOnRequest) {
  EXPECT_EQ(JoinList({}, ";", false), "");
  EXPECT_EQ(JoinList({}, ";", true), "");
  EXPECT_EQ(JoinList({"/a"}, ";", false), "/a");
  EXPECT_EQ(JoinList({"/a", "/b"}, ";", false), "/a;/b");
  EXPECT_EQ(JoinList({"/a", "/b"}, "\r\n", true), "/a\r\n/b\r\n");
  // Folder histories survive a round trip through one settings value.
  const QStringList history{"/home/ala/zdjęcia", "/media/karta"};
  EXPECT_EQ(SplitToList(JoinList(history, ";", false), {U';'}, true), history);
}

TEST(DecodeFileBytes, Utf8ElseWindows1250) {
  struct Row {
    const char* name;
    QByteArray bytes;
    QString expected;
  };
  const Row rows[] = {
      {"utf8",
       "kolor t\xc5\x82"
       "a podpisu=1",
       u"kolor tła podpisu=1"_s},
      {"cp1250 lower", "\xb9\x9c\xbf\x9f\xe6\xf1\xf3\xb3\xea", u"ąśżźćńółę"_s},
      {"cp1250 upper", "\xa5\x8c\xaf\x8f\xc6\xd1\xd3\xa3\xca", u"ĄŚŻŹĆŃÓŁĘ"_s},
      {"bom kept",
       "\xef\xbb\xbf"
       "a=1",
       u"\uFEFFa=1"_s},
      {"truncated utf8 is cp1250", "a\xc5", u"aĹ"_s},
      {"overlong utf8 is cp1250", "\xc0\xaf", u"ŔŻ"_s},
      {"nul kept for the store", QByteArray("\xc5\x82=1\0\rb=2", 9), QString::fromUtf8("ł=1\0\rb=2", 9)},
      // Line by line: one stray byte garbles its own line only, and a Windows-1250 line among UTF-8
      // ones (a file edited by both programs) reads right.
      {"stray byte garbles one line",
       "kolor t\xc5\x82"
       "a=1\rfolderZ=/zdj\xea"
       "cia\xff\rfolderDo=/wynik \xc5\xbc\r",
       u"kolor tła=1\rfolderZ=/zdjęcia˙\rfolderDo=/wynik ż\r"_s},
      {"cp1250 line among utf8 lines", "a=\xc5\x82\r\nzmie\xf1 rozmiar=T\r\nb=\xc4\x99",
       u"a=ł\r\nzmień rozmiar=T\r\nb=ę"_s},
      {"lf ends an encoding line too", "x=\xb3\ny=\xc5\x82", u"x=ł\ny=ł"_s},
      {"empty lines", "\r\r\n\n", u"\r\r\n\n"_s},
      {"bom inside kept",
       "a=1\r\xef\xbb\xbf"
       "b=2",
       u"a=1\r\uFEFFb=2"_s},
      {"empty", "", u""_s},
  };
  for (const Row& r : rows) EXPECT_EQ(DecodeFileBytes(r.bytes), r.expected) << r.name;
}

TEST(Files, LoadAndWrite) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString name = dir.filePath("t.txt");
  EXPECT_THROW(LoadFileToText(name), FileError);
  try {
    LoadFileToText(dir.path());
    ADD_FAILURE() << "a folder was read";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), "to nie jest zwykły plik");
    EXPECT_EQ(std::string(e.what()),
              ("Nie można odczytać pliku \"" + dir.path() + "\": to nie jest zwykły plik.").toStdString());
  }

  QFile file(name);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  WriteTextToStream(u"zażółć\r"_s, file);
  WriteTextToStream("", file);
  file.close();
  EXPECT_EQ(file.size(), 11);
  EXPECT_EQ(LoadFileToText(name), u"zażółć\r"_s);
  EXPECT_EQ(LoadFileToText(name, 11), u"zażółć\r"_s);
  EXPECT_THROW(LoadFileToText(name, 10), FileError);

  QBuffer readOnly;
  ASSERT_TRUE(readOnly.open(QIODevice::ReadOnly));
  EXPECT_THROW(WriteTextToStream("x", readOnly), FileError);
  EXPECT_NO_THROW(WriteTextToStream("", readOnly));
}

}  // namespace
}  // namespace velmora
