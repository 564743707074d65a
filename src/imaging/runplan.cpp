#include "imaging/runplan.h"

#include <sys/stat.h>
#include <webp/decode.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "base/fileio.h"
#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/sourcefiles.h"
#include "imaging/sourceformat.h"
#include "metadata/exiftags.h"
#include "metadata/ifd.h"
#include "metadata/jpegmarkers.h"
#include "metadata/segmentreader.h"

namespace velmora {

namespace {

namespace fs = std::filesystem;

// Enough for the header of nearly every camera file, EXIF thumbnail included; more is read only when
// the frame header lies further on.
constexpr std::uintmax_t kHeadBytes = 64 * 1024;

struct Facts {
  int width = 0;  // as stored
  int height = 0;
  int orientation = kOrientationUpright;
  std::optional<std::tm> date;
};

std::optional<std::uint32_t> number(const IfdEntry& e, bool be) {
  if (!e.value || e.count != 1) return std::nullopt;
  if (e.type == 3) return e.value->u16(0, be);
  if (e.type == 4) return e.value->u32(0, be);
  return std::nullopt;
}

// What a TIFF structure (a TIFF file, or EXIF's) says in IFD0 and the Exif IFD.
void readTiffFacts(ByteView tiff, Facts& facts) {
  bool be = false;
  if (tiff.u8(0) == 'M' && tiff.u8(1) == 'M') {
    be = true;
  } else if (tiff.u8(0) != 'I' || tiff.u8(1) != 'I') {
    return;
  }
  const auto ifd0 = tiff.u32(4, be);
  if (!ifd0) return;
  IfdLimits limits;
  IfdEntries entries(IfdPlace{tiff, *ifd0, 0, be}, &limits);
  std::optional<std::uint32_t> exifAt;
  while (const auto e = entries.Next()) {
    const auto value = number(*e, be);
    if (!value) continue;
    if (e->tag == 0x0100) facts.width = static_cast<int>(std::min<std::uint32_t>(*value, 0x7FFFFFFF));
    if (e->tag == 0x0101) facts.height = static_cast<int>(std::min<std::uint32_t>(*value, 0x7FFFFFFF));
    if (e->tag == kTagOrientation && *value >= 1 && *value <= 8) facts.orientation = static_cast<int>(*value);
    if (e->tag == kTagExifOffset) exifAt = *value;
  }
  if (!exifAt || !limits.Enter(0, *exifAt)) return;
  IfdEntries exif(IfdPlace{tiff, *exifAt, 0, be}, &limits);
  while (const auto e = exif.Next()) {
    if (e->tag != kTagDateTimeOriginal || e->type != 2 || !e->value) continue;
    const auto text = e->value->span();
    facts.date = exifDateTime(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
  }
}

// An EXIF block as containers keep it: the TIFF structure, maybe after "Exif\0\0".
void readExifFacts(ByteView exif, Facts& facts) {
  const auto id = exif.bytes(0, 6);
  const bool prefixed = !id.empty() && std::string_view(reinterpret_cast<const char*>(id.data()), 4) == "Exif";
  readTiffFacts(prefixed ? exif.sub(6, exif.size() - 6) : exif, facts);
}

bool isFrameHeader(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

std::optional<Facts> jpegFacts(ByteView file) {
  Facts facts;
  bool exifSeen = false;
  JpegSegmentReader reader(file);
  while (const auto segment = reader.Next()) {
    if (segment->marker == 0xE1 && !exifSeen && segment->HasIdentifier("Exif")) {
      exifSeen = true;
      readExifFacts(segment->payload(), facts);
    }
    if (isFrameHeader(segment->marker)) {
      const ByteView frame = segment->payload();
      const auto height = frame.u16(1, true);
      const auto width = frame.u16(3, true);
      if (!height || !width) return std::nullopt;
      facts.width = *width;
      facts.height = *height;
      return facts;
    }
  }
  return std::nullopt;
}

// IHDR and the eXIf chunk, which may come after the picture data.
std::optional<Facts> pngFacts(ByteView file, bool& cut) {
  Facts facts;
  const auto width = file.u32(16, true);
  const auto height = file.u32(20, true);
  if (!width || !height || *width > 0x7FFFFFFF || *height > 0x7FFFFFFF) return std::nullopt;
  facts.width = static_cast<int>(*width);
  facts.height = static_cast<int>(*height);
  for (std::size_t at = 8;;) {
    const auto length = file.u32(at, true);
    const auto type = file.bytes(at + 4, 4);
    if (!length || type.empty() || !file.has(at + 8, std::size_t{*length} + 4)) {
      cut = true;
      break;
    }
    const std::string_view name(reinterpret_cast<const char*>(type.data()), 4);
    if (name == "IEND") break;
    if (name == "eXIf") {
      readExifFacts(file.sub(at + 8, *length), facts);
      break;
    }
    at += 12 + std::size_t{*length};
  }
  return facts;
}

// The canvas size from libwebp, the EXIF chunk from the RIFF walk.
std::optional<Facts> webpFacts(ByteView file, bool& cut) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(file.span().data(), file.size(), &features) != VP8_STATUS_OK) return std::nullopt;
  Facts facts;
  facts.width = features.width;
  facts.height = features.height;
  for (std::size_t at = 12;;) {
    const auto type = file.bytes(at, 4);
    const auto length = file.u32(at + 4, false);
    if (type.empty() || !length || !file.has(at + 8, *length)) {
      cut = at < file.size();
      break;
    }
    if (std::string_view(reinterpret_cast<const char*>(type.data()), 4) == "EXIF") {
      readExifFacts(file.sub(at + 8, *length), facts);
      break;
    }
    at += 8 + std::size_t{*length} + (*length & 1);
  }
  return facts;
}

std::tm modificationTime(const fs::path& source) {
  struct stat st {};
  std::tm tm{};
  if (::stat(source.c_str(), &st) == 0) ::localtime_r(&st.st_mtime, &tm);
  return tm;
}

using FileId = std::pair<dev_t, ino_t>;

std::optional<FileId> fileId(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{st.st_dev, st.st_ino};
}

// A name taken on disk by anything, a dangling link included.
bool taken(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

SourceHeader readSourceHeader(const fs::path& source, bool rotate, bool wantDate) {
  const std::string name = source.filename().string();
  Bytes head = readFileBytes(source, kHeadBytes);
  const PictureFormat format = checkedFormat(name, head);
  std::optional<Facts> facts;
  bool upright = false;
  switch (format) {
    case PictureFormat::kJpeg:
      facts = jpegFacts(head);
      if (!facts && head.size() == kHeadBytes) facts = jpegFacts(readFileBytes(source, kMaxSourceBytes));
      break;
    case PictureFormat::kPng:
    case PictureFormat::kWebp: {
      bool cut = false;
      facts = format == PictureFormat::kPng ? pngFacts(head, cut) : webpFacts(head, cut);
      // The size is in the first bytes; the EXIF may follow the picture data.
      if (wantDate && cut && head.size() == kHeadBytes) {
        head = readRegularFile(source, kMaxSourceBytes);
        facts = format == PictureFormat::kPng ? pngFacts(head, cut) : webpFacts(head, cut);
      }
      break;
    }
    case PictureFormat::kTiff:
      // IFD0 may lie anywhere in the file.
      facts.emplace();
      readTiffFacts(readRegularFile(source, kMaxSourceBytes), *facts);
      if (facts->width <= 0 || facts->height <= 0) facts.reset();
      break;
    case PictureFormat::kHeif: {
      // The container's item properties need the container; its preview, when it has one, spares
      // decoding the picture itself.
      const Bytes file = readRegularFile(source, kMaxSourceBytes);
      std::optional<DecodedPicture> decoded = decodeEmbeddedPreview(file, format);
      if (!decoded) decoded = decodePicture(file, format);
      facts.emplace();
      readExifFacts(decoded->metadata.exif, *facts);
      facts->width = decoded->fullSize.width();
      facts->height = decoded->fullSize.height();
      upright = decoded->metadata.upright;
      break;
    }
  }
  if (!facts || facts->width <= 0 || facts->height <= 0)
    throw ImagingError("nie można odczytać rozmiaru zdjęcia z nagłówka");
  SourceHeader header;
  const bool swap = rotate && !upright && SwapsSides(facts->orientation);
  header.width = swap ? facts->height : facts->width;
  header.height = swap ? facts->width : facts->height;
  header.exifDate = facts->date;
  return header;
}

std::string fileOutputName(const fs::path& source, std::size_t index, const BatchOptions& options,
                           const SourceHeader* header) {
  const std::string name = source.filename().string();
  if (!options.output.templateNames) return outputName(name, options.nameMode, options.affix, options.output.format);
  if (name.empty() || name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
    throw ImagingError("Nieprawidłowa nazwa pliku: \"" + name + "\"");
  const NameTemplate pattern = parseNameTemplate(options.output.nameTemplate);
  NameFields fields;
  fields.name = name;
  fields.number = static_cast<long long>(options.output.startNumber) + static_cast<long long>(index);
  std::optional<SourceHeader> read;
  if ((pattern.needsDate() || pattern.needsSize()) && header == nullptr) {
    read = readSourceHeader(source, options.rotate, pattern.needsDate());
    header = &*read;
  }
  if (pattern.needsSize()) {
    const ScalePlan plan = options.scale
                               ? applySizeRule(header->width, header->height, options.sizeLimit, options.enlarge)
                               : ScalePlan{ScaleAction::Keep, header->width, header->height};
    fields.width = plan.width;
    fields.height = plan.height;
  }
  if (pattern.needsDate()) fields.date = header->exifDate ? *header->exifDate : modificationTime(source);
  return templateName(pattern, fields, options.output.format);
}

namespace {

// Every picture of the source folder (of its whole tree when names reach into subfolders) and every
// source of the run, by the file itself, so another spelling of the folder or a link to it is caught
// as well.
struct RunSources {
  std::map<FileId, std::string> pictures;  // -> its name below the source folder
  std::vector<std::optional<FileId>> own;  // each name's own file
};

RunSources runSources(const RunRequest& request) {
  RunSources run;
  const bool tree = std::any_of(request.names.begin(), request.names.end(),
                                [](const std::string& name) { return name.find('/') != std::string::npos; });
  if (tree) {
    try {
      for (const std::string& name : listFolderPictures(request.sourceFolder, true, request.options.destFolder).names)
        if (const auto id = fileId(request.sourceFolder / name)) run.pictures.emplace(*id, name);
    } catch (const FileError&) {
    }
  } else {
    std::error_code ec;
    for (fs::directory_iterator it(request.sourceFolder, ec), end; !ec && it != end; it.increment(ec)) {
      if (!isPictureName(it->path().filename().string())) continue;
      if (const auto id = fileId(it->path())) run.pictures.emplace(*id, it->path().filename().string());
    }
  }
  for (const std::string& name : request.names) {
    run.own.push_back(fileId(request.sourceFolder / name));
    if (run.own.back()) run.pictures.emplace(*run.own.back(), name);
  }
  return run;
}

// Every file with the name the naming rule gives it (before numbering) and, when asked for or when the
// template needs them, its header's size; a name that cannot be made is the file's refusal.
RunPlan namedFiles(const RunRequest& request, bool withSizes) {
  const BatchOptions& options = request.options;
  bool needHeader = withSizes;
  bool needDate = false;
  if (options.output.templateNames) {
    try {
      const NameTemplate pattern = parseNameTemplate(options.output.nameTemplate);
      needDate = pattern.needsDate();
      needHeader = needHeader || needDate || pattern.needsSize();
    } catch (const ImagingError&) {
      // Each file is refused with the template's fault below.
    }
  }
  RunPlan plan;
  plan.files.resize(request.names.size());
  for (std::size_t i = 0; i < request.names.size(); ++i) {
    PlannedFile& file = plan.files[i];
    file.name = request.names[i];
    const fs::path source = request.sourceFolder / file.name;
    std::optional<SourceHeader> header;
    if (needHeader) {
      try {
        header = readSourceHeader(source, options.rotate, needDate);
        const ScalePlan size = options.scale
                                   ? applySizeRule(header->width, header->height, options.sizeLimit, options.enlarge)
                                   : ScalePlan{ScaleAction::Keep, header->width, header->height};
        file.width = size.width;
        file.height = size.height;
      } catch (const std::exception&) {
        header.reset();  // the run says what is wrong with the file; a name needing it says so here
      }
    }
    try {
      file.base = fileOutputName(source, i, options, header ? &*header : nullptr);
    } catch (const std::exception& e) {
      file.refused = e.what();
    }
  }
  return plan;
}

}  // namespace

RunPlan planRun(const RunRequest& request, bool withSizes) {
  const BatchOptions& options = request.options;
  RunPlan plan = namedFiles(request, withSizes);
  const RunSources run = runSources(request);
  const std::map<FileId, std::string>& sources = run.pictures;
  const std::vector<std::optional<FileId>>& own = run.own;

  // Names below the destination: a picture of a subfolder keeps its folders ("sub/a.jpg" -> "sub/_a.jpg").
  std::vector<std::string> folderOf(plan.files.size());
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    PlannedFile& file = plan.files[i];
    const std::size_t slash = file.name.rfind('/');
    if (!file.refused.empty() || slash == std::string::npos) continue;
    try {
      outputFolder(options.destFolder, file.name);
      folderOf[i] = file.name.substr(0, slash + 1);
    } catch (const ImagingError& e) {
      file.refused = e.what();
    }
  }
  const ExistingOutput mode = options.output.existing;
  std::set<std::string> names;  // every name the plan gives, numbered ones included
  for (std::size_t i = 0; i < plan.files.size(); ++i)
    if (!plan.files[i].base.empty() && plan.files[i].refused.empty()) names.insert(folderOf[i] + plan.files[i].base);
  std::map<std::string, std::string> claimed;  // output -> the source it comes from
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    PlannedFile& file = plan.files[i];
    if (!file.refused.empty()) continue;
    const std::string& folder = folderOf[i];
    const std::string wanted = folder + file.base;
    const fs::path output = options.destFolder / wanted;
    const auto earlier = claimed.find(wanted);
    const bool there = taken(output);
    if (mode == ExistingOutput::Number && (earlier != claimed.end() || there)) {
      int n = 2;
      while (n <= kMaxNumberedName && (names.contains(folder + numberedName(file.base, n)) ||
                                       taken(options.destFolder / (folder + numberedName(file.base, n)))))
        ++n;
      if (n > kMaxNumberedName) {
        file.refused = "brak wolnej nazwy dla \"" + wanted + "\"";
        continue;
      }
      file.output = folder + numberedName(file.base, n);
      file.write = PlannedWrite::Number;
      names.insert(file.output);
      claimed.emplace(file.output, file.name);
      continue;
    }
    if (earlier != claimed.end()) {
      file.refused = "Plik wynikowy \"" + output.string() + "\" powstaje już z pliku \"" + earlier->second + "\"";
      continue;
    }
    claimed.emplace(wanted, file.name);
    file.output = wanted;
    if (!there) continue;
    if (mode == ExistingOutput::Skip) {
      file.write = PlannedWrite::Skip;
      continue;
    }
    file.write = PlannedWrite::Replace;
    const auto id = fileId(output);
    const auto source = id ? sources.find(*id) : sources.end();
    if (source == sources.end()) continue;
    if (id == own[i]) {
      file.refused = "Plik wynikowy zastąpiłby plik źródłowy: \"" + output.string() + "\"";
      file.ownSource = true;
    } else {
      file.refused = "Plik wynikowy \"" + output.string() + "\" zastąpiłby plik źródłowy \"" + source->second + "\"";
    }
  }
  return plan;
}

std::string planLine(const PlannedFile& file) {
  if (!file.refused.empty()) return file.name + ": " + file.refused;
  const std::string size = file.width > 0 ? std::to_string(file.width) + "x" + std::to_string(file.height) : "?x?";
  const char* write = "nowy";
  if (file.write == PlannedWrite::Replace) write = "zastąpi istniejący";
  if (file.write == PlannedWrite::Skip) write = "pominie (plik istnieje)";
  if (file.write == PlannedWrite::Number) write = "nowy z numerem";
  return file.name + " -> " + file.output + " " + size + " " + write;
}

}  // namespace velmora
