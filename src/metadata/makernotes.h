#pragma once

// Maker-note decoding for the makes the tag tables know (Nikon, Olympus, Casio, Fujifilm, Canon, Seiko,
// Sanyo, Minolta). Decoded entries join the reader's main list as computed entries (kind 1), so the
// writer never writes them; the maker note itself is kept and written as opaque bytes.

#include <cstdint>
#include <string>

#include "base/bytes.h"
#include "metadata/tagtables.h"

namespace velmora {

class TImageInfo;

// How one make's note is walked. sourceStart: where values that do not fit in the note are looked
// for in the section (from 1); offsetBase: what value offsets are counted from; dirPos: the
// directory's position in the note; lastRow: the last row of the table that is read.
struct MakerWalk {
  MakerTable table;
  std::int64_t sourceStart, offsetBase, dirPos;
  int lastRow;
  bool bigEndian;
};

class TmsInfo {
 public:
  TmsInfo(TImageInfo& reader, bool isTiff);

  // Decodes the reader's makerNote; true when the make was one of the known ones.
  bool Decode();

  bool isTiff;
  TImageInfo* reader;
  // The maker note's position in the EXIF section, counted from 1 as the walk parameters below are.
  std::int64_t noteStart;
  std::string makerText;

 private:
  void ReadMakerDirectory(const MakerWalk& walk);
  // Nikon notes point to a preview directory (with its picture) and a scan directory that cameras put
  // after the note's own bytes; their places join the reader's makerNoteOutside.
  void KeepNikonSubdirectories();
};

}  // namespace velmora
