#pragma once

// IPTC-IIM records read from a JPEG APP13 segment ("Photoshop 3.0", 8BIM resource 0x0404). Entries
// are TTagEntry records: tag = record * 256 + dataset, type 2 text / 3 number / 0 unknown dataset,
// count 65535 for repeatable datasets, raw = the value bytes, data = the text (UTF-8).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/bytes.h"
#include "metadata/tagentry.h"

namespace velmora {

class TImgData;

struct IptcRow {
  std::uint16_t key;  // record * 256 + dataset
  const char* name;
  const char* desc;
  std::uint16_t type;  // 2 text, 3 number, 0 not fixed
  bool repeatable;
  std::int32_t maxLength;
};

// The 50 known datasets.
std::span<const IptcRow> IptcDatasetTable();
const IptcRow* FindIptcRow(std::uint16_t key);
const IptcRow* FindIptcRowByName(std::string_view name);
TTagEntry EntryFromIptcRow(const IptcRow& row);

class TIPTCdata {
 public:
  explicit TIPTCdata(TImgData* owner = nullptr) : owner_(owner) {}
  virtual ~TIPTCdata() = default;
  TIPTCdata(const TIPTCdata&) = default;
  TIPTCdata& operator=(const TIPTCdata&) = default;

  // Clears the list and parses a segment's data (the two length bytes and the payload).
  void ParseApp13(ByteView data);
  // The same without clearing: the datasets of every IPTC resource in the data follow those read so
  // far, so that the blocks of several APP13 segments are kept in file order.
  void AppendApp13(ByteView data);

  // The value of the first record version dataset 2:00 read, which is no entry (the writer puts one
  // before record 2); none when the source had none.
  const std::optional<Bytes>& RecordVersion() const { return recordVersion_; }
  // True when a dataset ran past its resource, so the datasets after it were lost.
  bool Truncated() const { return truncated_; }

  int Count() const { return static_cast<int>(entries_.size()); }
  void SetCount(int n);
  TTagEntry EntryAt(int i) const { return entries_.at(static_cast<std::size_t>(i)); }
  const std::vector<TTagEntry>& Entries() const { return entries_; }
  int IndexOfName(std::string_view name) const { return IndexOfNameFrom(name, 0); }
  int IndexOfNameFrom(std::string_view name, int first) const;
  // Appends unless the dataset number (low byte of tag) is 0; returns the new index, else -1.
  int AddEntry(const TTagEntry& entry);
  void Clear() {
    entries_.clear();
    merged_.clear();
    recordVersion_.reset();
    truncated_ = false;
  }

  // Types 0 and 2: the bytes without one trailing zero byte, as UTF-8; type 3: the big-endian 16-bit
  // number. Throws EMetadata "Tag type not supported." for other types.
  static std::string DecodeValue(ByteView raw, int type);

  virtual void RemoveTag(std::string_view name);
  virtual int AddTag(std::string_view name, const Bytes& value, bool asNew);
  virtual int AddOrMergeTag(std::string_view name, const Bytes& value);
  virtual int SetTag(std::string_view name, const Bytes& value);
  virtual std::string GetTagText(std::string_view name, std::string_view defaultText) const;

  TImgData* owner() const { return owner_; }

 private:
  void ParseDatasets(ByteView data, std::size_t from, std::size_t end);

  TImgData* owner_;
  std::vector<TTagEntry> entries_;
  // The case-folded items of each merged text (by entry index), so that merging thousands of
  // repeated datasets stays linear. Checked against the text's length, dropped when entries move.
  struct Merged {
    std::size_t dataSize = 0;
    std::unordered_set<std::string> items;
  };
  std::unordered_map<int, Merged> merged_;
  std::optional<Bytes> recordVersion_;
  bool truncated_ = false;
};

}  // namespace velmora
