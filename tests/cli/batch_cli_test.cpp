#include "cli/batch_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "base/bytes.h"
#include "base/fileio.h"
#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/outputoptions.h"
#include "imaging/sourcefiles.h"
#include "metadata/iccprofile.h"
#include "support/faulty_calls.h"
#include "support/oriented_jpeg.h"

namespace velmora::batch {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

TEST(BatchArguments, ParsesTheOptions) {
  struct Row {
    std::vector<std::string> args;
    int size;
    bool enlarge;
    NameMode mode;
    std::string affix;
    bool keepGoing;
    std::vector<std::string> names;
  };
  const Row rows[] = {
      {{"in", "out"}, 1280, false, NameMode::Prefix, "_", false, {}},
      {{"--size", "800", "--enlarge", "in", "out", "a.jpg", "b.JPEG"},
       800,
       true,
       NameMode::Prefix,
       "_",
       false,
       {"a.jpg", "b.JPEG"}},
      {{"--suffix", "_m", "in", "out"}, 1280, false, NameMode::Suffix, "_m", false, {}},
      {{"--prefix=", "--size=640", "--keep-going", "in", "out"}, 640, false, NameMode::Prefix, "", true, {}},
      {{"in", "--", "out", "--enlarge"}, 1280, false, NameMode::Prefix, "_", false, {"--enlarge"}},
  };
  for (const Row& r : rows) {
    const CliOptions o = parseArguments(r.args);
    EXPECT_EQ(o.run.sizeLimit, r.size);
    EXPECT_EQ(o.run.enlarge, r.enlarge);
    EXPECT_EQ(o.run.nameMode, r.mode);
    EXPECT_EQ(o.run.affix, r.affix);
    EXPECT_EQ(o.keepGoing, r.keepGoing);
    EXPECT_EQ(o.source, fs::path("in"));
    EXPECT_EQ(o.run.destFolder, fs::path("out"));
    EXPECT_EQ(o.names, r.names);
  }
  EXPECT_TRUE(parseArguments({"--help"}).help);
  // Files at once: the cores by default, else --jobs N, --jobs=N, -j N or -jN.
  const std::pair<std::vector<std::string>, int> jobs[] = {
      {{"in", "out"}, 0},
      {{"--jobs", "3", "in", "out"}, 3},
      {{"--jobs=1", "in", "out"}, 1},
      {{"-j", "2", "in", "out"}, 2},
      {{"-j4", "in", "out"}, 4},
      {{"-j=8", "in", "out"}, 8},
      {{"-j", "1024", "in", "out"}, 1024},
  };
  for (const auto& [args, expected] : jobs)
    EXPECT_EQ(parseArguments(args).jobs, expected) << testing::PrintToString(args);
  EXPECT_FALSE(parseArguments({"in", "out"}).run.keepMetadata);
  EXPECT_TRUE(parseArguments({"--exif", "in", "out"}).run.keepMetadata);
  EXPECT_TRUE(parseArguments({"in", "out"}).run.rotate);
  EXPECT_FALSE(parseArguments({"--no-rotate", "in", "out"}).run.rotate);
}

TEST(BatchArguments, RefusesBadCommandLines) {
  const std::vector<std::string> bad[] = {
      {},
      {"in"},
      {"--size", "0", "in", "out"},
      {"--size", "12a", "in", "out"},
      {"--size"},
      {"--prefix", "a", "--suffix", "b", "in", "out"},
      {"--frobnicate", "in", "out"},
      {"--enlarge=yes", "in", "out"},
      {"--prefix", "../x_", "in", "out"},
      {"--suffix=/m", "in", "out"},
      {"--prefix", std::string("a\0b", 3), "in", "out"},
      {"--prefix=", "in", "out", ".."},
      {"in", "out", "sub/a.jpg"},
      {"--no-rotate=1", "in", "out"},
      {"--jobs", "0", "in", "out"},
      {"-j", "1025", "in", "out"},
      {"-jx", "in", "out"},
      {"--jobs", "2.5", "in", "out"},
      {"-j"},
      {"-x", "in", "out"},
      {"--null", "in", "out"},
      {"--report=", "in", "out"},
      {"--files-from", "/nonexistent", "in", "out"},
  };
  for (const auto& args : bad) EXPECT_THROW(parseArguments(args), UsageError) << testing::PrintToString(args);
  // The output options: each refusal names its option.
  const std::pair<std::vector<std::string>, std::string> named[] = {
      {{"--quality", "0"}, "--quality"},
      {{"--quality=101"}, "--quality"},
      {{"--quality", "9x"}, "--quality"},
      {{"--max-size", "0K"}, "--max-size"},
      {{"--max-size", "5G"}, "--max-size"},
      {{"--max-size=K"}, "--max-size"},
      {{"--max-size", "2000M"}, "--max-size"},
      {{"--sharpen", "max"}, "--sharpen"},
      {{"--chroma", "422"}, "--chroma"},
      {{"--progressive=1"}, "--progressive"},
      {{"--preset", "x", "--settings", "/nonexistent"}, "--preset"},
  };
  for (auto [args, option] : named) {
    args.insert(args.end(), {"in", "out"});
    try {
      parseArguments(args);
      ADD_FAILURE() << testing::PrintToString(args);
    } catch (const UsageError& e) {
      EXPECT_THAT(e.what(), testing::StartsWith(option)) << testing::PrintToString(args);
    }
  }
}

TEST(BatchArguments, OutputOptionsOverAPreset) {
  const OutputOptions defaults = parseArguments({"in", "out"}).run.output;
  EXPECT_EQ(defaults, OutputOptions{});
  const OutputOptions o =
      parseArguments({"--quality", "75", "--max-size", "2M", "--sharpen", "medium", "--standard-huffman",
                      "--progressive", "--chroma=444", "--keep-date", "in", "out"})
          .run.output;
  EXPECT_EQ(o.encoder, (EncoderOptions{75, false, true, ChromaSampling::k444}));
  EXPECT_EQ(o.maxBytes, 2000000u);
  EXPECT_EQ(o.sharpening, Sharpening::Medium);
  EXPECT_TRUE(o.keepDate);
  EXPECT_EQ(parseArguments({"--max-size", "500", "in", "out"}).run.output.maxBytes, 500000u);

  QTemporaryDir dir;
  const std::string settings = dir.filePath("velmora.props").toStdString();
  Preset forum{OutputOptions{}, {true, 800, true}};
  forum.output.encoder.quality = 70;
  forum.output.maxBytes = 500000;
  QString text = QStringLiteral("jakosc=95\r");
  for (const auto& [key, value] : PresetEntries(QStringLiteral("Forum 500 KB"), forum))
    text += key + "=" + value + "\r";
  const QByteArray utf8 = text.toUtf8();
  writeFileAtomically(settings, Bytes(utf8.begin(), utf8.end()));
  const CliOptions fromPreset = parseArguments({"--preset", "Forum 500 KB", "--settings", settings, "in", "out"});
  EXPECT_EQ(fromPreset.run.output, forum.output);
  EXPECT_EQ(fromPreset.run.sizeLimit, 800);
  EXPECT_TRUE(fromPreset.run.enlarge);
  // What the command line says besides the preset wins, wherever it stands.
  const CliOptions over =
      parseArguments({"--quality=60", "--size", "640", "--preset=Forum 500 KB", "--settings", settings, "in", "out"});
  EXPECT_EQ(over.run.output.encoder.quality, 60);
  EXPECT_EQ(over.run.output.maxBytes, 500000u);
  EXPECT_EQ(over.run.sizeLimit, 640);
  EXPECT_THROW(parseArguments({"--preset", "Facebook", "--settings", settings, "in", "out"}), UsageError);
}

class BatchRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    src_ = fs::path(dir_.path().toStdString()) / "src";
    dst_ = fs::path(dir_.path().toStdString()) / "dst";
    fs::create_directory(src_);
  }
  void copy(const std::string& sample, const std::string& as) {
    fs::copy_file(fs::path(VELMORA_TEST_DATA "/samples") / sample, src_ / as);
  }
  int run(std::vector<std::string> args) {
    err_.str("");
    std::ostringstream out;
    return batchMain(args, out, err_);
  }

  QTemporaryDir dir_;
  fs::path src_, dst_;
  std::ostringstream err_;
};

