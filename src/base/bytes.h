#pragma once

// Bounds-checked access to file bytes. Every byte the program reads from a file goes through
// ByteView (random access) or ByteCursor (sequential); every byte it writes into a metadata block
// goes through ByteWriter. The checks are written so that they cannot overflow:
// n <= size && offset <= size - n.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {

using Bytes = std::vector<std::uint8_t>;

// Raised by ByteCursor when a read would go past the end; parsers catch it to end a scan cleanly.
class ByteRangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteView {
 public:
  ByteView() = default;
  ByteView(std::span<const std::uint8_t> data) : data_(data) {}  // NOLINT: implicit on purpose
  ByteView(const Bytes& data) : data_(data) {}                   // NOLINT

  std::size_t size() const { return data_.size(); }
  bool empty() const { return data_.empty(); }
  std::span<const std::uint8_t> span() const { return data_; }

  // True when [offset, offset + n) lies inside the view.
  bool has(std::size_t offset, std::size_t n) const { return n <= data_.size() && offset <= data_.size() - n; }

  std::optional<std::uint8_t> u8(std::size_t offset) const {
    if (!has(offset, 1)) return std::nullopt;
    return data_[offset];
  }
  std::optional<std::uint16_t> u16(std::size_t offset, bool bigEndian) const {
    if (!has(offset, 2)) return std::nullopt;
    const std::uint16_t a = data_[offset], b = data_[offset + 1];
    return bigEndian ? static_cast<std::uint16_t>(a << 8 | b) : static_cast<std::uint16_t>(b << 8 | a);
  }
  std::optional<std::uint32_t> u32(std::size_t offset, bool bigEndian) const {
    if (!has(offset, 4)) return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const std::uint32_t byte = data_[offset + (bigEndian ? i : 3 - i)];
      v = v << 8 | byte;
    }
    return v;
  }
  // The n bytes at offset, or an empty span when they are not all inside the view.
  std::span<const std::uint8_t> bytes(std::size_t offset, std::size_t n) const {
    if (!has(offset, n)) return {};
    return data_.subspan(offset, n);
  }
  // As many of the n bytes at offset as the view holds (possibly none).
  std::span<const std::uint8_t> bytesUpTo(std::size_t offset, std::size_t n) const {
    if (offset >= data_.size()) return {};
    return data_.subspan(offset, std::min(n, data_.size() - offset));
  }
  ByteView sub(std::size_t offset, std::size_t n) const { return ByteView(bytes(offset, n)); }

 private:
  std::span<const std::uint8_t> data_;
};

// Sequential reader; every read past the end throws ByteRangeError and leaves the position unchanged.
class ByteCursor {
 public:
  explicit ByteCursor(ByteView view, std::size_t pos = 0) : view_(view), pos_(pos) {}

  std::size_t pos() const { return pos_; }
  std::size_t size() const { return view_.size(); }
  std::size_t remaining() const { return pos_ < view_.size() ? view_.size() - pos_ : 0; }
  bool atEnd() const { return pos_ >= view_.size(); }
  void seek(std::size_t pos) { pos_ = pos; }
  void skip(std::size_t n) {
    need(n);
    pos_ += n;
  }

  std::uint8_t u8() {
    need(1);
    return view_.span()[pos_++];
  }
  std::uint16_t u16(bool bigEndian) {
    need(2);
    const auto v = *view_.u16(pos_, bigEndian);
    pos_ += 2;
    return v;
  }
  std::uint32_t u32(bool bigEndian) {
    need(4);
    const auto v = *view_.u32(pos_, bigEndian);
    pos_ += 4;
    return v;
  }
  std::span<const std::uint8_t> bytes(std::size_t n) {
    need(n);
    auto s = view_.bytes(pos_, n);
    pos_ += n;
    return s;
  }

 private:
  void need(std::size_t n) const {
    if (!view_.has(pos_, n)) throw ByteRangeError("read past the end of the data");
  }
  ByteView view_;
  std::size_t pos_;
};

// Appending writer with later patching of lengths and offsets; never a pointer into a pre-sized buffer.
class ByteWriter {
 public:
  std::size_t size() const { return data_.size(); }
  const Bytes& data() const { return data_; }
  Bytes take() { return std::move(data_); }

  void u8(std::uint8_t v) { data_.push_back(v); }
  void u16(std::uint16_t v, bool bigEndian) {
    if (bigEndian) {
      u8(static_cast<std::uint8_t>(v >> 8));
      u8(static_cast<std::uint8_t>(v));
    } else {
      u8(static_cast<std::uint8_t>(v));
      u8(static_cast<std::uint8_t>(v >> 8));
    }
  }
  void u32(std::uint32_t v, bool bigEndian) {
    for (int i = 0; i < 4; ++i) {
      const int shift = bigEndian ? 24 - 8 * i : 8 * i;
      u8(static_cast<std::uint8_t>(v >> shift));
    }
  }
  void bytes(std::span<const std::uint8_t> b) { data_.insert(data_.end(), b.begin(), b.end()); }
  void text(const std::string& s) { data_.insert(data_.end(), s.begin(), s.end()); }

  // Overwrite bytes already written; throws std::out_of_range when [at, at + n) was not written yet.
  void patch16(std::size_t at, std::uint16_t v, bool bigEndian) {
    checkPatch(at, 2);
    ByteWriter w;
    w.u16(v, bigEndian);
    std::copy(w.data_.begin(), w.data_.end(), data_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  void patch32(std::size_t at, std::uint32_t v, bool bigEndian) {
    checkPatch(at, 4);
    ByteWriter w;
    w.u32(v, bigEndian);
    std::copy(w.data_.begin(), w.data_.end(), data_.begin() + static_cast<std::ptrdiff_t>(at));
  }
  void patch(std::size_t at, std::span<const std::uint8_t> b) {
    checkPatch(at, b.size());
    std::copy(b.begin(), b.end(), data_.begin() + static_cast<std::ptrdiff_t>(at));
  }

 private:
  void checkPatch(std::size_t at, std::size_t n) const {
    if (n > data_.size() || at > data_.size() - n) throw std::out_of_range("patch outside the written bytes");
  }
  Bytes data_;
};

}  // namespace velmora
