#pragma once

// The GPS position taken out of an XMP packet: every exif:GPS* property (namespace
// "http://ns.adobe.com/exif/1.0/", a local name beginning with "GPS"), written as an element or as an
// attribute. The packet is read with Qt's XML stream reader, and only the bytes of those properties
// are cut out; the rest of the packet stays as it was, byte for byte.

#include "base/bytes.h"

namespace velmora {

// The packet without its exif:GPS* properties; the same bytes when it has none. Throws EMetadata
// when the packet holds the letters "GPS" but cannot be read as XML in UTF-8, so that it is not
// carried unchecked.
Bytes StripXmpGps(ByteView packet);

}  // namespace velmora