TEST_F(BatchRun, ScalesEveryPictureOfTheFolder) {
  copy("synthetic_progressive.jpg", "p.jpg");
  copy("synthetic_greyscale.jpg", "g.JPG");
  copy("synthetic_cmyk.jpg", "c.jpeg");
  copy("nikon_e950.jpg", "n.jpg");
  EXPECT_EQ(run({"--size", "300", "--suffix", "_s", src_.string(), dst_.string()}), 0) << err_.str();
  for (const char* name : {"p_s.jpg", "g_s.JPG", "c_s.jpeg", "n_s.jpg"}) {
    const QImage picture = loadJpeg(dst_ / name);
    EXPECT_EQ(std::max(picture.width(), picture.height()), 300) << name;
  }
  EXPECT_THAT(err_.str(), HasSubstr("4/4 "));
  EXPECT_THAT(err_.str(), testing::MatchesRegex("(1/4 [a-z.A-Z]+\n)(2/4 .*\n)(3/4 .*\n)(4/4 .*\n)"
                                                "velmora-batch: zapisano 4 z 4 plików; [0-9]+\\.[0-9]{2} s, "
                                                "[0-9]+\\.[0-9] zdj\\./s\n"));
}

// The plan writes nothing, not even DEST; the run then writes under the plan's names and skips on
// the next run.
TEST_F(BatchRun, DryRunPlansTemplateNamesAndNumbersExistingOutputs) {
  copy("canon_digital_ixus.jpg", "a.jpg");
  copy("nikon_e950.jpg", "b.jpg");
  const std::vector<std::string> names{"--name", "w_{nr:2}_{szer}", "--start", "7", "--size", "320"};
  std::vector<std::string> args = names;
  args.insert(args.end(), {"--existing", "number", "--dry-run", src_.string(), dst_.string()});
  std::ostringstream out;
  EXPECT_EQ(batchMain(args, out, err_), 0) << err_.str();
  EXPECT_EQ(out.str(), "a.jpg -> w_07_320.jpg 320x240 nowy\nb.jpg -> w_08_320.jpg 320x240 nowy\n");
  EXPECT_FALSE(fs::exists(dst_));
  fs::create_directory(dst_);
  std::ofstream(dst_ / "w_07_320.jpg") << "kept";
  out.str("");
  EXPECT_EQ(batchMain(args, out, err_), 0) << err_.str();
  EXPECT_EQ(out.str(), "a.jpg -> w_07_320 (2).jpg 320x240 nowy z numerem\nb.jpg -> w_08_320.jpg 320x240 nowy\n");
  EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(dst_), {}), std::set<fs::path>{dst_ / "w_07_320.jpg"});
  args.erase(std::find(args.begin(), args.end(), "--dry-run"));
  EXPECT_EQ(run(args), 0) << err_.str();
  EXPECT_EQ(loadJpeg(dst_ / "w_07_320 (2).jpg").width(), 320);
  EXPECT_EQ(readFileBytes(dst_ / "w_07_320.jpg"), Bytes({'k', 'e', 'p', 't'}));
  args[args.size() - 3] = "skip";
  EXPECT_EQ(run(args), 0) << err_.str();
  EXPECT_THAT(err_.str(), HasSubstr("zapisano 0 z 2 plików, pominięto: 2"));
}

