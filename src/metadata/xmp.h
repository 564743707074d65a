#pragma once

// The XMP APP1 segments of a JPEG file as the writer carries them: the packet ("http://ns.adobe.com/
// xap/1.0/") and the parts of its extension ("http://ns.adobe.com/xmp/extension/"), which hold one
// further packet, named by the MD5 digest of its bytes (the GUID) and cut into chunks at offsets.

#include <cstdint>
#include <string>
#include <vector>

#include "base/bytes.h"

namespace velmora {

// The 32 upper-case hexadecimal digits of the MD5 digest (RFC 1321) of the bytes: an extended XMP
// packet's GUID.
std::string Md5Hex(ByteView bytes);

// The segments (each a JpegSection's data: length field, identifier, payload) with the GPS position
// taken out of the packet and of the extension (StripXmpGps). What cannot be made safe is left out and
// its cause (Polish, for the user) added to `causes`: a packet that cannot be read as XML, an extension that
// is incomplete or that no longer fits its chunks. Segments without GPS stay byte for byte; an
// extension that changed gets its new GUID, in its parts and in the packet that names it.
std::vector<Bytes> StripGpsFromXmpSegments(const std::vector<Bytes>& segments, std::vector<std::string>& causes);

}  // namespace velmora
