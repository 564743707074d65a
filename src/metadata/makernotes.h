#pragma once

// Maker-note decoding for the makes the tag tables know (Nikon, Olympus, Casio, Fujifilm, Canon, Seiko,
// Sanyo, Minolta). The walk finds the note's values that lie outside it, for the writer; a read with
// texts also decodes the entries, which join the reader's main list as computed entries (kind 1), so
// the writer never writes them. The maker note itself is kept and written as opaque bytes.

#include <cstdint>
#include <span>
#include <string>

#include "base/bytes.h"
#include "metadata/tagtables.h"

namespace velmora {

class TImageInfo;
struct IfdEntry;

// Where a make's value offsets count from.
enum class OffsetsFrom {
  kNote,        // a position in the note itself (`origin`)
  kTiffHeader,  // the EXIF block's TIFF header, as the main directories' offsets do
};

// How one make's note is walked; every position is 0-based. dirPos: the directory's position in the
// note; offsetsFrom/origin: where value offsets count from; outsideOrigin: for a value said to lie
// past the note's end, the section position that offset 0 stands for; lastRow: the last row of the
// table that is read; littleEndian: the note is little-endian whatever the block's byte order.
struct MakerWalk {
  MakerTable table;
  std::int64_t dirPos;
  OffsetsFrom offsetsFrom;
  std::int64_t origin;
  std::int64_t outsideOrigin;
  int lastRow;
  bool littleEndian = false;
};

class TmsInfo {
 public:
  explicit TmsInfo(TImageInfo& reader);

  // Decodes the reader's makerNote; true when the make was one of the known ones.
  bool Decode();

 private:
  // Walks the note's directory: finds each value (noting those outside the note for the writer) and,
  // when the read asks for texts, describes it.
  void ReadMakerDirectory(const MakerWalk& walk);
  // The entry's display text, and the decoded entries its formatter yields, as computed entries;
  // false once the budget is spent.
  bool DescribeEntry(std::span<const TagRow> table, const IfdEntry& entry, ByteView bytes, bool be);
  // Nikon notes point to a preview directory (with its picture) and a scan directory that cameras put
  // after the note's own bytes; their places join the reader's makerNoteOutside.
  void KeepNikonSubdirectories();

  TImageInfo* reader_;
};

}  // namespace velmora
