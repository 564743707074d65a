#include "json_reader.h"

#include <cstdlib>
#include <stdexcept>

#include "base/textcodec.h"

namespace velmora::test {

namespace {

class Parser {
 public:
  explicit Parser(std::string_view s) : s_(s) {}

  Json value() {
    space();
    if (i_ >= s_.size()) fail();
    const char c = s_[i_];
    Json j;
    if (c == '{') {
      j.kind = Json::Kind::kObject;
      ++i_;
      space();
      if (peek('}')) return ++i_, j;
      while (true) {
        space();
        std::string key = string();
        space();
        expect(':');
        j.members.push_back({std::move(key), value()});
        space();
        if (peek(',')) {
          ++i_;
          continue;
        }
        expect('}');
        return j;
      }
    }
    if (c == '[') {
      j.kind = Json::Kind::kArray;
      ++i_;
      space();
      if (peek(']')) return ++i_, j;
      while (true) {
        j.items.push_back(value());
        space();
        if (peek(',')) {
          ++i_;
          continue;
        }
        expect(']');
        return j;
      }
    }
    if (c == '"') {
      j.kind = Json::Kind::kString;
      j.text = string();
      return j;
    }
    if (s_.substr(i_, 4) == "true") return i_ += 4, j.kind = Json::Kind::kBool, j.boolean = true, j;
    if (s_.substr(i_, 5) == "false") return i_ += 5, j.kind = Json::Kind::kBool, j;
    if (s_.substr(i_, 4) == "null") return i_ += 4, j;
    const std::size_t start = i_;
    while (i_ < s_.size() && std::string_view("+-0123456789.eE").find(s_[i_]) != std::string_view::npos) ++i_;
    if (i_ == start) fail();
    j.kind = Json::Kind::kNumber;
    j.text = std::string(s_.substr(start, i_ - start));
    j.number = std::strtod(j.text.c_str(), nullptr);
    return j;
  }

  void end() {
    space();
    if (i_ != s_.size()) fail();
  }

 private:
  [[noreturn]] void fail() const { throw std::runtime_error("bad JSON at " + std::to_string(i_)); }
  void space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool peek(char c) const { return i_ < s_.size() && s_[i_] == c; }
  void expect(char c) {
    if (!peek(c)) fail();
    ++i_;
  }
  unsigned hex4() {
    if (i_ + 4 > s_.size()) fail();
    const unsigned v = static_cast<unsigned>(std::strtoul(std::string(s_.substr(i_, 4)).c_str(), nullptr, 16));
    i_ += 4;
    return v;
  }
  std::string string() {
    expect('"');
    std::string out;
    while (true) {
      if (i_ >= s_.size()) fail();
      const char c = s_[i_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i_ >= s_.size()) fail();
      const char e = s_[i_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          unsigned cp = hex4();
          if (cp >= 0xD800 && cp <= 0xDBFF && s_.substr(i_, 2) == "\\u") {
            i_ += 2;
            const unsigned low = hex4();
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, static_cast<char32_t>(cp));
          break;
        }
        default:
          out += e;
      }
    }
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

}  // namespace

const Json* Json::find(std::string_view key) const {
  for (const auto& [k, v] : members)
    if (k == key) return &v;
  return nullptr;
}

Json ParseJson(std::string_view text) {
  Parser p(text);
  Json j = p.value();
  p.end();
  return j;
}

}  // namespace velmora::test
