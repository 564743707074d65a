#include "imaging/runsetup.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <optional>
#include <tuple>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using F = SetupFault;

class RunSetup : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(src_);
    for (const char* name : {"a.jpg", "_a.jpg", "b.jpg", "d.txt"}) std::ofstream(src_ / name) << name;
  }
  RunRequest Request(std::vector<std::string> names, const fs::path& dest, std::string affix = "_") const {
    RunRequest request;
    request.sourceFolder = src_;
    request.names = std::move(names);
    request.options.destFolder = dest;
    request.options.affix = std::move(affix);
    return request;
  }
  // The fault prepareRun throws and its text, if any.
  static std::optional<std::pair<SetupFault, std::string>> FaultOf(const RunRequest& r, const RunQuestions& q) {
    try {
      prepareRun(r, q);
    } catch (const RunSetupError& e) {
      return std::pair{e.fault(), std::string(e.what())};
    }
    return std::nullopt;
  }

  QTemporaryDir dir_;
  const fs::path src_ = fs::path(dir_.path().toStdString()) / "src", dst_ = src_.parent_path() / "dst";
};

// Every option check comes in its order, before anything is asked or made.
TEST_F(RunSetup, OptionsAreCheckedInOrderBeforeTheDestinationIsMade) {
  // Name mode, affix, scale, caption, size; the fault.
  const std::tuple<NameMode, std::string, bool, bool, int, F, std::string> rows[] = {
      {NameMode::Prefix, "../x_", false, false, 0, F::Affix, "Prefiks nie może zawierać znaku \"/\""},
      {NameMode::Suffix, "_m/", true, true, 1, F::Affix, "Sufiks nie może zawierać znaku \"/\""},
      {NameMode::Prefix, "_", false, false, 0, F::NoOperation, "Nie wybrano operacji"},
      {NameMode::Prefix, "_", true, true, 0, F::SizeBelowOne, "Rozmiar musi być większy od zera"},
  };
  for (const auto& [mode, affix, scale, caption, size, fault, text] : rows) {
    RunRequest request = Request({"a.jpg"}, dst_, affix);
    request.options.nameMode = mode, request.options.scale = scale, request.options.sizeLimit = size;
    int asked = 0;
    RunQuestions questions;
    if (caption) questions.caption = [&asked] { return ++asked, std::shared_ptr<const CaptionStamper>(); };
    questions.makeDestination = [&asked] { return ++asked, true; };
    EXPECT_EQ(FaultOf(request, questions), std::pair(fault, text));
    EXPECT_EQ(asked, 0) << text;
    EXPECT_FALSE(fs::exists(dst_));
  }
}

// A missing destination is made, one level only, when not asked or agreed; what is there must be a folder.
TEST_F(RunSetup, TheDestinationIsMadeOneLevelWhenAgreed) {
  const fs::path file = src_ / "a.jpg", deep = dst_ / "x" / "y";
  const std::tuple<fs::path, std::optional<bool>, std::optional<std::pair<SetupFault, std::string>>> rows[] = {
      {dst_, std::nullopt, std::nullopt},
      {dst_, true, std::nullopt},
      {dst_, false, std::pair(F::DestinationDeclined, "")},
      {file, std::nullopt, std::pair(F::DestinationNotFolder, "\"" + file.string() + "\" nie jest folderem")},
      {deep, true,
       std::pair(F::DestinationNotMade,
                 "nie można utworzyć folderu docelowego \"" + deep.string() + "\": folder nie istnieje")},
  };
  for (const auto& [dest, answer, fault] : rows) {
    fs::remove_all(dst_);
    RunQuestions questions;
    if (answer) questions.makeDestination = [answer] { return *answer; };
    EXPECT_EQ(FaultOf(Request({"a.jpg"}, dest), questions), fault) << dest;
    EXPECT_EQ(fs::is_directory(dest), !fault) << dest;
  }
  EXPECT_FALSE(fs::exists(deep.parent_path()));
  // Made meanwhile by another process (two runs of one split job): the folder is there, as wanted.
  fs::remove_all(dst_);
  RunQuestions racing;
  racing.makeDestination = [this] { return fs::create_directory(dst_); };
  EXPECT_EQ(FaultOf(Request({"a.jpg"}, dst_), racing), std::nullopt);
}

// No output lands on a source folder's picture or a run's source, by any path; on its own only if agreed.
TEST_F(RunSetup, OutputsNeverReplaceSources) {
  const fs::path link = src_.parent_path() / "link";
  fs::create_symlink(src_, link);
  fs::create_directory(src_ / "sub");
  for (const char* name : {"sub/x.jpg", "sub/_x.jpg"}) std::ofstream(src_ / name) << name;
  const std::string other = "\" zastąpiłby plik źródłowy \"_a.jpg\"", own = "zastąpiłby plik źródłowy: \"";
  // Destination, affix, the answer to "replace the sources?" if asked, names, what each is refused.
  const std::tuple<fs::path, std::string, std::optional<bool>, std::vector<std::string>, std::vector<std::string>>
      rows[] = {
          {src_, "_", true, {"a.jpg", "b.jpg", "d.txt"}, {(src_ / "_a.jpg").string() + other, "", ""}},
          {link, "_", std::nullopt, {"a.jpg"}, {(link / "_a.jpg").string() + other}},
          {src_, "", std::nullopt, {"a.jpg"}, {own + (src_ / "a.jpg").string() + "\""}},
          {link, "", true, {"a.jpg", "a.jpg"}, {"", "\" powstaje już z pliku \"a.jpg\""}},
          // A picture of a subfolder, though not in the run.
          {link, "_", std::nullopt, {"sub/x.jpg"}, {"/sub/_x.jpg\" zastąpiłby plik źródłowy \"sub/_x.jpg\""}},
      };
  for (const auto& [dest, affix, answer, names, refused] : rows) {
    bool asked = false;
    RunQuestions questions;
    if (answer) questions.replaceSources = [&asked, answer] { return asked = true, *answer; };
    const RunRequest prepared = prepareRun(Request(names, dest, affix), questions);
    // Asked only when an output would replace its own source.
    EXPECT_EQ(asked, refused[0].empty());
    EXPECT_EQ(prepared.options.allowReplaceSource, asked);
    ASSERT_EQ(prepared.refused.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
      EXPECT_TRUE(refused[i].empty() ? prepared.refused[i].empty() : prepared.refused[i].ends_with(refused[i]))
          << prepared.refused[i];
  }
  const RunQuestions keep{.caption = {}, .makeDestination = {}, .replaceSources = [] { return false; }};
  EXPECT_EQ(FaultOf(Request({"a.jpg"}, src_, ""), keep), std::pair(F::SourcesKept, std::string()));
  fs::remove(link);  // not followed when the folder goes
}

}  // namespace
}  // namespace velmora
