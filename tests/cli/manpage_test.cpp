// The man page velmora-batch(1) describes what velmora-batch --help lists.

#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/batch_cli.h"

namespace {

std::string ReadManPage() {
  std::ifstream in(VELMORA_SOURCE_DIR "/desktop/velmora-batch.1");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The page with its letter escapes ("\\[u0142]") as UTF-8, as the help writes them.
std::string Unescaped(const std::string& page) {
  std::string out;
  const std::regex escape(R"(\\\[u([0-9A-F]{4})\])");
  auto from = page.cbegin();
  for (auto it = std::sregex_iterator(page.begin(), page.end(), escape); it != std::sregex_iterator(); ++it) {
    out.append(from, (*it)[0].first);
    out += QString(QChar(std::stoi((*it)[1], nullptr, 16))).toStdString();
    from = (*it)[0].second;
  }
  return out.append(from, page.cend());
}

// The options of the text: "--name" words.
std::set<std::string> OptionsIn(const std::string& text) {
  std::set<std::string> options;
  const std::regex option("--[a-z][a-z-]*");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
    options.insert(it->str());
  return options;
}

// The man page's items: the option that the line after each ".TP" names, with "\-" read as "-".
std::set<std::string> ManPageItems(const std::string& page) {
  std::set<std::string> items;
  std::istringstream lines(page);
  std::string line;
  bool item = false;
  while (std::getline(lines, line)) {
    if (item) {
      std::string plain = std::regex_replace(line, std::regex(R"(\\-)"), "-");
      std::smatch m;
      if (std::regex_search(plain, m, std::regex("^\\.BI? (--[a-z][a-z-]*)"))) items.insert(m[1]);
    }
    item = line.rfind(".TP", 0) == 0;
  }
  return items;
}

TEST(ManPage, HasAnItemForEveryOptionOfTheHelp) {
  const std::string page = ReadManPage();
  ASSERT_FALSE(page.empty());
  const std::set<std::string> help = OptionsIn(velmora::batch::usageText());
  ASSERT_GE(help.size(), 9u);
  EXPECT_EQ(ManPageItems(page), help);
}

TEST(ManPage, IsAsciiSoThatEveryLocaleReadsIt) {
  // groff reads raw bytes as Latin-1 without preconv, and man in the C locale drops what it cannot show.
  const std::string page = ReadManPage();
  const auto raw = std::find_if(page.begin(), page.end(), [](char c) { return static_cast<unsigned char>(c) > 0x7F; });
  EXPECT_EQ(raw, page.end()) << "a raw byte at offset " << raw - page.begin() << "; write letters as \\[u0142]";
}

TEST(ManPage, SaysWhatTheHelpSays) {
  // The man page wraps lines where it likes; compare the words.
  auto words = [](std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\\(Bq|\\\(rq|")"), "");
    text = std::regex_replace(text, std::regex(R"(\n\.[A-Z]+ ?)"), " ");
    return std::regex_replace(text, std::regex(R"(\s+)"), " ");
  };
  const std::string page = words(Unescaped(ReadManPage()));
  for (const char* phrase :
       {"(wielkość liter bez znaczenia) w jednej liście według nazwy, jak okno (IMG_2 przed IMG_10, a.jpeg przed b.jpg)",
        "jest tworzony, gdy go nie ma (jeden poziom)", "maksymalny rozmiar w pikselach (domyślnie 1280)"}) {
    EXPECT_NE(words(velmora::batch::usageText()).find(phrase), std::string::npos) << "help: " << phrase;
    EXPECT_NE(page.find(phrase), std::string::npos) << "man page: " << phrase;
  }
}

}  // namespace
