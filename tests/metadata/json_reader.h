#pragma once

// A small JSON reader for the tests: keeps object members in document order (exiftool's tag order
// matters where tag ids repeat) and numbers as written.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::test {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = Kind::kNull;
  bool boolean = false;
  double number = 0;
  std::string text;  // string value, or the number as written
  std::vector<Json> items;
  struct Member;
  std::vector<Member> members;

  const Json* find(std::string_view key) const;
  bool isNumber() const { return kind == Kind::kNumber; }
  bool isString() const { return kind == Kind::kString; }
};

struct Json::Member {
  std::string key;
  Json value;
};

// Throws std::runtime_error on malformed input.
Json ParseJson(std::string_view text);

}  // namespace velmora::test
