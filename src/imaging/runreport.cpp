#include "imaging/runreport.h"

#include <QString>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace velmora {

namespace {

// Milliseconds to the microsecond, in the C locale whatever the process's (a window sets its own).
std::string reportMilliseconds(double ms) {
  char text[64];
  const double rounded = std::round(std::max(ms, 0.0) * 1000.0) / 1000.0;
  const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, 3);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
}

const char* reportEndWord(RunEnd end) {
  switch (end) {
    case RunEnd::Completed:
      return "completed";
    case RunEnd::Stopped:
      return "stopped";
    case RunEnd::Failed:
      return "failed";
  }
  return "completed";
}

// The failure's cause alone, without the file's name in front.
std::string reportCause(const FileResult& result) {
  if (result.error) {
    try {
      std::rethrow_exception(result.error);
    } catch (const BatchFileError& e) {
      return e.cause();
    } catch (...) {
    }
  }
  const std::string prefix = result.name + ": ";
  return result.message.starts_with(prefix) ? result.message.substr(prefix.size()) : result.message;
}

}  // namespace

std::string jsonString(std::string_view bytes) {
  // Qt's decoder turns every sequence that is no UTF-8 (stray bytes, overlong forms, surrogates) into
  // U+FFFD; what comes back is valid UTF-8, escaped below only where JSON requires.
  const QByteArray utf8 = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toUtf8();
  std::string out = "\"";
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
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
      default:
        if (u < 0x20 || u == 0x7f) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[u >> 4];
          out += kHex[u & 15];
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string RunReport::fileLine(const FileResult& result) {
  const bool written = result.outcome && !result.outcome->skipped;
  const bool skipped = result.outcome && result.outcome->skipped;
  std::string line = "{\"source\":" + jsonString(result.name);
  line += ",\"output\":" + (result.outcome ? jsonString(result.outcome->output.string()) : std::string("null"));
  line += ",\"status\":";
  line += written ? "\"written\"" : skipped ? "\"skipped\"" : "\"failed\"";
  line += ",\"cause\":" + (result.outcome ? std::string("null") : jsonString(reportCause(result)));
  line += ",\"notes\":";
  if (result.outcome) {
    line += "[";
    for (std::size_t i = 0; i < result.outcome->notes.size(); ++i)
      line += (i > 0 ? "," : "") + jsonString(result.outcome->notes[i].Text());
    line += "]";
  } else {
    line += "null";
  }
  if (written) {
    line += ",\"width\":" + std::to_string(result.outcome->width);
    line += ",\"height\":" + std::to_string(result.outcome->height);
    line += ",\"bytes\":" + std::to_string(result.outcome->bytes);
  } else {
    line += ",\"width\":null,\"height\":null,\"bytes\":null";
  }
  line += ",\"ms\":" + reportMilliseconds(result.milliseconds) + "}";
  ++(written ? written_ : skipped ? skipped_ : failed_);
  return line;
}

std::string RunReport::summaryLine(const RunSummary& summary) const {
  return "{\"summary\":{\"written\":" + std::to_string(written_) + ",\"skipped\":" + std::to_string(skipped_) +
         ",\"failed\":" + std::to_string(failed_) + ",\"total\":" + std::to_string(summary.total) + ",\"end\":\"" +
         reportEndWord(summary.end) + "\",\"ms\":" + reportMilliseconds(summary.seconds * 1000.0) + "}}";
}

}  // namespace velmora
