#include "imaging/sourcefiles.h"

#include "imaging/sourceformat.h"

#include <QString>
#include <algorithm>
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

FolderPictures listFolderPictures(const std::filesystem::path& folder) {
  FolderPictures out;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  for (const std::filesystem::directory_iterator end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!isPictureName(name)) continue;
    std::error_code type;
    if (it->is_regular_file(type)) {
      out.names.push_back(name);
    } else if (!it->is_directory(type)) {
      out.skipped.push_back(name);
    }
  }
  if (ec) {
    const std::string reason = systemErrorText(ec);
    throw FileError("Nie można odczytać folderu \"" + folder.string() + "\": " + reason, reason);
  }
  sortPictureNames(out.names);
  sortPictureNames(out.skipped);
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
