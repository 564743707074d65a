#include "imaging/runsetup.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <fstream>
#include <optional>
#include <tuple>

#include "imaging/caption.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class RunSetup : public testing::Test {
 protected:
  void SetUp() override {
    src_ = fs::path(dir_.path().toStdString()) / "src";
    dst_ = src_.parent_path() / "dst";
    fs::create_directory(src_);
    for (const char* name : {"a.jpg", "_a.jpg", "b.jpg", "d.txt", "_d.txt"}) std::ofstream(src_ / name) << name;
  }
  RunRequest Request(std::vector<std::string> names, const fs::path& dest, std::string affix = "_") const {
    RunRequest request;
    request.sourceFolder = src_;
    request.names = std::move(names);
    request.options.destFolder = dest;
    request.options.affix = std::move(affix);
    return request;
  }
  // The fault prepareRun throws, if any.
  static std::optional<SetupFault> FaultOf(RunRequest request, const RunQuestions& questions, std::string* text) {
    try {
      prepareRun(std::move(request), questions);
    } catch (const RunSetupError& e) {
      *text = e.what();
      return e.fault();
    }
    return std::nullopt;
  }

  QTemporaryDir dir_;
  fs::path src_, dst_;
};

// Every option check comes in its order, before the destination, the run's first change on disk.
TEST_F(RunSetup, OptionsAreCheckedInOrderBeforeTheDestinationIsMade) {
  struct Row {
    NameMode mode;
    std::string affix;
    bool scale, caption;
    int size;
    SetupFault fault;
    std::string text;
  };
  const Row rows[] = {
      {NameMode::Prefix, "../x_", false, false, 0, SetupFault::Affix, "Prefiks nie może zawierać znaku \"/\""},
      {NameMode::Suffix, "_m/", true, true, 1, SetupFault::Affix, "Sufiks nie może zawierać znaku \"/\""},
      {NameMode::Prefix, std::string("a\0b", 3), true, true, 1, SetupFault::Affix,
       "Prefiks nie może zawierać znaku NUL"},
      {NameMode::Prefix, "_", false, false, 0, SetupFault::NoOperation, "Nie wybrano operacji"},
      {NameMode::Prefix, "_", true, true, 0, SetupFault::SizeBelowOne, "Rozmiar musi być większy od zera"},
  };
  for (const Row& row : rows) {
    RunRequest request = Request({"a.jpg"}, dst_, row.affix);
    request.options.nameMode = row.mode;
    request.options.scale = row.scale;
    request.options.sizeLimit = row.size;
    int asked = 0;
    RunQuestions questions;
    if (row.caption) questions.caption = [&asked] { return ++asked, std::shared_ptr<const CaptionStamper>(); };
    questions.makeDestination = [&asked] { return ++asked, true; };
    std::string text;
    EXPECT_EQ(FaultOf(request, questions, &text), row.fault) << row.text;
    EXPECT_EQ(text, row.text);
    EXPECT_EQ(asked, 0) << row.text;
    EXPECT_FALSE(fs::exists(dst_));
  }
}

// A missing destination is made, one level only, when not asked or agreed; what is there must be a folder.
TEST_F(RunSetup, TheDestinationIsMadeOneLevelWhenAgreed) {
  std::ofstream(dir_.filePath("file").toStdString()) << "x";
  const fs::path file = dir_.filePath("file").toStdString(), deep = dst_ / "x" / "y";
  const std::tuple<fs::path, std::optional<bool>, std::optional<SetupFault>, std::string> rows[] = {
      {dst_, std::nullopt, std::nullopt, ""},
      {dst_, true, std::nullopt, ""},
      {dst_, false, SetupFault::DestinationDeclined, ""},
      {file, std::nullopt, SetupFault::DestinationNotFolder, "\"" + file.string() + "\" nie jest folderem"},
      {deep, true, SetupFault::DestinationNotMade,
       "nie można utworzyć folderu docelowego \"" + deep.string() + "\": folder nie istnieje"},
  };
  for (const auto& [dest, answer, fault, message] : rows) {
    fs::remove_all(dst_);
    RunQuestions questions;
    if (answer) questions.makeDestination = [answer] { return *answer; };
    std::string text;
    EXPECT_EQ(FaultOf(Request({"a.jpg"}, dest), questions, &text), fault) << dest;
    EXPECT_EQ(text, message);
    EXPECT_EQ(fs::is_directory(dest), !fault) << dest;
  }
  EXPECT_FALSE(fs::exists(dst_ / "x"));
}

// No output lands on a source folder's picture or a run's source, by any path; on its own only if agreed.
TEST_F(RunSetup, OutputsNeverReplaceSources) {
  const fs::path link = src_.parent_path() / "link";
  fs::create_symlink(src_, link);
  const std::string other = "\" zastąpiłby plik źródłowy \"_a.jpg\"", own = "zastąpiłby plik źródłowy: \"";
  struct Row {
    fs::path dest;
    std::string affix;
    std::optional<bool> replace;  // the answer to the question, if asked
    std::vector<std::string> names, refused;
    bool asked;
  };
  const Row rows[] = {
      {src_, "_", true, {"a.jpg", "b.jpg", "d.txt"}, {(src_ / "_a.jpg").string() + other, "", ""}, false},
      {link, "_", std::nullopt, {"a.jpg"}, {(link / "_a.jpg").string() + other}, false},
      {src_, "", std::nullopt, {"a.jpg"}, {own + (src_ / "a.jpg").string() + "\""}, false},
      {link, "", true, {"a.jpg", "a.jpg"}, {"", "\" powstaje już z pliku \"a.jpg\""}, true},
  };
  for (const Row& row : rows) {
    bool asked = false;
    RunQuestions questions;
    if (row.replace) questions.replaceSources = [&asked, &row] { return asked = true, *row.replace; };
    const RunRequest prepared = prepareRun(Request(row.names, row.dest, row.affix), questions);
    EXPECT_EQ(asked, row.asked);
    EXPECT_EQ(prepared.options.allowReplaceSource, row.asked);
    ASSERT_EQ(prepared.refused.size(), row.names.size());
    for (std::size_t i = 0; i < row.names.size(); ++i) {
      const std::string& want = row.refused[i];
      EXPECT_TRUE(want.empty() ? prepared.refused[i].empty() : prepared.refused[i].ends_with(want))
          << prepared.refused[i];
    }
  }
  // Declined: the run does not start.
  RunQuestions keep;
  keep.replaceSources = [] { return false; };
  std::string text;
  EXPECT_EQ(FaultOf(Request({"a.jpg"}, src_, ""), keep, &text), SetupFault::SourcesKept);
  fs::remove(link);  // not followed when the folder goes
}

// The run stamps the caption the front end hands over once its options passed; none when it hands none.
TEST_F(RunSetup, TheRunGetsTheCaptionItWasGiven) {
  for (const bool given : {false, true}) {
    RunQuestions questions;
    questions.caption = [given] { return given ? std::make_shared<const CaptionStamper>(CaptionSettings{}) : nullptr; };
    const RunRequest prepared = prepareRun(Request({"a.jpg"}, dst_), questions);
    ASSERT_EQ(static_cast<bool>(prepared.options.caption), given);
    if (!given) continue;
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(0xFF808080u);
    const QImage before = picture;
    prepared.options.caption(picture);
    EXPECT_NE(picture, before);
  }
}

}  // namespace
}  // namespace velmora
