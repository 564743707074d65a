#include "metadata/metadata_dump.h"

#include "base/textcodec.h"
#include "metadata/jpegsegments.h"

namespace velmora {

namespace {

std::string Hex(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const auto b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

void AppendEntry(std::string& out, bool& first, const char* list, const TTagEntry& e) {
  if (!first) out += ",";
  first = false;
  out += "{\"list\":\"";
  out += list;
  out += "\",\"kind\":" + std::to_string(e.kind);
  out += ",\"parent\":" + std::to_string(e.parentId);
  out += ",\"tag\":" + std::to_string(e.tag);
  out += ",\"type\":" + std::to_string(e.type);
  out += ",\"count\":" + std::to_string(e.count);
  out += ",\"name\":" + JsonString(e.name);
  out += ",\"text\":" + JsonString(e.data);
  out += ",\"raw\":\"" + Hex(e.raw) + "\"}";
}

}  // namespace

std::string JsonString(std::string_view text) {
  const std::string s = IsValidUtf8(text) ? std::string(text) : [&] {
    // Keep the valid parts; each byte that starts no valid sequence becomes U+FFFD.
    std::string fixed;
    for (std::size_t i = 0; i < text.size();) {
      std::size_t len = 1;
      bool ok = false;
      for (std::size_t n = 1; n <= 4 && i + n <= text.size(); ++n) {
        if (IsValidUtf8(text.substr(i, n))) {
          len = n;
          ok = true;
          break;
        }
      }
      if (ok)
        fixed.append(text.substr(i, len));
      else
        fixed += "\xEF\xBF\xBD";
      i += len;
    }
    return fixed;
  }();
  std::string out = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          static constexpr char kDigits[] = "0123456789abcdef";
          out += "\\u00";
          out += kDigits[c >> 4];
          out += kDigits[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string DumpMetadataJson(const TImgData& img, bool ok) {
  std::string out = "{\"file\":" + JsonString(img.fileName);
  out += ",\"ok\":";
  out += ok ? "true" : "false";
  out += ",\"errorText\":" + JsonString(img.report.text);
  out += ",\"fileSize\":" + std::to_string(img.fileSize);
  out += ",\"imageWidth\":" + std::to_string(img.imageWidth);
  out += ",\"imageHeight\":" + std::to_string(img.imageHeight);
  out += ",\"hasExif\":";
  out += img.HasExif() ? "true" : "false";
  out += ",\"byteOrder\":";
  out += img.HasExif() ? (img.exifInfo->motorolaOrder ? "\"MM\"" : "\"II\"") : "null";
  out += ",\"segments\":[";
  for (std::size_t i = 0; i < img.sections.size(); ++i) {
    if (i) out += ",";
    const auto& s = img.sections[i];
    out += "{\"marker\":" + std::to_string(s.marker) + ",\"size\":" + std::to_string(s.size);
    if (static_cast<int>(i) == img.exifSection) out += ",\"exif\":true";
    out += "}";
  }
  // Where the scan stopped at the header's byte budget: the segments from there on were not read.
  if (img.report.headerCut) out += "],\"headerCutAt\":" + std::to_string(img.report.headerCutAt) + ",\"entries\":[";
  if (!img.report.headerCut) out += "],\"entries\":[";
  bool first = true;
  if (img.exifInfo) {
    for (const auto& e : img.exifInfo->entries) AppendEntry(out, first, "main", e);
    for (const auto& e : img.exifInfo->thumbEntries) AppendEntry(out, first, "thumbnail", e);
  }
  if (img.iptcData)
    for (const auto& e : img.iptcData->Entries()) AppendEntry(out, first, "iptc", e);
  out += "],\"comment\":" + JsonString(img.CommentText());
  out += ",\"thumbnailLength\":" + std::to_string(img.exifInfo ? img.exifInfo->thumbnail.size() : 0);
  out += "}";
  return out;
}

std::string DumpMetadataJson(const std::string& path) {
  TImgData img;
  const bool ok = img.OpenFile(path, kPartsAll | kPartTexts);
  if (img.fileName.empty()) img.fileName = path;
  return DumpMetadataJson(img, ok);
}

}  // namespace velmora
