#pragma once

// The metadata readers' own texts, word for word; callers and tests compare against these.

namespace velmora::msg {

inline constexpr const char* kNone = "<none>";
inline constexpr const char* kFormatNotSupported = "File format not supported";
inline constexpr const char* kCannotReadPrefix = "Cannot read \"";
inline constexpr const char* kIllegalExif = "Illegal EXIF construction";
inline constexpr const char* kIncorrectExifHeader = "Incorrect Exif header";
inline constexpr const char* kInvalidAlignment = "Invalid Exif alignment marker";
inline constexpr const char* kIllegalDirectory = "Illegally sized directory";
inline constexpr const char* kErrorDetected = "Error detected: ";
inline constexpr const char* kNumericTagToVar = "NumericTagToVar does not handle Tag type %d";
inline constexpr const char* kJisComment = "JIS-encoded user comment is not supported.";
inline constexpr const char* kTagNotFound = "Tag \"%s\" not found.";
inline constexpr const char* kDefinitionNotFound = "Definition for tag $%.4x not found.";
// These two cannot arise with typed values (an appended entry always exists, an array holds no arrays);
// they are kept so the set operation's texts stay complete for callers that compare them.
inline constexpr const char* kFailureToCreate = "Failure to create tag \"%s\"";
inline constexpr const char* kNoVariantArrays = "No variant arrays allowed in VarToTag";
inline constexpr const char* kOutOfRange = "Tag \"%s\": Value \"%s\" is out of range.";
inline constexpr const char* kLookupNotFound = "Lookup value \"%s\" of tag \"%s\" not found";
inline constexpr const char* kUnhandledFormat = "Unhandled data format in VarToNumericTag";
inline constexpr const char* kTagTypeNotSupported = "Tag type not supported.";

// The metadata writer's texts. They never reach the user: any failure of the writer makes the batch
// run save the picture without metadata.
inline constexpr const char* kIncompleteSegmentHeader = "Defective JPEG structure: Incomplete segment header";
inline constexpr const char* kFfExpected = "Defective JPEG structure: $FF expected.";
inline constexpr const char* kCompressedDataError = "Read/write error detected for compressed data.";
inline constexpr const char* kSegmentError = "Read/write error in segment $FF%.2x";
inline constexpr const char* kIncorrectStreamPosition = "Incorrect stream position";
inline constexpr const char* kResourceNameTooLong = "Image resource name \"%s\" too long.";
// A segment whose length would not fit its 16-bit length field (it is never written wrapped).
inline constexpr const char* kSegmentTooLong = "Segment $FF%.2x przekracza 65535 bajtów";

}  // namespace velmora::msg
