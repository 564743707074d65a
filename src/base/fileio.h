#pragma once

// Whole-file reads and the one way the program replaces a file, in standard C++ (and POSIX) so every
// part of the core can use them from any thread.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "base/bytes.h"

namespace velmora {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  FileError(const std::string& message, std::string reason) : std::runtime_error(message), reason_(std::move(reason)) {}
  // The cause alone, in Polish, without the file's name ("brak miejsca na dysku"); may be empty.
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// The one wording of the file errors every part shows: "Nie można odczytać pliku "NAME"" and "Nie
// można zapisać pliku "NAME"", which a message follows with ": " and the cause.
std::string cannotReadFileText(std::string_view name);
std::string cannotWriteFileText(std::string_view name);
// The cause given for a path that is no regular file (a pipe, a device, a folder).
inline constexpr const char* kNotRegularFileText = "to nie jest zwykły plik";

// The cause of a system error in Polish ("brak uprawnień", "system plików tylko do odczytu"), for every
// message that shows one; the one table of such texts.
std::string systemErrorText(int err);
std::string systemErrorText(const std::error_code& ec);

// Reads at most maxBytes of a regular file (all of it by default); like readRegularFile, anything else
// is never opened. Throws FileError when it cannot be opened or read, with the path in the message.
Bytes readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes = UINTMAX_MAX);

// Reads a whole regular file of at most maxBytes. Anything else is never opened: a named pipe would
// block the reader for ever and a device would never end. Throws FileError (with its reason) for a
// path that is not a regular file, a file over maxBytes, or one that cannot be opened or read.
Bytes readRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

// A whole file's bytes in storage that is not zeroed before the read fills it: for a camera picture of
// several MB the zeroing costs about as much as the kernel's copy.
class FileContents {
 public:
  FileContents() = default;
  std::span<const std::uint8_t> span() const { return {data_.get(), size_}; }
  operator ByteView() const { return span(); }  // NOLINT: implicit, as Bytes converts
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  friend FileContents readRegularFileContents(const std::filesystem::path& path, std::uintmax_t maxBytes);
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
};

// readRegularFile into a FileContents: the same checks and errors.
FileContents readRegularFileContents(const std::filesystem::path& path, std::uintmax_t maxBytes);

// The system calls of writeFileAtomically, each returning -1 with errno set as the call itself does.
// A test derives from it to fail one of them as a full disk (ENOSPC), a failing device (EIO) or a short
// write would, where a real failure cannot be arranged. The base makes the real calls and keeps no
// state, so one instance serves every thread.
class FileSystemCalls {
 public:
  virtual ~FileSystemCalls() = default;
  // open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666).
  virtual int openNew(const char* path) const;
  virtual ssize_t write(int fd, const void* data, std::size_t size) const;
  virtual int fsync(int fd) const;
  virtual int close(int fd) const;
  virtual int rename(const char* from, const char* to) const;
  // rename that fails with EEXIST when `to` is there (a file, a link, anything): renameat2's
  // RENAME_NOREPLACE, or link and unlink where the file system has no such rename.
  virtual int renameNoReplace(const char* from, const char* to) const;
  // fsync of the folder itself, so the rename survives a power cut.
  virtual int syncFolder(const char* folder) const;
};

// The real system.
const FileSystemCalls& systemFileCalls();

enum class WriteMode {
  kReplace,       // an existing file is replaced
  kKeepExisting,  // an existing file (or link) is kept and nothing is written, even one made meanwhile
};

// Replaces the file at path by a file holding exactly these bytes, or leaves it as it was. The bytes go
// to a temporary ".velmora-XXXXXXCCCC.tmp" beside the target (short and fixed in length, so any name the
// file system takes for the target can be written); every write is checked, the file is synced and
// closed, renamed over the target and the folder synced. A symbolic link is followed, and an existing
// target's permissions are kept. Throws FileError naming the file, after removing the temporary, on any
// failure; before the rename the old file is untouched. With kKeepExisting the file takes its name only
// if nothing has it at that very moment (no link is followed); false: something had, nothing written.
bool writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                         const FileSystemCalls& calls = systemFileCalls(), WriteMode mode = WriteMode::kReplace);

// writeFileAtomically in pieces, for a file that grows while the program works (a run's report): the
// temporary is made (and the target's checks done) at construction, each append writes through at
// once, and only commit() puts the file in place. Until then, and for ever when the writer is
// destroyed without commit or the process is killed, the file under the target's name stays as it was;
// a killed process leaves only the temporary, which removeStaleTemporaries takes. Throws FileError
// naming the file, after removing the temporary; a writer that threw takes no more calls (they throw
// FileError again).
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::filesystem::path& path, const FileSystemCalls& calls = systemFileCalls());
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  void append(std::span<const std::uint8_t> bytes);
  void append(std::string_view text);
  void commit();

 private:
  struct Open;
  [[noreturn]] void fail(int err);
  std::filesystem::path target_;
  std::unique_ptr<Open> open_;  // null once committed or failed
};

// Throws FileError naming the file when its name is longer than its folder's file system allows. Lets a
// caller refuse a name before doing the work of making its content.
void checkFileNameFits(const std::filesystem::path& path);

// Throws FileError naming the folder when no file can be written into it (missing, read-only,
// no permission), by making and removing a temporary there as a write would.
void checkFolderWritable(const std::filesystem::path& folder);

// True for a name of writeFileAtomically's temporaries: ".velmora-", six random characters, four that
// check them, ".tmp". A name that only looks like one (".velmora-backup.tmp") is not.
bool isOwnTemporaryName(std::string_view fileName);

// Removes the temporaries that a killed process left in the folder. Only names of writeFileAtomically's
// pattern, and only those no process holds: a writer keeps an exclusive lock (flock) on its temporary
// from creating it to renaming it, so a temporary whose lock can be taken belongs to nobody. The lock,
// not the file's age, decides: a slow writer is never robbed, a fresh leftover goes at once. Errors are
// ignored (the folder may be missing or read-only). Returns how many were removed.
std::size_t removeStaleTemporaries(const std::filesystem::path& folder);

}  // namespace velmora
