#include "cli/batch_filelist.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "base/fileio.h"
#include "cli/batch_cli.h"

namespace velmora::batch {

namespace {

// A list of a million paths is some tens of megabytes; more is no list of files.
constexpr std::size_t kMaxFileListBytes = 256u << 20;

std::string listEntryName(bool nulSeparated, std::size_t number) {
  return "--files-from: " + std::string(nulSeparated ? "pozycja " : "wiersz ") + std::to_string(number);
}

// All a pipe or standard input gives, up to the limit.
std::string readListFrom(int fd, const std::string& what) {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw UsageError("--files-from: nie można odczytać " + what + ": " + systemErrorText(errno));
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxFileListBytes) throw UsageError("--files-from: lista plików jest za duża");
  }
}

}  // namespace

std::vector<std::string> parseFileList(std::string_view text, bool nulSeparated) {
  const char separator = nulSeparated ? '\0' : '\n';
  std::vector<std::string> paths;
  std::map<std::string, std::size_t> seen;  // path -> its entry's number
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find(separator);
    std::string_view entry = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (!nulSeparated && entry.ends_with('\r')) entry.remove_suffix(1);
    if (entry.empty()) continue;
    const std::string where = listEntryName(nulSeparated, number);
    const std::string quoted = "\"" + std::string(entry) + "\"";
    if (entry.front() == '/') throw UsageError(where + ": ścieżka " + quoted + " nie jest względna wobec SOURCE");
    std::string path;
    for (std::string_view rest = entry; !rest.empty();) {
      const std::size_t slash = rest.find('/');
      const std::string_view part = rest.substr(0, slash);
      rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
      if (part.empty() || part == ".") continue;
      if (part == "..") throw UsageError(where + ": ścieżka " + quoted + " wychodzi poza folder SOURCE (\"..\")");
      if (!path.empty()) path += '/';
      path += part;
    }
    if (path.empty()) throw UsageError(where + ": ścieżka " + quoted + " nie wskazuje pliku");
    if (const auto [at, added] = seen.emplace(path, number); !added) {
      throw UsageError(where + ": plik \"" + path + "\" jest już na liście (" +
                       (nulSeparated ? "pozycja " : "wiersz ") + std::to_string(at->second) + ")");
    }
    paths.push_back(std::move(path));
  }
  if (paths.empty()) throw UsageError("--files-from: lista nie zawiera żadnego pliku");
  return paths;
}

std::string readFileList(const std::string& file) {
  if (file == "-") return readListFrom(STDIN_FILENO, "standardowego wejścia");
  // A pipe too ("--files-from <(find ...)"), which the whole-file reader never opens.
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw UsageError("--files-from: " + cannotReadFileText(file) + ": " + systemErrorText(errno));
    struct Closer {
      int fd;
      ~Closer() { ::close(fd); }
    } closer{fd};
    return readListFrom(fd, "pliku \"" + file + "\"");
  }
  try {
    const Bytes bytes = readFileBytes(file, kMaxFileListBytes + 1);
    if (bytes.size() > kMaxFileListBytes) throw UsageError("--files-from: lista plików jest za duża");
    return std::string(bytes.begin(), bytes.end());
  } catch (const FileError& e) {
    throw UsageError("--files-from: " + std::string(e.what()));
  }
}

}  // namespace velmora::batch
