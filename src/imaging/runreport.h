#pragma once

// The run's report for scripts, the same from both front ends: one JSON object per finished file, in
// the order the files finished (JSON Lines), and a last line with the summary.
//
//   {"source":"a.jpg","output":"/out/_a.jpg","status":"written","cause":null,"notes":[],
//    "width":1280,"height":853,"bytes":245812,"ms":41.237}
//   {"summary":{"written":1,"skipped":0,"failed":0,"total":1,"end":"completed","ms":45.002}}
//
// Every key is in every line; what does not apply to the file is null (a failed file's output, a
// written one's cause). File names are bytes: each sequence that is no UTF-8 becomes U+FFFD, so every
// line is valid JSON in UTF-8 whatever the names.

#include <cstddef>
#include <string>
#include <string_view>

#include "imaging/batchrun.h"

namespace velmora {

class RunReport {
 public:
  // The file's line, without the line break; counts the file for the summary.
  std::string fileLine(const FileResult& result);
  // The last line: the files counted by fileLine, the run's total, its end and its time.
  std::string summaryLine(const RunSummary& summary) const;

 private:
  std::size_t written_ = 0;
  std::size_t skipped_ = 0;
  std::size_t failed_ = 0;
};

}  // namespace velmora
