#include "imaging/sourcefiles.h"

#include "imaging/sourceformat.h"

#include <sys/stat.h>

#include <QString>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

#include "base/fileio.h"
#include "base/textcodec.h"
#include "imaging/imagingerror.h"
#include "settings/filehelpers.h"

namespace velmora {

namespace {


// Only the comparison decodes the names; they keep the bytes the file system gave.
void sortPictureNames(std::vector<std::string>& names) {
  std::vector<std::pair<QString, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names)
    keyed.emplace_back(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), std::move(name));
  const TFileNameOrder order;
  std::sort(keyed.begin(), keyed.end(), [&order](const auto& a, const auto& b) {
    if (order(a.first, b.first)) return true;
    if (order(b.first, a.first)) return false;
    return a.second < b.second;
  });
  names.clear();
  for (auto& [key, name] : keyed) names.push_back(std::move(name));
}

}  // namespace

bool isPictureName(std::string_view name) { return formatOfName(name).has_value(); }

namespace {

namespace fs = std::filesystem;

using FolderId = std::pair<dev_t, ino_t>;

std::optional<FolderId> folderId(const fs::path& path, bool followLink) {
  struct stat st {};
  if ((followLink ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return std::nullopt;
  return FolderId{st.st_dev, st.st_ino};
}

// One folder's entries: its pictures and skipped names under prefix, and (with subfolders) the names of
// its subfolders. The entry's type comes from the folder read itself; only a link is looked at further.
void readFolder(const fs::path& folder, const std::string& prefix, bool subfolders, FolderPictures& out,
                std::vector<std::string>& folders, std::error_code& ec) {
  std::vector<std::string> names, skipped;
  fs::directory_iterator it(folder, ec);
  for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::error_code type;
    const bool link = it->is_symlink(type);
    // A link to a folder is not followed: no loop, and no folder of another tree.
    if (subfolders && !link && it->is_directory(type)) {
      folders.push_back(std::move(name));
      continue;
    }
    if (!isPictureName(name)) continue;
    if (it->is_regular_file(type)) {
      names.push_back(std::move(name));
    } else if (!it->is_directory(type)) {
      skipped.push_back(std::move(name));
    }
  }
  for (std::vector<std::string>* list : {&names, &skipped}) {
    sortPictureNames(*list);
    auto& into = list == &names ? out.names : out.skipped;
    for (std::string& name : *list) into.push_back(prefix + name);
  }
  sortPictureNames(folders);
}

}  // namespace

FolderPictures listFolderPictures(const fs::path& folder, bool subfolders, const fs::path& destination) {
  FolderPictures out;
  std::vector<std::string> folders;
  std::error_code ec;
  readFolder(folder, {}, subfolders, out, folders, ec);
  if (ec) {
    const std::string reason = systemErrorText(ec);
    throw FileError("Nie można odczytać folderu \"" + folder.string() + "\": " + reason, reason);
  }
  if (!subfolders) return out;
  std::set<FolderId> visited;
  if (const auto id = folderId(folder, true)) visited.insert(*id);
  const std::optional<FolderId> skip = destination.empty() ? std::nullopt : folderId(destination, true);
  // Depth first: the subfolders go on the stack last first, so the first is read next.
  std::vector<std::string> stack(folders.rbegin(), folders.rend());
  while (!stack.empty()) {
    const std::string relative = std::move(stack.back());
    stack.pop_back();
    const fs::path path = folder / relative;
    const std::optional<FolderId> id = folderId(path, false);
    if (id && (id == skip || !visited.insert(*id).second)) continue;
    folders.clear();
    ec.clear();
    if (id) {
      readFolder(path, relative + "/", true, out, folders, ec);
    } else {
      ec = std::error_code(errno, std::generic_category());
    }
    if (ec) out.unreadable.push_back({relative, systemErrorText(ec)});
    for (auto sub = folders.rbegin(); sub != folders.rend(); ++sub) stack.push_back(relative + "/" + *sub);
  }
  return out;
}

std::string printableName(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const auto byte = static_cast<unsigned char>(name[i]);
    std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
    if (i + length > name.size() || !IsValidUtf8(name.substr(i, length))) length = 0;
    // C0 and C1 controls and DEL: what a terminal takes for a command.
    const bool control =
        byte < 0x20 || byte == 0x7F || (byte == 0xC2 && length == 2 && static_cast<unsigned char>(name[i + 1]) < 0xA0);
    if (length == 0 || control) {
      for (std::size_t k = 0; k < std::max<std::size_t>(length, 1); ++k) {
        const auto b = static_cast<unsigned char>(name[i + k]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
      i += std::max<std::size_t>(length, 1);
      continue;
    }
    out.append(name.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace velmora