// The output options end to end: sizes within the limit or named, the source's date, sharpening only
// after a reduction.
TEST_F(BatchRun, WritesWithTheOutputOptions) {
  copy("nikon_e950.jpg", "n.jpg");
  copy("olympus_e10.jpg", "o.jpg");
  fs::last_write_time(src_ / "n.jpg", fs::last_write_time(src_ / "n.jpg") - std::chrono::hours(24 * 400));
  EXPECT_EQ(run({"--size", "640", "--max-size", "40K", "--keep-date", "--exif", src_.string(), dst_.string()}), 0)
      << err_.str();
  for (const char* name : {"n.jpg", "o.jpg"}) {
    EXPECT_LE(fs::file_size(dst_ / (std::string("_") + name)), 40000u) << name;
    EXPECT_EQ(fs::last_write_time(dst_ / (std::string("_") + name)), fs::last_write_time(src_ / name)) << name;
  }
  EXPECT_EQ(run({"--size", "640", "--max-size", "2K", "--keep-going", src_.string(), dst_.string(), "n.jpg"}), 0);
  EXPECT_THAT(err_.str(), testing::ContainsRegex("n.jpg: nie zmieścił się w 2 KB \\(zapisano [0-9]+ KB\\)"));

  const auto bytes = [&](std::vector<std::string> options) {
    options.insert(options.end(), {src_.string(), dst_.string(), "n.jpg"});
    EXPECT_EQ(run(options), 0) << err_.str();
    return readFileBytes(dst_ / "_n.jpg");
  };
  EXPECT_EQ(bytes({"--size", "5000", "--sharpen", "high"}), bytes({"--size", "5000"}));
  EXPECT_NE(bytes({"--size", "640", "--sharpen", "high"}), bytes({"--size", "640"}));
}

