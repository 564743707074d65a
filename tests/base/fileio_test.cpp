#include "base/fileio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "support/faulty_calls.h"
#include "support/small_tmpfs.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::FaultyCalls;
using Step = FaultyCalls::Step;

Bytes Fill(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

class FileIo : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/velmora-fileio-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::set<std::string> Names(const fs::path& folder) const {
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.insert(e.path().filename().string());
    return out;
  }
  void Put(const fs::path& path, const Bytes& bytes) const {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  fs::path dir_;
};

TEST_F(FileIo, ReplacesWholeFileKeepsUmaskForNewFilesAndLeavesNoTemporary) {
  const auto target = dir_ / "out.jpg";
  writeFileAtomically(target, Bytes(1000, 7));
  writeFileAtomically(target, Bytes{1, 2, 3});
  EXPECT_EQ(readFileBytes(target), (Bytes{1, 2, 3}));
  EXPECT_EQ(readFileBytes(target, 2), (Bytes{1, 2}));
  fs::remove(target);
  // A published picture gets the permissions of any new file, not the private ones of a temporary.
  const mode_t mask = ::umask(022);
  writeFileAtomically(target, Bytes{4});
  ::umask(mask);
  EXPECT_EQ(fs::status(target).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(Names(dir_), std::set<std::string>{"out.jpg"});
  EXPECT_THROW(readFileBytes(dir_ / "absent.jpg"), FileError);
}

TEST_F(FileIo, KeepsThePermissionsOfTheFileItReplacesAndFollowsALink) {
  const auto real = dir_ / "real.props";
  Put(real, Bytes{1});
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink(real, dir_ / "link.props");
  writeFileAtomically(dir_ / "link.props", Bytes{2, 2});
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.props"));
  EXPECT_EQ(readFileBytes(real), (Bytes{2, 2}));
  EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(Names(dir_), (std::set<std::string>{"link.props", "real.props"}));
}

// Keeping an existing name: a file, or a link even when dangling, stays as it was and no temporary is left.
TEST_F(FileIo, KeepExistingNeverReplacesWhatHasTheName) {
  Put(dir_ / "there.jpg", Bytes{1});
  fs::create_symlink(dir_ / "nowhere", dir_ / "link.jpg");
  for (const char* name : {"there.jpg", "link.jpg"})
    EXPECT_FALSE(writeFileAtomically(dir_ / name, Bytes{2}, systemFileCalls(), WriteMode::kKeepExisting)) << name;
  EXPECT_TRUE(writeFileAtomically(dir_ / "new.jpg", Bytes{3}, systemFileCalls(), WriteMode::kKeepExisting));
  EXPECT_EQ(readFileBytes(dir_ / "there.jpg"), Bytes{1});
  EXPECT_EQ(readFileBytes(dir_ / "new.jpg"), Bytes{3});
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
  EXPECT_EQ(Names(dir_), (std::set<std::string>{"there.jpg", "link.jpg", "new.jpg"}));
}

// Every call of the write path failing in turn: before the rename the old file stays byte for byte,
// the temporary is gone and the message names the file and the cause.
TEST_F(FileIo, AFailureAnywhereKeepsTheOldFileAndSaysWhy) {
  struct Row {
    const char* name;
    Step step;
    int error;
    std::size_t budget;
    bool renamed;  // the failure comes after the new file is in place
    const char* reason;
  };
  const Row rows[] = {
      {"no room for a temporary", Step::Open, ENOSPC, 0, false, "brak miejsca na dysku"},
      {"disk full at the first byte", Step::Write, ENOSPC, 0, false, "brak miejsca na dysku"},
      {"disk full midway", Step::Write, ENOSPC, 5000, false, "brak miejsca na dysku"},
      {"quota reached midway", Step::Write, EDQUOT, 1, false, "przekroczony przydział miejsca na dysku"},
      {"device error on write", Step::Write, EIO, 100, false, "błąd wejścia-wyjścia"},
      {"device error on sync", Step::Fsync, EIO, 0, false, "błąd wejścia-wyjścia"},
      {"delayed error on close", Step::Close, ENOSPC, 0, false, "brak miejsca na dysku"},
      {"rename refused", Step::Rename, EACCES, 0, false, "brak uprawnień"},
      {"folder sync fails", Step::SyncFolder, EIO, 0, true, "błąd wejścia-wyjścia"},
  };
  const Bytes old = Fill(3000, 1), fresh = Fill(9000, 2);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const auto target = dir_ / "velmora.props";
    Put(target, old);
    FaultyCalls calls;
    calls.failAt = r.step;
    calls.error = r.error;
    calls.writeBudget = r.budget;
    try {
      writeFileAtomically(target, fresh, calls);
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_EQ(e.reason(), r.reason);
      EXPECT_EQ(std::string(e.what()), "Nie można zapisać pliku \"" + target.string() + "\": " + r.reason);
    }
    EXPECT_EQ(readFileBytes(target), r.renamed ? fresh : old);
    EXPECT_EQ(Names(dir_), std::set<std::string>{"velmora.props"});
  }
}

// Streamed: the old file stands until commit; an abandoned or failed writer leaves it and no temporary.
TEST_F(FileIo, AStreamedFileTakesTheNameOnlyWhenCommitted) {
  const fs::path target = dir_ / "raport.jsonl";
  Put(target, Fill(10, 1));
  for (const bool commit : {false, true}) {
    AtomicFileWriter writer(target);
    for (const char* part : {"{}\n", "[]"}) writer.append(std::string_view(part));
    EXPECT_EQ(readFileBytes(target), Fill(10, 1));
    if (commit) writer.commit();
  }
  EXPECT_EQ(readFileBytes(target), Bytes({'{', '}', '\n', '[', ']'}));
  FaultyCalls calls;
  calls.failAt = Step::Write;
  AtomicFileWriter failing(target, calls);
  EXPECT_THROW(failing.append(std::string_view("x")), FileError);
  EXPECT_EQ(Names(dir_), std::set<std::string>({"raport.jsonl"}));
  EXPECT_THROW(failing.commit(), FileError);
}

TEST_F(FileIo, ShortWritesAreContinuedAndAWriteOfNothingIsAnError) {
  const auto target = dir_ / "a.txt";
  const Bytes bytes = Fill(10000, 3);
  FaultyCalls shortWrites;
  shortWrites.maxPerWrite = 777;
  writeFileAtomically(target, bytes, shortWrites);
  EXPECT_EQ(readFileBytes(target), bytes);

  FaultyCalls nothing;
  nothing.writeNothing = true;
  EXPECT_THROW(writeFileAtomically(target, Bytes{1}, nothing), FileError);
  EXPECT_EQ(readFileBytes(target), bytes);
  EXPECT_EQ(Names(dir_), std::set<std::string>{"a.txt"});
}

TEST_F(FileIo, TheTemporaryHasAShortFixedNameOfItsOwnPattern) {
  FaultyCalls calls;
  for (const std::string& name : {std::string("a.jpg"), std::string(250, 'n')}) {
    writeFileAtomically(dir_ / name, Bytes{1}, calls);
  }
  ASSERT_EQ(calls.created.size(), 2u);
  for (const std::string& path : calls.created) {
    const fs::path p(path);
    EXPECT_EQ(p.parent_path(), dir_);
    EXPECT_EQ(p.filename().string().size(), 23u) << path;
    EXPECT_TRUE(isOwnTemporaryName(p.filename().string())) << path;
  }
  EXPECT_NE(calls.created[0], calls.created[1]);
}

// The names near the limit that failed with the old temporary name (".<name>.tmp<number>"), written
// again and again; one byte over the limit is an error that names the file.
TEST_F(FileIo, AnyNameTheFileSystemTakesCanBeWritten) {
  const std::string polish = "ż";  // two bytes
  struct Row {
    std::string name;
    bool fits;
  };
  std::string polish254;
  for (int i = 0; i < 127; ++i) polish254 += polish;
  const Row rows[] = {
      {std::string(245, 'a') + ".jpg", true},  {std::string(246, 'b') + ".jpg", true},
      {std::string(251, 'c') + ".jpg", true},  {polish254 + "x", true},
      {std::string(252, 'd') + ".jpg", false}, {polish254 + polish, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.name.size()) + " bytes");
    for (int run = 0; run < 5; ++run) {
      if (r.fits) {
        EXPECT_NO_THROW(writeFileAtomically(dir_ / r.name, Fill(100, static_cast<std::uint8_t>(run))));
        EXPECT_NO_THROW(checkFileNameFits(dir_ / r.name));
        continue;
      }
      try {
        writeFileAtomically(dir_ / r.name, Bytes{1});
        ADD_FAILURE() << "no error";
      } catch (const FileError& e) {
        EXPECT_NE(std::string(e.what()).find(r.name), std::string::npos);
        EXPECT_EQ(e.reason(),
                  "nazwa ma " + std::to_string(r.name.size()) + " bajtów, a system plików przyjmuje najwyżej 255");
      }
    }
    std::error_code ec;
    EXPECT_EQ(fs::exists(dir_ / r.name, ec), r.fits);
  }
  for (const auto& e : fs::directory_iterator(dir_)) EXPECT_FALSE(isOwnTemporaryName(e.path().filename().string()));
}

