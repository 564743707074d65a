#pragma once

// The metadata code's own texts, word for word, each defined once; callers and tests compare against
// these.

#include <string>

namespace velmora::msg {

// The outcome of TImgData::OpenFile (ReadOutcome, readreport.h, makes the text).
inline constexpr const char* kNone = "<none>";
inline constexpr const char* kFormatNotSupported = "File format not supported";
inline constexpr const char* kCannotReadPrefix = "Cannot read \"";
inline constexpr const char* kIllegalExif = "Illegal EXIF construction";

// Problems of a read (ReadProblem), in TImgData::report.
inline constexpr const char* kIncorrectExifHeader = "Incorrect Exif header";
inline constexpr const char* kInvalidAlignment = "Invalid Exif alignment marker";
inline constexpr const char* kIllegalDirectory = "Illegally sized directory";
inline constexpr const char* kErrorDetected = "Error detected: ";

// The by-name operations of the EXIF model.
inline constexpr const char* kNumericTagToVar = "NumericTagToVar does not handle Tag type %d";
inline constexpr const char* kJisComment = "JIS-encoded user comment is not supported.";
inline constexpr const char* kTagNotFound = "Tag \"%s\" not found.";
inline constexpr const char* kDefinitionNotFound = "Definition for tag $%.4x not found.";
inline constexpr const char* kOutOfRange = "Tag \"%s\": Value \"%s\" is out of range.";
inline constexpr const char* kLookupNotFound = "Lookup value \"%s\" of tag \"%s\" not found";
inline constexpr const char* kUnhandledFormat = "Unhandled data format in VarToNumericTag";
inline constexpr const char* kTagTypeNotSupported = "Tag type not supported.";

// The metadata writer's failures. They reach the user only as the cause of "zapisano bez metadanych":
// any failure makes the batch run save the picture without metadata.
inline constexpr const char* kIncompleteSegmentHeader = "Defective JPEG structure: Incomplete segment header";
inline constexpr const char* kFfExpected = "Defective JPEG structure: $FF expected.";
inline constexpr const char* kSegmentError = "Read/write error in segment $FF%.2x";
inline constexpr const char* kIncorrectStreamPosition = "Incorrect stream position";
inline constexpr const char* kResourceNameTooLong = "Image resource name \"%s\" too long.";
// A segment whose length would not fit its 16-bit length field (it is never written wrapped).
inline constexpr const char* kSegmentTooLong = "Segment $FF%.2x przekracza 65535 bajtów";

// What an output goes without (TOutputNote), in Polish for the user.
inline constexpr const char* kWithoutMetadata = "zapisano bez metadanych: ";
inline constexpr const char* kWithoutThumbnail = "zapisano bez miniatury: ";
inline constexpr const char* kWithoutColourConversion = "zapisano bez konwersji kolorów: ";
inline constexpr const char* kDroppedEntries = "wpisy EXIF z wartością poza blokiem EXIF: ";
inline constexpr const char* kDirectoryOutsideBlock = "katalog EXIF nie mieści się w bloku EXIF";
inline constexpr const char* kIptcCut = "dane IPTC ucięte w pliku źródłowym";
inline constexpr const char* kIptcTrailerLeft = "inne dane IPTC za końcem obrazu pominięte";
inline constexpr const char* kStripsNotTurned = "miniatury nieskompresowanej nie da się obrócić";
inline constexpr const char* kThumbnailNotTurned = "miniatury nie da się obrócić";
inline constexpr const char* kExifXmpUnreadable = "pakiet XMP w EXIF nieczytelny";
inline constexpr const char* kXmpUnreadable = "pakiet XMP nieczytelny";
inline constexpr const char* kXmpTooLong = "pakiet XMP za duży";
inline constexpr const char* kXmpPartBroken = "część rozszerzenia XMP uszkodzona";
inline constexpr const char* kXmpExtensionIncomplete = "rozszerzenie XMP niepełne";
inline constexpr const char* kXmpExtensionUnreadable = "rozszerzenie XMP nieczytelne";
inline constexpr const char* kXmpNotUtf8 = "XMP nie jest zapisany w UTF-8";
inline constexpr const char* kXmlUnreadable = "XMP nieczytelny: ";

// "CAUSE (DETAIL)", as the causes that carry an error's own text are written.
inline std::string WithDetail(const char* cause, const std::string& detail) {
  return std::string(cause) + " (" + detail + ")";
}

}  // namespace velmora::msg
