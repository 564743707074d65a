#include "settings/props.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace velmora {
namespace {

using namespace Qt::StringLiterals;

using Pairs = std::vector<std::pair<QString, QString>>;

Pairs EntriesOf(const TProps& p) {
  Pairs out;
  for (const TProp& e : p.Entries()) out.emplace_back(e.Key, e.Value);
  return out;
}

TEST(TProps, NineteenByteExample) {
  TProps p(u'\r');
  p.Set("prefix", "_");
  p.Set("size", "1280");
  const QByteArray bytes = p.ToText().toUtf8();
  EXPECT_EQ(bytes, QByteArray("prefix=_\rsize=1280\r"));
  EXPECT_EQ(bytes.size(), 19);
}

struct ParseCase {
  const char* name;
  QString text;
  Pairs entries;
};

class TPropsParse : public testing::TestWithParam<ParseCase> {};

TEST_P(TPropsParse, LoadsTheseEntries) {
  TProps p(u'\r');
  p.Set("stale", "must go");
  p.LoadFromText(GetParam().text);
  EXPECT_EQ(EntriesOf(p), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Text, TPropsParse,
    testing::Values(
        ParseCase{"FurtherEqualsBelongToValue", "a=b=c", {{"a", "b=c"}}},
        ParseCase{"NoKeyOrNoEqualsIgnored", "=x\rplain line\r", {}},
        ParseCase{"KeyTrimmedValueKept", "  key \t=val \r", {{"key", "val "}}},
        ParseCase{"BlankKeyIgnored", "   =v\r", {}}, ParseCase{"EmptyValueKept", "key=\r", {{"key", ""}}},
        ParseCase{"BareCR", "a=1\rb=2\r", {{"a", "1"}, {"b", "2"}}},
        ParseCase{"CRLFReadAsCR", "a=1\r\nb=2\r\n", {{"a", "1"}, {"b", "2"}}},
        ParseCase{"LastLineWithoutSeparator", "a=1\rb=2", {{"a", "1"}, {"b", "2"}}},
        ParseCase{"BareLFIsContent", "a=1\nb=2\n", {{"a", "1\nb=2\n"}}},
        ParseCase{"DuplicateKeysFirstPlaceLastValue", "Size=1\rfoo=x\rSIZE=2\rsize=3\r", {{"Size", "3"}, {"foo", "x"}}},
        ParseCase{"PolishLettersMatchAcrossCase", u"kolor tła=1\rKOLOR TŁA=2\r"_s, {{u"kolor tła"_s, "2"}}},
        ParseCase{
            "NulDropsItsLineOnly", QString::fromUtf8("a=1\rb=2\0c=3\rZapUst=T\r", 21), {{"a", "1"}, {"ZapUst", "T"}}},
        ParseCase{"ByteOrderMarkStaysInFirstKey", u"\uFEFFsize=1\rx=2\r"_s, {{u"\uFEFFsize"_s, "1"}, {"x", "2"}}},
        ParseCase{"EmptyText", "", {}}),
    [](const testing::TestParamInfo<ParseCase>& row) { return row.param.name; });

TEST(TProps, ByteOrderMarkKeyMatchesNothing) {
  TProps p(u'\r');
  p.LoadFromText(u"\uFEFFsize=800\r"_s);
  EXPECT_EQ(p.Get("size"), QString());
  EXPECT_EQ(p.IndexOf("size"), -1);
}

TEST(TProps, KeyCaseDoesNotMatterButStoredSpellingStays) {
  TProps p(u'\r');
  p.LoadFromText("size=1280\rprefix=_\r");
  EXPECT_EQ(p.Get("SIZE"), "1280");
  p.Set("SIZE", "800");
  p.Set(u"ZMIEŃ ROZMIAR"_s, "T");
  p.Set(u"zmień rozmiar"_s, "N");
  EXPECT_EQ(p.ToText(), u"size=800\rprefix=_\rZMIEŃ ROZMIAR=N\r"_s);
  // IndexOf does not trim: only Add does.
  EXPECT_EQ(p.IndexOf(" size"), -1);
  EXPECT_EQ(p.Get("absent"), QString());
}

TEST(TProps, EmptyValuesRoundTripAndUnparsableTextGivesEmptyFile) {
  TProps p(u'\r');
  p.LoadFromText("key=\r");
  EXPECT_EQ(p.ToText(), "key=\r");
  p.LoadFromText("nothing here\r=x\r");
  EXPECT_EQ(p.Count(), 0);
  EXPECT_EQ(p.ToText(), QString());
}

// A damaged file of many thousand keys: every lookup still finds the first position under any case,
// a repeated key keeps its first place with the last value, and the text keeps the file's order.
TEST(TProps, ManyKeysKeepTheirOrderAndFirstPositionRule) {
  QString text;
  const int n = 20000;
  for (int i = 0; i < n; ++i) text += u"Klucz ł%1=%1\r"_s.arg(i);
  for (int i = 0; i < n; i += 1000) text += u"KLUCZ Ł%1=późniejszy\r"_s.arg(i);
  TProps p(u'\r');
  p.Set("stale", "x");
  const std::uint64_t before = p.Revision();
  p.LoadFromText(text);
  EXPECT_GT(p.Revision(), before);
  ASSERT_EQ(p.Count(), n);
  for (int i = 0; i < n; ++i) {
    const QString value = i % 1000 == 0 ? u"późniejszy"_s : QString::number(i);
    ASSERT_EQ(p.IndexOf(u"kLUCZ ł%1"_s.arg(i)), i);
    ASSERT_EQ(p.Get(u"klucz Ł%1"_s.arg(i)), value);
    ASSERT_EQ(p.Entries()[static_cast<std::size_t>(i)].Key, u"Klucz ł%1"_s.arg(i));
  }
  EXPECT_EQ(p.IndexOf("stale"), -1);
  p.Set(u"KLUCZ Ł5"_s, "nowy");
  p.Set("nowy klucz", "1");
  EXPECT_EQ(p.IndexOf(u"klucz ł5"_s), 5);
  EXPECT_EQ(p.IndexOf("NOWY KLUCZ"), n);
  EXPECT_TRUE(p.ToText().startsWith(u"Klucz ł0=późniejszy\rKlucz ł1=1\r"_s));
  EXPECT_TRUE(p.ToText().endsWith(u"Klucz ł19999=19999\rnowy klucz=1\r"_s));
  p.Clear();
  EXPECT_EQ(p.IndexOf(u"klucz ł5"_s), -1);
  EXPECT_EQ(p.Count(), 0);
}

TEST(TProps, RevisionCountsEveryChange) {
  TProps p(u'\r');
  std::uint64_t last = p.Revision();
  const auto changed = [&] {
    const bool moved = p.Revision() != last;
    last = p.Revision();
    return moved;
  };
  p.Set("a", "1");
  EXPECT_TRUE(changed());
  p.Set("A", "2");
  EXPECT_TRUE(changed());
  p.Add(" ", "x");
  EXPECT_FALSE(changed());
  EXPECT_EQ(p.Get("a"), "2");
  EXPECT_FALSE(changed());
  p.Clear();
  EXPECT_TRUE(changed());
}

}  // namespace
}  // namespace velmora