// Progress counts files as they finish, whatever the number of workers: every count once, in order,
// each name once, failed files too.
TEST_F(BatchRun, ProgressHasNoGapsOnAnyNumberOfWorkers) {
  std::vector<std::string> names;
  for (int i = 0; i < 9; ++i) {
    names.push_back("p" + std::to_string(i) + ".jpg");
    copy(i == 4 ? "synthetic_truncated.jpg" : "synthetic_no_metadata.jpg", names.back());
  }
  for (const char* jobs : {"1", "2", "4"}) {
    fs::remove_all(dst_);
    EXPECT_EQ(run({"--keep-going", "-j", jobs, "--size", "64", src_.string(), dst_.string()}), 1);
    std::istringstream lines(err_.str());
    std::vector<std::string> seen;
    std::string line;
    for (int count = 1; count <= 9; ++count) {
      ASSERT_TRUE(std::getline(lines, line));
      const std::string prefix = std::to_string(count) + "/9 ";
      ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
      seen.push_back(line.substr(prefix.size()));
    }
    EXPECT_THAT(seen, testing::UnorderedElementsAreArray(names)) << "-j " << jobs;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line, "velmora-batch: p4.jpg: Plik JPEG urywa się przed końcem obrazu");
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_THAT(line, testing::StartsWith("velmora-batch: zapisano 8 z 9 plików, błędy: 1; "));
    EXPECT_FALSE(std::getline(lines, line));
  }
}

