#include "metadata/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>

namespace velmora {

namespace {

std::string describe(const std::filesystem::path& path, int err) {
  return "\"" + path.string() + "\": " + std::strerror(err);
}

// Closes the descriptor and removes the temporary file unless released.
class TempFile {
 public:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!released_) ::unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  int close() {
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }
  void release() { released_ = true; }

 private:
  int fd_;
  std::string path_;
  bool released_ = false;
};

}  // namespace

Bytes readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw FileError("Cannot open file " + describe(path, errno ? errno : ENOENT));
  Bytes out;
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
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

void writeFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  // Appended piecewise: GCC 12 at -O3 warns (-Wrestrict) on the chained operator+ form.
  std::string name = ".";
  name.append(path.filename().string()).append(".tmp");
  // Created with O_EXCL and mode 0666, so the process umask applies as to any new file, without
  // touching the umask (which would race with other threads).
  std::random_device seed;
  std::string tmpl;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    tmpl = (folder / (name + std::to_string(seed()))).string();
    fd = ::open(tmpl.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) throw FileError("Cannot create file " + describe(path, errno));
  }
  TempFile tmp(fd, tmpl);
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(tmp.fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError("Cannot write file " + describe(path, errno));
    }
    done += static_cast<std::size_t>(n);
  }
  if (tmp.close() != 0) throw FileError("Cannot write file " + describe(path, errno));
  if (std::rename(tmp.path().c_str(), path.c_str()) != 0) throw FileError("Cannot write file " + describe(path, errno));
  tmp.release();
}

}  // namespace velmora
