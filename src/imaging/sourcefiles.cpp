#include "imaging/sourcefiles.h"

#include <sys/stat.h>

#include <QString>
#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>
#include <utility>

#include "base/fileio.h"
#include "base/textcodec.h"
#include "imaging/imagingerror.h"
#include "settings/filehelpers.h"

namespace velmora {

namespace {

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> fileId(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

bool isPictureName(const std::string& name) {
  const std::string lower = lowerAscii(name);
  return lower.ends_with(".jpg") || lower.ends_with(".jpeg");
}

// "*.jpg" first, then "*.jpeg".
void sortPictures(std::vector<std::string>& names) {
  const auto jpeg = std::stable_partition(names.begin(), names.end(),
                                          [](const std::string& n) { return lowerAscii(n).ends_with(".jpg"); });
  std::vector<std::string> second(std::make_move_iterator(jpeg), std::make_move_iterator(names.end()));
  names.erase(jpeg, names.end());
  sortPictureNames(names);
  sortPictureNames(second);
  names.insert(names.end(), std::make_move_iterator(second.begin()), std::make_move_iterator(second.end()));
}

}  // namespace

void sortPictureNames(std::vector<std::string>& names) {
  // Only the comparison decodes the names; they keep the bytes the file system gave.
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

std::vector<std::string> refusedOutputs(const std::filesystem::path& sourceFolder,
                                        const std::vector<std::string>& names, const std::filesystem::path& destFolder,
                                        NameMode mode, std::string_view affix, bool allowOwnSource) {
  namespace fs = std::filesystem;
  // Every picture of the source folder and every source of the run, by the file itself, so another
  // spelling of the folder or a link to it is caught as well.
  std::map<FileId, fs::path> sources;
  std::error_code ec;
  for (fs::directory_iterator it(sourceFolder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!isPictureName(it->path().filename().string())) continue;
    if (const auto id = fileId(it->path())) sources.emplace(*id, it->path());
  }
  std::vector<std::optional<FileId>> own;
  for (const std::string& name : names) {
    own.push_back(fileId(sourceFolder / name));
    if (own.back()) sources.emplace(*own.back(), sourceFolder / name);
  }
  std::vector<std::string> refused(names.size());
  std::map<fs::path, std::string> planned;  // output -> the name it comes from
  for (std::size_t i = 0; i < names.size(); ++i) {
    fs::path output;
    try {
      output = outputPath(destFolder, names[i], mode, affix);
    } catch (const ImagingError&) {
      continue;  // the file fails with the naming rule's own message
    }
    if (const auto [at, fresh] = planned.emplace(output, names[i]); !fresh) {
      refused[i] = "Plik wynikowy \"" + output.string() + "\" powstaje już z pliku \"" + at->second + "\"";
      continue;
    }
    const auto id = fileId(output);
    const auto source = id ? sources.find(*id) : sources.end();
    if (source == sources.end()) continue;
    if (id == own[i]) {
      if (!allowOwnSource) refused[i] = "Plik wynikowy zastąpiłby plik źródłowy: \"" + output.string() + "\"";
    } else {
      refused[i] = "Plik wynikowy \"" + output.string() + "\" zastąpiłby plik źródłowy \"" +
                   source->second.filename().string() + "\"";
    }
  }
  return refused;
}

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
  sortPictures(out.names);
  sortPictures(out.skipped);
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
