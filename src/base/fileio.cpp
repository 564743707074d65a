#include "base/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>

namespace velmora {

namespace {

// The causes a user meets, in the program's language. Kept short and lower-case: each follows a colon
// in a message that names the file.
struct ErrnoText {
  int err;
  const char* text;
};
constexpr ErrnoText kErrnoTexts[] = {
    {ENOSPC, "brak miejsca na dysku"},
    {EDQUOT, "przekroczony przydział miejsca na dysku"},
    {EIO, "błąd wejścia-wyjścia"},
    {EACCES, "brak uprawnień"},
    {EPERM, "brak uprawnień"},
    {EROFS, "system plików tylko do odczytu"},
    {ENOENT, "folder nie istnieje"},
    {ENOTDIR, "ścieżka nie prowadzi do folderu"},
    {EISDIR, "pod tą nazwą jest folder"},
    {ENAMETOOLONG, "nazwa jest za długa"},
    {EEXIST, "plik już istnieje"},
    {ENOTEMPTY, "folder nie jest pusty"},
    {ELOOP, "za dużo poziomów dowiązań symbolicznych"},
    {EMFILE, "za dużo otwartych plików"},
    {ENFILE, "za dużo otwartych plików w systemie"},
    {ENOMEM, "brak pamięci"},
    {EFBIG, "plik jest za duży"},
    {EBUSY, "urządzenie lub zasób jest zajęty"},
    {ETXTBSY, "plik jest zajęty"},
    {EXDEV, "inny system plików"},
    {ENXIO, "nie ma takiego urządzenia"},
    {ENODEV, "nie ma takiego urządzenia"},
    {EAGAIN, "zasób chwilowo niedostępny"},
    {EINTR, "przerwane wywołanie systemowe"},
    {EINVAL, "nieprawidłowy argument"},
    {ESTALE, "nieaktualny uchwyt pliku sieciowego"},
    {ENOTSUP, "operacja nieobsługiwana przez system plików"},
    {ENOLCK, "brak blokad plików"},
    {ECONNABORTED, "połączenie przerwane"},
    {ETIMEDOUT, "przekroczony czas oczekiwania"},
};

}  // namespace

std::string cannotReadFileText(std::string_view name) {
  return "Nie można odczytać pliku \"" + std::string(name) + "\"";
}

std::string cannotWriteFileText(std::string_view name) {
  return "Nie można zapisać pliku \"" + std::string(name) + "\"";
}

std::string systemErrorText(int err) {
  for (const ErrnoText& row : kErrnoTexts)
    if (row.err == err) return row.text;
  return "błąd systemu nr " + std::to_string(err);
}

std::string systemErrorText(const std::error_code& ec) {
  // The file system library reports errno values in the generic or the system category.
  if (ec.category() == std::generic_category() || ec.category() == std::system_category())
    return systemErrorText(ec.value());
  return ec.message();
}

namespace {

namespace fs = std::filesystem;

// A temporary is ".velmora-" + six random characters + four that check them + ".tmp": the check
// marks a name the writer made, so the sweep never takes a user's ".velmora-backup.tmp".
constexpr std::string_view kTempPrefix = ".velmora-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempRandomChars = 6;
constexpr std::size_t kTempCheckChars = 4;
constexpr std::string_view kTempAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// FNV-1a over a fixed key and the random part, spelt in the alphabet.
std::string tempCheck(std::string_view random) {
  std::uint32_t hash = 2166136261u;
  for (const std::string_view part : {std::string_view("velmora temporary "), random}) {
    for (const char c : part) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 16777619u;
    }
  }
  std::string check;
  for (std::size_t i = 0; i < kTempCheckChars; ++i) {
    check += kTempAlphabet[hash % kTempAlphabet.size()];
    hash /= kTempAlphabet.size();
  }
  return check;
}

[[noreturn]] void failWrite(const fs::path& path, int err) {
  std::string reason = systemErrorText(err);
  throw FileError(cannotWriteFileText(path.string()) + ": " + reason, reason);
}

[[noreturn]] void failRead(const fs::path& path, std::string reason) {
  throw FileError(cannotReadFileText(path.string()) + ": " + reason, reason);
}

// fsync of a file system that cannot sync (some network and virtual ones) is no failure of ours.
bool syncUnsupported(int err) { return err == EINVAL || err == ENOTSUP || err == EOPNOTSUPP; }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// The open temporary: closed and removed unless released after the rename.
class TempFile {
 public:
  TempFile(const FileSystemCalls& calls, int fd, std::string path) : calls_(calls), fd_(fd), path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) calls_.close(fd_);
    if (!released_) ::unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  int close() {
    const int rc = calls_.close(fd_);
    // Linux frees the descriptor even when close reports an error; closing it again could hit another's.
    fd_ = -1;
    return rc;
  }
  void release() { released_ = true; }

