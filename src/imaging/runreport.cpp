#include "imaging/runreport.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "metadata/metadata_dump.h"

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

std::string RunReport::fileLine(const FileResult& result) {
  const bool written = result.outcome && !result.outcome->skipped;
  const bool skipped = result.outcome && result.outcome->skipped;
  std::string line = "{\"source\":" + JsonString(result.name);
  line += ",\"output\":" + (result.outcome ? JsonString(result.outcome->output.string()) : std::string("null"));
  line += ",\"status\":";
  line += written ? "\"written\"" : skipped ? "\"skipped\"" : "\"failed\"";
  line += ",\"cause\":" + (result.outcome ? std::string("null") : JsonString(reportCause(result)));
  line += ",\"notes\":";
  if (result.outcome) {
    line += "[";
    for (std::size_t i = 0; i < result.outcome->notes.size(); ++i)
      line += (i > 0 ? "," : "") + JsonString(result.outcome->notes[i].Text());
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