TEST_F(BatchRun, StopsAtTheFirstErrorUnlessToldToGoOn) {
  copy("synthetic_no_metadata.jpg", "a.jpg");
  copy("synthetic_truncated.jpg", "b.jpg");
  copy("synthetic_comment.jpg", "c.jpg");
  copy("synthetic_comment.jpg", "d.jpg");
  copy("synthetic_comment.jpg", "e.jpg");
  // One worker: the file after the failure never starts.
  EXPECT_EQ(run({"-j", "1", "--size", "200", src_.string(), dst_.string(), "a.jpg", "b.jpg", "c.jpg"}), 1);
  EXPECT_THAT(err_.str(), testing::MatchesRegex("1/3 a.jpg\n2/3 b.jpg\n"
                                                "velmora-batch: b.jpg: Plik JPEG urywa się przed końcem obrazu\n"
                                                "velmora-batch: przerwano po błędzie; zapisano 1 z 3 plików, "
                                                "błędy: 1; .* zdj\\./s\n"));
  EXPECT_TRUE(fs::exists(dst_ / "_a.jpg"));
  EXPECT_FALSE(fs::exists(dst_ / "_c.jpg"));

  // Two workers: the run still ends at b.jpg's failure (which files were in flight with it is up to the
  // scheduler; the core's tests pin that down).
  fs::remove_all(dst_);
  EXPECT_EQ(
      run({"-j", "2", "--size", "200", src_.string(), dst_.string(), "a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("velmora-batch: b.jpg: Plik JPEG urywa się przed końcem obrazu\n"));
  EXPECT_THAT(err_.str(), HasSubstr("przerwano po błędzie"));
  EXPECT_TRUE(fs::exists(dst_ / "_a.jpg"));
  EXPECT_FALSE(fs::exists(dst_ / "_b.jpg"));

  // Going on: every file is tried, the report after the progress lists each failed one with its cause.
  fs::remove_all(dst_);
  EXPECT_EQ(
      run({"--keep-going", "--size", "200", src_.string(), dst_.string(), "a.jpg", "b.jpg", "missing.jpg", "c.jpg"}),
      1);
  const std::string text = err_.str();
  const auto report = text.find(
      "velmora-batch: b.jpg: Plik JPEG urywa się przed końcem obrazu\nvelmora-batch: missing.jpg: "
      "Nie można odczytać pliku");
  ASSERT_NE(report, std::string::npos) << text;
  EXPECT_GT(report, text.find("4/4 "));
  EXPECT_THAT(text, HasSubstr("velmora-batch: zapisano 2 z 4 plików, błędy: 2; "));
  EXPECT_TRUE(fs::exists(dst_ / "_c.jpg"));
}

TEST_F(BatchRun, ReportsFolderProblems) {
  EXPECT_EQ(run({src_.string(), dst_.string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("brak plików JPEG"));
  EXPECT_EQ(run({(src_ / "nope").string(), dst_.string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("nie istnieje"));
  // One level of destination is created, as in the window; deeper ones are not.
  copy("synthetic_no_metadata.jpg", "a.jpg");
  EXPECT_EQ(run({src_.string(), (dst_ / "x" / "y").string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("y\": folder nie istnieje\n"));
  EXPECT_FALSE(fs::exists(dst_));
  EXPECT_EQ(run({"--size", "50", src_.string(), dst_.string()}), 0) << err_.str();
  EXPECT_TRUE(fs::exists(dst_ / "_a.jpg"));
}

// A prefix or suffix that leaves DEST is refused with the option named, before anything is made.
TEST_F(BatchRun, AnAffixWithASlashWritesNothing) {
  copy("synthetic_no_metadata.jpg", "a.jpg");
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"--prefix", "../x_"}, "velmora-batch: --prefix: prefiks nie może zawierać znaku \"/\"\n"},
      {{"--suffix", "_m/"}, "velmora-batch: --suffix: sufiks nie może zawierać znaku \"/\"\n"},
  };
  for (const auto& [options, message] : rows) {
    std::vector<std::string> args = options;
    args.push_back(src_.string());
    args.push_back(dst_.string());
    EXPECT_EQ(run(args), 2);
    EXPECT_EQ(err_.str().substr(0, message.size()), message);
    EXPECT_FALSE(fs::exists(dst_));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path().toStdString()), fs::directory_iterator()), 1);
  }
}

// What a killed run left in DEST (its own temporaries only) goes; other files stay.
TEST_F(BatchRun, ARunRemovesAKilledRunsTemporaries) {
  copy("synthetic_no_metadata.jpg", "a.jpg");
  fs::create_directory(dst_);
  for (const char* name : {".velmora-backup.tmp", ".notes.tmp", "_old.jpg"})
    std::fclose(std::fopen((dst_ / name).c_str(), "w"));
  test::LeftoverTemporary(dst_);
  EXPECT_EQ(run({"--size", "40", src_.string(), dst_.string()}), 0) << err_.str();
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dst_)) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{".velmora-backup.tmp", ".notes.tmp", "_old.jpg", "_a.jpg"}));
}