 private:
  const FileSystemCalls& calls_;
  int fd_;
  std::string path_;
  bool released_ = false;
};

std::string randomTempName(std::mt19937& random) {
  std::string name(kTempPrefix);
  std::uniform_int_distribution<std::size_t> pick(0, kTempAlphabet.size() - 1);
  std::string part;
  for (std::size_t i = 0; i < kTempRandomChars; ++i) part += kTempAlphabet[pick(random)];
  name += part + tempCheck(part);
  name += kTempSuffix;
  return name;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Creates, locks and checks a new temporary in the folder. The lock is what removeStaleTemporaries
// respects; a cleaner that took the file between our open and our lock unlinks it, which the check
// afterwards notices, and we start again under a new name.
TempFile createTemp(const FileSystemCalls& calls, const fs::path& folder, const fs::path& target) {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0;; ++attempt) {
    const std::string path = (folder / randomTempName(random)).string();
    const int fd = calls.openNew(path.c_str());
    if (fd < 0) {
      const int err = errno;
      if (err == EEXIST && attempt < 100) continue;
      failWrite(target, err);
    }
    // A file system without locks (ENOLCK) refuses the cleaner's lock too, so it never removes ours.
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
    struct stat opened {};
    struct stat named {};
    if (locked && ::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 && sameFile(opened, named)) {
      return TempFile(calls, fd, path);
    }
    // The cleaner's now, which removes it: leave the name alone.
    calls.close(fd);
    if (attempt >= 100) failWrite(target, EAGAIN);
  }
}

}  // namespace

