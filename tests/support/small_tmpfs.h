#pragma once

// A disk that is really full: a tiny tmpfs mounted on a test's folder and filled to its last byte.
// Mounting needs root (CAP_SYS_ADMIN); without it Mounted() is false and the test skips. Where no real
// failure can be made, the tests use a FileSystemCalls seam instead.

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace velmora::test {

class SmallTmpfs {
 public:
  SmallTmpfs(std::string folder, std::size_t bytes) : folder_(std::move(folder)) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    mounted_ = geteuid() == 0 && ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;
  ~SmallTmpfs() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

  // Writes a filler file until not one more byte fits; true when the file system then reports no
  // free block at all.
  bool FillUp(const std::string& name = "filler") const {
    const std::string path = folder_ + "/" + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const std::vector<char> block(4096, 'f');
    for (std::size_t chunk : {block.size(), std::size_t{1}}) {
      while (::write(fd, block.data(), chunk) > 0) {
      }
    }
    const bool full = errno == ENOSPC;
    ::close(fd);
    struct statvfs st {};
    return full && ::statvfs(folder_.c_str(), &st) == 0 && st.f_bavail == 0;
  }

 private:
  std::string folder_;
  bool mounted_ = false;
};

}  // namespace velmora::test