// Names keep their bytes, printed escaped; a pipe is counted; no output replaces a source; SOURCE a file.
TEST_F(BatchRun, NamesKeepTheirBytesAndSourcesAreNeverReplaced) {
  for (const char* name : {"\xff\xfe.jpg", "\xfe\xff.jpg", "a\x1b[2J.jpg", "_a.jpg"})
    copy("synthetic_comment.jpg", name);
  ASSERT_EQ(::mkfifo((src_ / "pipe.jpg").c_str(), 0600), 0);
  EXPECT_EQ(run({"--suffix", "_s", "--size", "40", src_.string(), dst_.string()}), 0) << err_.str();
  for (const char* name : {"\xff\xfe_s.jpg", "\xfe\xff_s.jpg", "a\x1b[2J_s.jpg"}) EXPECT_TRUE(fs::exists(dst_ / name));
  EXPECT_THAT(err_.str(), testing::AllOf(HasSubstr("pominięte pliki, które nie są zwykłymi plikami: 1\n"),
                                         HasSubstr(" \\xFF\\xFE.jpg\n"), HasSubstr(" a\\x1B[2J.jpg\n")));
  EXPECT_EQ(err_.str().find_first_of("\x1b\xff"), std::string::npos);
  copy("synthetic_no_metadata.jpg", "a.jpg");
  const Bytes original = readFileBytes(src_ / "_a.jpg");
  EXPECT_EQ(run({"--keep-going", src_.string(), src_.string(), "a.jpg", "_a.jpg"}), 1);
  EXPECT_EQ(readFileBytes(src_ / "_a.jpg"), original);
  EXPECT_THAT(err_.str(), HasSubstr("velmora-batch: a.jpg: Plik wynikowy \"" + (src_ / "_a.jpg").string() +
                                    "\" zastąpiłby plik źródłowy \"_a.jpg\"\n"));
  EXPECT_EQ(run({(src_ / "a.jpg").string(), dst_.string()}), 1);
  EXPECT_THAT(err_.str(), HasSubstr("a.jpg\" jest plikiem, a nie folderem źródłowym\n"));
  for (const fs::path& folder : {src_, dst_}) fs::remove_all(folder);  // names QTemporaryDir cannot remove
}

// With --recursive the tree's pictures go into the same folders below DEST, which is no source itself
// (the second run finds what the first found); a link inside DEST leads nowhere.
TEST_F(BatchRun, RecursiveKeepsTheTreesFoldersBelowDest) {
  const fs::path dest = src_ / "out";
  for (const fs::path& folder : {src_ / "2026/wesele", src_ / "evil", dest, dst_}) fs::create_directories(folder);
  fs::create_directory_symlink(dst_, dest / "evil");
  for (const char* name : {"a.jpg", "2026/wesele/b.jpg", "evil/c.jpg"}) copy("synthetic_no_metadata.jpg", name);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(run({"--recursive", "--keep-going", "-j1", "--size", "40", src_.string(), dest.string()}), 1);
    EXPECT_THAT(err_.str(), testing::AllOf(HasSubstr("1/3 a.jpg\n2/3 2026/wesele/b.jpg\n"),
                                           HasSubstr("velmora-batch: evil/c.jpg: \"" + (dest / "evil").string() +
                                                     "\" jest dowiązaniem, a nie folderem\n"),
                                           HasSubstr("zapisano 2 z 3 plików")));
  }
  EXPECT_TRUE(fs::exists(dest / "_a.jpg") && fs::exists(dest / "2026/wesele/_b.jpg"));
  EXPECT_TRUE(fs::is_empty(dst_));
}