int FileSystemCalls::openNew(const char* path) const {
  // Mode 0666 lets the umask apply as to any new file, without touching the umask (which other
  // threads would see).
  return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
ssize_t FileSystemCalls::write(int fd, const void* data, std::size_t size) const { return ::write(fd, data, size); }
int FileSystemCalls::fsync(int fd) const { return ::fsync(fd); }
int FileSystemCalls::close(int fd) const { return ::close(fd); }
int FileSystemCalls::rename(const char* from, const char* to) const { return std::rename(from, to); }
int FileSystemCalls::renameNoReplace(const char* from, const char* to) const {
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  // A file system without the flag: a hard link takes the name only while it is free.
  if (::link(from, to) != 0) return -1;
  ::unlink(from);
  return 0;
}
int FileSystemCalls::syncFolder(const char* folder) const {
  const int fd = ::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int rc = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  errno = err;
  return rc;
}

const FileSystemCalls& systemFileCalls() {
  static const FileSystemCalls calls;
  return calls;
}

namespace {

// The one reader of whole files: only a regular file is opened, so a named pipe cannot block the
// caller and a device cannot feed it for ever. Reads at most maxBytes; with refuseLarger a file over
// that is an error rather than cut short. Buffer is Bytes, or FileContents's storage (not zeroed).
struct Uninitialised {
  std::unique_ptr<std::uint8_t[]> data;
  std::size_t length = 0;
  explicit Uninitialised(std::size_t n) : data(std::make_unique_for_overwrite<std::uint8_t[]>(n)), length(n) {}
  std::size_t size() const { return length; }
  std::uint8_t* bytes() { return data.get(); }
  void grow(std::size_t n) {
    auto bigger = std::make_unique_for_overwrite<std::uint8_t[]>(n);
    std::memcpy(bigger.get(), data.get(), length);
    data = std::move(bigger);
    length = n;
  }
};
struct Zeroed {
  Bytes data;
  explicit Zeroed(std::size_t n) : data(n) {}
  std::size_t size() const { return data.size(); }
  std::uint8_t* bytes() { return data.data(); }
  void grow(std::size_t n) { data.resize(n); }
};

template <typename Buffer>
std::pair<Buffer, std::size_t> readRegular(const fs::path& path, std::uintmax_t maxBytes, bool refuseLarger) {
  const std::string tooLarge = "plik jest większy niż " + std::to_string(maxBytes) + " bajtów";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) failRead(path, errno == ENOENT ? "plik nie istnieje" : systemErrorText(errno));
  if (!S_ISREG(st.st_mode)) failRead(path, kNotRegularFileText);
  if (refuseLarger && static_cast<std::uintmax_t>(st.st_size) > maxBytes) failRead(path, tooLarge);
  // Non-blocking and checked again once open: the path may have become a pipe in between.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) failRead(path, systemErrorText(errno));
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) failRead(path, kNotRegularFileText);
  // Straight into the result, sized for the file and one byte more, which shows a file that grew
  // while it was read (held to the same limit).
  const std::uintmax_t stop = refuseLarger && maxBytes < UINTMAX_MAX ? maxBytes + 1 : maxBytes;
  Buffer out(static_cast<std::size_t>(std::min<std::uintmax_t>(static_cast<std::uintmax_t>(st.st_size) + 1, stop)));
  std::size_t got = 0;
  while (got < stop) {
    if (got == out.size()) out.grow(static_cast<std::size_t>(std::min<std::uintmax_t>(out.size() * 2 + 65536, stop)));
    const ssize_t n = ::read(fd.get(), out.bytes() + got, out.size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      failRead(path, systemErrorText(errno));
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (refuseLarger && got > maxBytes) failRead(path, tooLarge);
  return {std::move(out), got};
}

Bytes readZeroed(const fs::path& path, std::uintmax_t maxBytes, bool refuseLarger) {
  auto [out, got] = readRegular<Zeroed>(path, maxBytes, refuseLarger);
  out.data.resize(got);
  return std::move(out.data);
}

}  // namespace

Bytes readFileBytes(const fs::path& path, std::uintmax_t maxBytes) { return readZeroed(path, maxBytes, false); }

Bytes readRegularFile(const fs::path& path, std::uintmax_t maxBytes) { return readZeroed(path, maxBytes, true); }

FileContents readRegularFileContents(const fs::path& path, std::uintmax_t maxBytes) {
  auto [out, got] = readRegular<Uninitialised>(path, maxBytes, true);
  FileContents file;
  file.data_ = std::move(out.data);
  file.size_ = got;
  return file;
}

void checkFileNameFits(const fs::path& path) {
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const std::string name = path.filename().string();
  errno = 0;
  const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  // -1 without errno: no limit; with errno: the folder cannot tell, and the write will say why.
  if (limit < 0 || name.size() <= static_cast<std::size_t>(limit)) return;
  const std::string reason = "nazwa ma " + std::to_string(name.size()) +
                             " bajtów, a system plików przyjmuje najwyżej " + std::to_string(limit);
  throw FileError(cannotWriteFileText(path.string()) + ": " + reason, reason);
}

void checkFolderWritable(const fs::path& folder) {
  // The temporary a write would make, removed at once: the file system's own answer (a read-only
  // mount, permissions, no inodes left), not a guess from the mode bits.
  try {
    const TempFile probe = createTemp(systemFileCalls(), folder, folder);
  } catch (const FileError& e) {
    throw FileError("Nie można zapisywać w folderze \"" + folder.string() + "\": " + e.reason(), e.reason());
  }
}

bool writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes, const FileSystemCalls& calls,
                         WriteMode mode) {
  const bool keep = mode == WriteMode::kKeepExisting;
  fs::path target = path;
  std::error_code ec;
  // Replacing a link by a file would cut it off from what it points at (a settings file kept elsewhere).
  if (!keep && fs::is_symlink(path, ec) && fs::exists(path, ec)) {
    const fs::path resolved = fs::canonical(path, ec);
    if (!ec) target = resolved;
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  checkFileNameFits(target);

  TempFile tmp = createTemp(calls, folder, target);
  struct stat old {};
  if (!keep && ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(tmp.fd(), old.st_mode & 0777);

  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = calls.write(tmp.fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failWrite(target, errno);
    // A regular file takes at least one byte or says why not; nothing and no reason would loop forever.
    if (n == 0) failWrite(target, EIO);
    done += static_cast<std::size_t>(n);
  }
  if (calls.fsync(tmp.fd()) != 0 && !syncUnsupported(errno)) failWrite(target, errno);
  // Network file systems may report a failed write only here.
  if (tmp.close() != 0) failWrite(target, errno);
  if (keep) {
    if (calls.renameNoReplace(tmp.path().c_str(), target.c_str()) != 0) {
      if (errno == EEXIST) return false;
      failWrite(target, errno);
    }
  } else if (calls.rename(tmp.path().c_str(), target.c_str()) != 0) {
    failWrite(target, errno);
  }
  tmp.release();
  if (calls.syncFolder(folder.c_str()) != 0 && !syncUnsupported(errno)) failWrite(target, errno);
  return true;
}

// The streamed variant: the same temporary, checks and steps as writeFileAtomically, in pieces.
struct AtomicFileWriter::Open {
  Open(const FileSystemCalls& c, const fs::path& f, const fs::path& target)
      : calls(c), folder(f), tmp(createTemp(c, f, target)) {}
  const FileSystemCalls& calls;
  fs::path folder;
  TempFile tmp;
};

AtomicFileWriter::AtomicFileWriter(const fs::path& path, const FileSystemCalls& calls) : target_(path) {
  std::error_code ec;
  // Replacing a link by a file would cut it off from what it points at (a settings file kept elsewhere).
  if (fs::is_symlink(path, ec) && fs::exists(path, ec)) {
    const fs::path resolved = fs::canonical(path, ec);
    if (!ec) target_ = resolved;
  }
  const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  checkFileNameFits(target_);
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  // Said before the content is made, not at the rename (a report would be streamed for nothing).
  if (exists && S_ISDIR(old.st_mode)) failWrite(target_, EISDIR);
  open_ = std::make_unique<Open>(calls, folder, target_);
  if (exists && S_ISREG(old.st_mode)) ::fchmod(open_->tmp.fd(), old.st_mode & 0777);
}

AtomicFileWriter::~AtomicFileWriter() = default;

void AtomicFileWriter::fail(int err) {
  // The temporary goes before the error is told, so nothing half-written outlives the failure.
  open_.reset();
  failWrite(target_, err);
}

void AtomicFileWriter::append(std::span<const std::uint8_t> bytes) {
  if (!open_) failWrite(target_, EBADF);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = open_->calls.write(open_->tmp.fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(errno);
    // A regular file takes at least one byte or says why not; nothing and no reason would loop forever.
    if (n == 0) fail(EIO);
    done += static_cast<std::size_t>(n);
  }
}

void AtomicFileWriter::append(std::string_view text) {
  append({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void AtomicFileWriter::commit() {
  if (!open_) failWrite(target_, EBADF);
  const FileSystemCalls& calls = open_->calls;
  TempFile& tmp = open_->tmp;
  if (calls.fsync(tmp.fd()) != 0 && !syncUnsupported(errno)) fail(errno);
  // Network file systems may report a failed write only here.
  if (tmp.close() != 0) fail(errno);
  if (calls.rename(tmp.path().c_str(), target_.c_str()) != 0) fail(errno);
  tmp.release();
  const fs::path folder = open_->folder;
  open_.reset();
  if (calls.syncFolder(folder.c_str()) != 0 && !syncUnsupported(errno)) failWrite(target_, errno);
}

bool isOwnTemporaryName(std::string_view name) {
  if (name.size() != kTempPrefix.size() + kTempRandomChars + kTempCheckChars + kTempSuffix.size()) return false;
  if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
  const std::string_view random = name.substr(kTempPrefix.size(), kTempRandomChars);
  return std::all_of(random.begin(), random.end(),
                     [](char c) { return kTempAlphabet.find(c) != std::string_view::npos; }) &&
         name.substr(kTempPrefix.size() + kTempRandomChars, kTempCheckChars) == tempCheck(random);
}

std::size_t removeStaleTemporaries(const fs::path& folder) {
  std::size_t removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!isOwnTemporaryName(name)) continue;
    const std::string path = it->path().string();
    // Never follow a link out of the folder, never block on a pipe that took such a name.
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    struct stat named {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a writer is at work
    // The writer may have renamed it into place and a new one taken the name since we opened it.
    if (::stat(path.c_str(), &named) != 0 || !sameFile(opened, named)) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  return removed;
}

}  // namespace velmora