// Only the program's own leftovers go (not a name that merely looks like one), and only those no
// writer holds.
TEST_F(FileIo, StaleTemporariesAreRemovedButNotOnesInUseOrOthers) {
  std::vector<std::string> own;
  for (int i = 0; i < 6; ++i) own.push_back(test::LeftoverTemporary(dir_));
  std::string forged = own[0];
  forged[forged.size() - 5] ^= 1;  // a check character off
  const Bytes junk{9, 9};
  for (const std::string& name :
       {forged, std::string(".velmora-backup.tmp"), std::string(".photo.jpg.tmp4711"), std::string("_photo.jpg")})
    Put(dir_ / name, junk);
  for (int i = 3; i < 6; ++i) fs::remove(dir_ / own[i]);
  ASSERT_EQ(::mkfifo((dir_ / own[3]).c_str(), 0600), 0);
  fs::create_directory(dir_ / own[4]);
  fs::create_symlink(dir_ / "_photo.jpg", dir_ / own[5]);
  // A writer at work (another process or thread) holds its lock.
  const int held = ::open((dir_ / own[2]).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  EXPECT_EQ(removeStaleTemporaries(dir_), 2u);
  EXPECT_EQ(Names(dir_), (std::set<std::string>{own[2], own[3], own[4], own[5], forged, ".velmora-backup.tmp",
                                                ".photo.jpg.tmp4711", "_photo.jpg"}));
  ::close(held);
  EXPECT_EQ(removeStaleTemporaries(dir_), 1u);
  EXPECT_FALSE(fs::exists(dir_ / own[2]));
  EXPECT_EQ(removeStaleTemporaries(dir_ / "missing"), 0u);
}

// A cleaner running while a file is written (another run into the same folder) leaves it alone.
TEST_F(FileIo, ACleanerDuringAWriteLeavesItsTemporary) {
  struct CleaningCalls : FaultyCalls {
    fs::path folder;
    mutable std::size_t removed = 99;
    ssize_t write(int fd, const void* data, std::size_t size) const override {
      if (removed == 99) removed = removeStaleTemporaries(folder);
      return FaultyCalls::write(fd, data, size);
    }
  } calls;
  calls.folder = dir_;
  writeFileAtomically(dir_ / "out.jpg", Fill(5000, 4), calls);
  EXPECT_EQ(calls.removed, 0u);
  EXPECT_EQ(readFileBytes(dir_ / "out.jpg"), Fill(5000, 4));
}

TEST_F(FileIo, ReadRegularFileRefusesPipesDevicesFoldersAndLargeFiles) {
  Put(dir_ / "small", Fill(100, 5));
  EXPECT_EQ(readRegularFile(dir_ / "small", 100), Fill(100, 5));
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir_ / "zero");
  const std::pair<fs::path, std::string> refused[] = {
      {dir_ / "small", "plik jest większy niż 99 bajtów"},
      {dir_ / "fifo", "to nie jest zwykły plik"},  // would block for ever if it were opened
      {dir_ / "zero", "to nie jest zwykły plik"},  // would never end
      {dir_, "to nie jest zwykły plik"},
      {dir_ / "absent", "plik nie istnieje"},
  };
  // The reader into storage that is not zeroed first refuses alike.
  const std::function<void(const fs::path&)> readers[] = {[](const fs::path& p) { readRegularFile(p, 99); },
                                                          [](const fs::path& p) { readRegularFileContents(p, 99); }};
  for (const auto& read : readers) {
    for (const auto& [path, reason] : refused) {
      try {
        read(path);
        ADD_FAILURE() << path;
      } catch (const FileError& e) {
        EXPECT_EQ(e.reason(), reason) << path;
        EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos);
      }
    }
  }
}