// Killed mid-run it stops as "Zatrzymaj" does: summary, 128 + 15, no temporary; a closed stderr is no end.
TEST(BatchProgram, ASignalStopsTheRunAndAClosedPipeDoesNot) {
  QTemporaryDir dir;
  const fs::path src = fs::path(dir.path().toStdString()) / "src", dst = src.parent_path() / "dst";
  fs::create_directory(src);
  for (int i = 0; i < 200; ++i)
    fs::create_symlink(fs::path(VELMORA_TEST_DATA "/samples/nikon_e950.jpg"), src / ("p" + std::to_string(i) + ".jpg"));
  std::string text;
  for (const bool signal : {true, false}) {
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(pipe[1], 2);
      ::close(pipe[0]);
      ::execl(VELMORA_BATCH_EXE, "velmora-batch", src.c_str(), dst.c_str(), signal ? nullptr : "p1.jpg", nullptr);
      ::_exit(127);
    }
    ::close(pipe[1]);
    std::FILE* err = ::fdopen(pipe[0], "r");
    char line[4096];
    if (signal && std::fgets(line, sizeof line, err)) ::kill(pid, SIGTERM);  // a file is written: mid-run
    while (signal && std::fgets(line, sizeof line, err)) text += line;
    std::fclose(err);  // without the signal at once: every write of the program meets a closed pipe
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), signal ? 143 : 0);
  }
  EXPECT_THAT(text, testing::MatchesRegex("(.*\n)*velmora-batch: zatrzymano \\(SIGTERM\\) przed p[0-9]+\\.jpg\n"
                                          "velmora-batch: zatrzymano; zapisano [0-9]+ z 200 plików; .*\n"));
  for (const auto& e : fs::directory_iterator(dst)) EXPECT_FALSE(isOwnTemporaryName(e.path().filename().string()));
}

// The real program, as scripts call it.
TEST(BatchProgram, HelpAndUsageErrors) {
  const std::string exe = VELMORA_BATCH_EXE;
  auto status = [&](const std::string& args, std::string* output) {
    std::FILE* p = ::popen((exe + " " + args + " 2>&1").c_str(), "r");
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
    const int rc = ::pclose(p);
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  };
  std::string help, usage;
  EXPECT_EQ(status("--help", &help), 0);
  EXPECT_THAT(help, HasSubstr("--keep-going"));
  EXPECT_THAT(help, HasSubstr("--exif"));
  EXPECT_THAT(help, HasSubstr("--no-rotate"));
  EXPECT_THAT(help, HasSubstr("--jobs N, -j N"));
  EXPECT_THAT(help, HasSubstr("--max-size ROZMIAR"));
  EXPECT_EQ(status("--size", &usage), 2);
  EXPECT_THAT(usage, HasSubstr("--size: brak wartości"));
}

// What a command prints on stdout, as bytes.
std::string Output(const std::string& command) {
  std::string out;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

std::string ExifTool(const std::string& args, const fs::path& file) {
  return Output("exiftool " + args + " '" + file.string() + "' 2>/dev/null");
}

// As the checks run: the program, and exiftool reading what it wrote. --keep-profile carries
// the source's profile.
TEST(BatchProgram, ColourProfileAndOrientationAsExifToolReadsThem) {
  QTemporaryDir dir;
  const fs::path src = fs::path(dir.path().toStdString()) / "src";
  fs::create_directory(src);
  const fs::path samples = VELMORA_TEST_DATA "/samples";
  fs::copy_file(samples / "canon_eos_7d_lightroom_iptc.jpg", src / "adobe_rgb.jpg");
  Bytes cmykProfile(560, 0x11);
  std::copy_n("CMYK", 4, cmykProfile.begin() + 16);
  ByteWriter app2;
  ASSERT_TRUE(WriteIccSegments(app2, cmykProfile));
  writeFileAtomically(src / "cmyk.jpg",
                      test::WithSegmentsAfterSoi(readFileBytes(samples / "synthetic_cmyk.jpg"), app2.data()));
  // Upright 120 x 80, a red corner at the visual top-left.
  QImage upright(120, 80, QImage::Format_RGB32);
  upright.fill(qRgb(128, 128, 128));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) upright.setPixel(x, y, qRgb(255, 0, 0));
  for (int o = 1; o <= 8; ++o) {
    const QImage stored = test::StoredFor(upright, o);
    writeFileAtomically(src / ("o" + std::to_string(o) + ".jpg"),
                        test::WithSegmentsAfterSoi(encodeJpeg(stored), test::OrientedExifApp1(o)));
  }
  const std::string exe = VELMORA_BATCH_EXE;
  for (const bool exif : {false, true}) {
    SCOPED_TRACE(exif ? "--exif" : "plain");
    const fs::path dst = fs::path(dir.path().toStdString()) / (exif ? "exif" : "plain");
    ASSERT_EQ(std::system((exe + (exif ? " --exif" : "") + " --keep-profile --size 100 '" + src.string() + "' '" +
                           dst.string() + "' 2>/dev/null")
                              .c_str()),
              0);
    const std::string profile = ExifTool("-b -ICC_Profile", src / "adobe_rgb.jpg");
    ASSERT_GT(profile.size(), 500u);
    EXPECT_EQ(ExifTool("-b -ICC_Profile", dst / "_adobe_rgb.jpg"), profile) << "byte for byte";
    EXPECT_EQ(ExifTool("-b -ICC_Profile", dst / "_cmyk.jpg"), "");
    for (int o = 1; o <= 8; ++o) {
      const fs::path out = dst / ("_o" + std::to_string(o) + ".jpg");
      const QImage picture = loadJpeg(out);
      EXPECT_EQ(picture.size(), QSize(100, 67)) << o;
      EXPECT_GT(qRed(picture.pixel(3, 3)), 200) << o;
      EXPECT_LT(qRed(picture.pixel(96, 63)), 160) << o;
      EXPECT_EQ(ExifTool("-s3 -n -IFD0:Orientation", out), exif ? "1\n" : "") << o;
    }
  }
}

