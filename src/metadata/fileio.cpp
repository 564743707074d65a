#include "metadata/fileio.h"

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
#include <fstream>
#include <random>
#include <string>

namespace velmora {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kTempPrefix = ".velmora-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempRandomChars = 6;
constexpr std::string_view kTempAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string describe(const fs::path& path, int err) { return "\"" + path.string() + "\": " + std::strerror(err); }

// The causes a user meets when saving, in the program's language; strerror's English text otherwise.
std::string reasonText(int err) {
  switch (err) {
    case ENOSPC:
      return "brak miejsca na dysku";
    case EDQUOT:
      return "przekroczony przydział miejsca na dysku";
    case EIO:
      return "błąd wejścia-wyjścia";
    case EACCES:
    case EPERM:
      return "brak uprawnień";
    case EROFS:
      return "system plików tylko do odczytu";
    case ENOENT:
      return "folder nie istnieje";
    case ENOTDIR:
      return "ścieżka nie prowadzi do folderu";
    case EISDIR:
      return "pod tą nazwą jest folder";
    case ENAMETOOLONG:
      return "nazwa jest za długa";
    default:
      return std::strerror(err);
  }
}

[[noreturn]] void failWrite(const fs::path& path, int err) {
  std::string reason = reasonText(err);
  throw FileError("Nie można zapisać pliku \"" + path.string() + "\": " + reason, reason);
}

[[noreturn]] void failRead(const fs::path& path, std::string reason) {
  throw FileError("Nie można odczytać pliku \"" + path.string() + "\": " + reason, reason);
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
  for (std::size_t i = 0; i < kTempRandomChars; ++i) name += kTempAlphabet[pick(random)];
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

Bytes readFileBytes(const fs::path& path, std::uintmax_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("Cannot open file " + describe(path, errno ? errno : ENOENT));
  Bytes out;
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (!ec) out.reserve(static_cast<std::size_t>(std::min(size, maxBytes)));
  char buf[65536];
  while (out.size() < maxBytes) {
    const auto want = static_cast<std::streamsize>(std::min<std::uintmax_t>(sizeof buf, maxBytes - out.size()));
    in.read(buf, want);
    const auto got = in.gcount();
    if (got > 0) out.insert(out.end(), buf, buf + got);
    if (!in) break;
  }
  if (in.bad()) throw FileError("Cannot read file " + describe(path, errno ? errno : EIO));
  return out;
}

Bytes readRegularFile(const fs::path& path, std::uintmax_t maxBytes) {
  const std::string tooLarge = "plik jest większy niż " + std::to_string(maxBytes) + " bajtów";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) failRead(path, errno == ENOENT ? "plik nie istnieje" : reasonText(errno));
  if (!S_ISREG(st.st_mode)) failRead(path, "to nie jest zwykły plik");
  if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) failRead(path, tooLarge);
  // Non-blocking and checked again once open: the path may have become a pipe in between.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) failRead(path, reasonText(errno));
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) failRead(path, "to nie jest zwykły plik");
  Bytes out;
  out.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      failRead(path, reasonText(errno));
    }
    if (n == 0) break;
    // A file that grows while it is read is held to the same limit.
    if (static_cast<std::uintmax_t>(n) > maxBytes - out.size()) failRead(path, tooLarge);
    out.insert(out.end(), buf, buf + n);
  }
  return out;
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
  throw FileError("Nie można zapisać pliku \"" + path.string() + "\": " + reason, reason);
}

void writeFileAtomically(const fs::path& path, std::span<const std::uint8_t> bytes, const FileSystemCalls& calls) {
  fs::path target = path;
  std::error_code ec;
  // Replacing a link by a file would cut it off from what it points at (a settings file kept elsewhere).
  if (fs::is_symlink(path, ec) && fs::exists(path, ec)) {
    const fs::path resolved = fs::canonical(path, ec);
    if (!ec) target = resolved;
  }
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  checkFileNameFits(target);

  TempFile tmp = createTemp(calls, folder, target);
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(tmp.fd(), old.st_mode & 0777);

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
  if (calls.rename(tmp.path().c_str(), target.c_str()) != 0) failWrite(target, errno);
  tmp.release();
  if (calls.syncFolder(folder.c_str()) != 0 && !syncUnsupported(errno)) failWrite(target, errno);
}

bool isOwnTemporaryName(std::string_view name) {
  if (name.size() != kTempPrefix.size() + kTempRandomChars + kTempSuffix.size()) return false;
  if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
  const std::string_view random = name.substr(kTempPrefix.size(), kTempRandomChars);
  return std::all_of(random.begin(), random.end(),
                     [](char c) { return kTempAlphabet.find(c) != std::string_view::npos; });
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