TEST_F(FileIo, FileContentsHoldWhatTheFileHolds) {
  // A /proc file states size 0, so its read grows the storage it started with.
  Put(dir_ / "small", Fill(100, 5));
  for (const fs::path& path : {dir_ / "small", fs::path("/proc/self/cmdline")}) {
    const FileContents contents = readRegularFileContents(path, 1 << 20);
    EXPECT_EQ(Bytes(contents.span().begin(), contents.span().end()), readRegularFile(path, 1 << 20)) << path;
  }
}

// System errors are told in Polish, from one table; a folder that takes no file is found by trying.
TEST_F(FileIo, SystemErrorsAreToldInPolish) {
  EXPECT_EQ(systemErrorText(EEXIST), "plik już istnieje");
  EXPECT_EQ(systemErrorText(std::error_code(4711, std::generic_category())), "błąd systemu nr 4711");
  Put(dir_ / "file", Bytes{1});
  for (const auto& [folder, reason] : {std::pair{dir_ / "missing", "folder nie istnieje"},
                                       std::pair{dir_ / "file", "ścieżka nie prowadzi do folderu"}})
    EXPECT_THAT([&] { checkFolderWritable(folder); },
                testing::ThrowsMessage<FileError>(
                    testing::StrEq("Nie można zapisywać w folderze \"" + folder.string() + "\": " + reason)));
  EXPECT_NO_THROW(checkFolderWritable(dir_));
  EXPECT_EQ(Names(dir_), std::set<std::string>{"file"});
}

// A real full disk, as root: a tmpfs filled to its last byte.
TEST_F(FileIo, OnAFullTmpfsTheOldFileStaysByteForByte) {
  fs::create_directory(dir_ / "disk");
  test::SmallTmpfs disk((dir_ / "disk").string(), 64 * 1024);
  if (!disk.Mounted()) GTEST_SKIP() << "needs root to mount a tmpfs";
  const auto target = dir_ / "disk" / "velmora.props";
  writeFileAtomically(target, Fill(15000, 6));
  ASSERT_TRUE(disk.FillUp());
  try {
    writeFileAtomically(target, Fill(16000, 7));
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), "brak miejsca na dysku");
  }
  EXPECT_EQ(readFileBytes(target), Fill(15000, 6));
  EXPECT_EQ(Names(dir_ / "disk"), (std::set<std::string>{"filler", "velmora.props"}));
}

}  // namespace
}  // namespace velmora