// An Adobe RGB picture comes out sRGB, and its metadata says so; --keep-profile carries what it had.
TEST(BatchProgram, ConvertsToSrgbAndSaysSoInTheMetadata) {
  QTemporaryDir dir;
  const fs::path src = fs::path(dir.path().toStdString()) / "src";
  fs::create_directory(src);
  fs::copy_file(VELMORA_TEST_DATA "/colour/adobe_rgb.jpg", src / "adobe_rgb.jpg");
  const std::string tags =
      "-n -s3 -ProfileDescription -ExifIFD:ColorSpace -InteropIndex -XMP-photoshop:ICCProfileName "
      "-Software";
  for (const bool keep : {false, true}) {
    const fs::path dst = fs::path(dir.path().toStdString()) / (keep ? "kept" : "converted");
    ASSERT_EQ(std::system((std::string(VELMORA_BATCH_EXE) + " --exif" + (keep ? " --keep-profile" : "") + " '" +
                           src.string() + "' '" + dst.string() + "' 2>/dev/null")
                              .c_str()),
              0);
    EXPECT_EQ(
        ExifTool(tags, dst / "_adobe_rgb.jpg"),
        keep ? ExifTool(tags, src / "adobe_rgb.jpg") : "sRGB IEC61966-2.1\n1\nR98\nsRGB IEC61966-2.1\nVelmora-test\n");
  }
}

}  // namespace
}  // namespace velmora::batch

namespace velmora::batch {
namespace {

// One JSON line per file, in order; a missing file is named on stderr and makes the exit code 1.
TEST(BatchDumpMetadata, OneObjectPerFileAndMissingFilesReported) {
  const std::string samples = VELMORA_TEST_DATA "/samples/";
  std::ostringstream out, err;
  EXPECT_EQ(batchMain({"--dump-metadata", samples + "synthetic_comment.jpg", samples + "canon_ixus_v3.jpg"}, out, err),
            0);
  std::istringstream lines(out.str());
  std::string first, second, extra;
  ASSERT_TRUE(std::getline(lines, first));
  ASSERT_TRUE(std::getline(lines, second));
  EXPECT_FALSE(std::getline(lines, extra));
  EXPECT_THAT(first, HasSubstr("Sample JPEG comment written as a COM segment"));
  EXPECT_THAT(second, HasSubstr("\"Make\""));
  EXPECT_TRUE(err.str().empty());

  std::ostringstream out2, err2;
  EXPECT_EQ(batchMain({"--dump-metadata", samples + "absent.jpg"}, out2, err2), 1);
  EXPECT_THAT(err2.str(), HasSubstr("absent.jpg"));
  std::ostringstream out3, err3;
  EXPECT_EQ(batchMain({"--dump-metadata"}, out3, err3), 2);
}

}  // namespace
}  // namespace velmora::batch
