#pragma once

// What stands after a JPEG picture's end (EOI): some cataloguing programs store their IPTC records
// there instead of in an APP13 segment.

#include <optional>

#include "base/bytes.h"

namespace velmora {

// The bytes after the EOI that ends the picture whose scan data starts at `scanData` (the position
// after the first scan header); nothing when no EOI lies inside `jpeg`. Scan data is walked marker by
// marker (stuffed bytes, restarts and fill passed over, the segments between progressive scans
// skipped by their length), so an 0xFF 0xD9 inside a segment is not taken for the end.
std::optional<ByteView> JpegTrailer(ByteView jpeg, std::size_t scanData);

// IPTC records at the start of a trailer, as an APP13 segment's data (length field and payload) that
// TIPTCdata::AppendApp13 reads: a trailer starting with "Photoshop 3.0", with an 8BIM resource, or
// with an IPTC dataset of record 1 or 2 (0x1C). Nothing for any other trailer: another picture (a
// second JPEG) or a maker's own data.
std::optional<Bytes> IptcTrailerAsApp13(ByteView trailer);

class TImgData;

// Reads the IPTC records of the trailer of `jpeg` into img when its APP13 segments held none; when they
// did and the trailer's differ, the trailer's are left and img.iptcTrailerLeft says so.
void TakeIptcTrailer(TImgData& img, ByteView jpeg, std::size_t scanData);

}  // namespace velmora
