#include "metadata/tagtables.h"

#include "base/textcodec.h"

namespace velmora {

namespace {

using enum Formatter;

// Columns: tag, type, parentId, count, name, desc, code, format, rawSize, formatter. Code maps are kept
// exactly as the camera-era tables had them, misspellings and the stray ";" included.
constexpr TagRow kMainTable[] = {
    {0x0001, kAscii, 0, 1, "InteroperabilityIndex", "", "", "", 0, kNone},
    {0x0002, kUndefined, 0, 1, "InteroperabilityVersion", "", "", "", 4, kVersion},
    {0x000B, kAscii, 0, 1, "ACDComment", "", "", "", 0, kNone},
    {0x00FE, kLong, 0, 1, "NewSubfileType", "", "", "", 0, kNone},
    {0x00FF, kShort, 0, 1, "SubfileType", "", "", "", 0, kNone},
    {0x0100, kLong, 0, 1, "ImageWidth", "", "", "", 0, kNone},
    {0x0101, kLong, 0, 1, "ImageLength", "", "", "", 0, kNone},
    {0x0102, kShort, 0, 3, "BitsPerSample", "", "", "", 0, kNone},
    {0x0103, kShort, 0, 1, "Compression", "", "6:Jpeg,3:Uncompressed,1:TIFF", "", 0, kNone},
    {0x0106, kShort, 0, 1, "PhotometricInterpretation", "", "1:Monochrome, 2:RGB, 6:YCbCr", "", 0, kNone},
    {0x010A, kShort, 0, 1, "FillOrder", "", "", "", 0, kNone},
    {0x010D, kAscii, 0, 1, "DocumentName", "", "", "", 0, kNone},
    {0x010E, kAscii, 0, 1, "ImageDescription", "", "", "", 0, kNone},
    {0x010F, kAscii, 0, 1, "Make", "", "", "", 0, kNone},
    {0x0110, kAscii, 0, 1, "Model", "", "", "", 0, kNone},
    {0x0111, kLong, 0, 1, "StripOffsets", "", "", "", 0, kNone},
    {0x0112, kShort, 0, 1, "Orientation", "",
     "1:Horizontal (normal),2:Mirror horizontal,3:Rotate 180,4:Mirror vertical,5:Mirror horizontal and rotate 270 "
     "CW,6:Rotate 90 CW,7:Mirror horizontal and rotate 90 CW,8:Rotate 270 CW",
     "", 0, kNone},
    {0x0115, kShort, 0, 1, "SamplesPerPixel", "", "", "", 0, kNone},
    {0x0116, kLong, 0, 1, "RowsPerStrip", "", "", "", 0, kNone},
    {0x0117, kLong, 0, 1, "StripByteCounts", "", "", "", 0, kNone},
    {0x0118, kShort, 0, 1, "MinSampleValue", "", "", "", 0, kNone},
    {0x0119, kShort, 0, 1, "MaxSampleValue", "", "", "", 0, kNone},
    {0x011A, kRational, 0, 1, "XResolution", "", "", "", 0, kNone},
    {0x011B, kRational, 0, 1, "YResolution", "", "", "", 0, kNone},
    {0x011C, kShort, 0, 1, "PlanarConfiguration", "", "", "", 0, kNone},
    {0x011D, kAscii, 0, 1, "PageName", "", "", "", 0, kNone},
    {0x011E, kRational, 0, 1, "XPosition", "", "", "", 0, kNone},
    {0x011F, kRational, 0, 1, "YPosition", "", "", "", 0, kNone},
    {0x0120, 0, 0, 1, "FreeOffsets", "", "", "", 0, kNone},
    {0x0121, 0, 0, 1, "FreeByteCounts", "", "", "", 0, kNone},
    {0x0122, kShort, 0, 1, "GrayReponseUnit", "", "", "", 0, kNone},
    {0x0123, 0, 0, 1, "GrayReponseCurve", "", "", "", 0, kNone},
    {0x0124, 0, 0, 1, "T4Options", "", "", "", 0, kNone},
    {0x0125, 0, 0, 1, "T6Options", "", "", "", 0, kNone},
    {0x0128, kShort, 0, 1, "ResolutionUnit", "", "1:None specified,2:inches,3:cm", "", 0, kNone},
    {0x0129, kShort, 0, 2, "PageNumber", "", "", "", 0, kNone},
    {0x012D, kShort, 0, 768, "TransferFunction", "", "", "", 0, kNone},
    {0x0131, kAscii, 0, 1, "Software", "", "", "", 0, kNone},
    {0x0132, kAscii, 0, 1, "DateTime", "", "", "", 0, kNone},
    {0x013B, kAscii, 0, 1, "Artist", "", "", "", 0, kNone},
    {0x013C, kAscii, 0, 1, "HostComputer", "", "", "", 0, kNone},
    {0x013D, kShort, 0, 1, "Predictor", "", "", "", 0, kNone},
    {0x013E, kRational, 0, 2, "WhitePoint", "", "", "", 0, kNone},
    {0x013F, kRational, 0, 6, "PrimaryChromaticities", "", "", "", 0, kNone},
    {0x0140, 0, 0, 1, "ColorMap", "", "", "", 0, kNone},
    {0x0141, kShort, 0, 2, "HalfToneHints", "", "", "", 0, kNone},
    {0x0142, kLong, 0, 1, "TileWidth", "", "", "", 0, kNone},
    {0x0143, kLong, 0, 1, "TileLength", "", "", "", 0, kNone},
    {0x0144, 0, 0, 1, "TileOffsets", "", "", "", 0, kNone},
    {0x0145, 0, 0, 1, "TileByteCounts", "", "", "", 0, kNone},
    {0x014A, 0, 0, 1, "SubIFDs", "", "", "", 0, kNone},
    {0x014C, kShort, 0, 1, "InkSet", "", "", "", 0, kNone},
    {0x014D, 0, 0, 1, "InkNames", "", "", "", 0, kNone},
    {0x014E, 0, 0, 1, "NumberOfInks", "", "", "", 0, kNone},
    {0x0150, 0, 0, 1, "DotRange", "", "", "", 0, kNone},
    {0x0151, kAscii, 0, 1, "TargetPrinter", "", "", "", 0, kNone},
    {0x0152, 0, 0, 1, "ExtraSample", "", "", "", 0, kNone},
    {0x0153, 0, 0, 1, "SampleFormat", "", "", "", 0, kNone},
    {0x0154, 0, 0, 1, "SMinSampleValue", "", "", "", 0, kNone},
    {0x0155, 0, 0, 1, "SMaxSampleValue", "", "", "", 0, kNone},
    {0x0156, 0, 0, 1, "TransferRange", "", "", "", 0, kNone},
    {0x0157, 0, 0, 1, "ClipPath", "", "", "", 0, kNone},
    {0x0158, 0, 0, 1, "XClipPathUnits", "", "", "", 0, kNone},
    {0x0159, 0, 0, 1, "YClipPathUnits", "", "", "", 0, kNone},
    {0x015A, 0, 0, 1, "Indexed", "", "", "", 0, kNone},
    {0x015B, 0, 0, 1, "JPEGTables", "", "", "", 0, kNone},
    {0x015F, 0, 0, 1, "OPIProxy", "", "", "", 0, kNone},
    {0x0200, 0, 0, 1, "JPEGProc", "", "", "", 0, kNone},
    {0x0201, kLong, 0, 1, "JPEGInterchangeFormat", "", "", "", 4, kNone},
    {0x0202, kLong, 0, 1, "JPEGInterchangeFormatLength", "", "", "", 0, kNone},
    {0x0203, 0, 0, 1, "JPEGRestartInterval", "", "", "", 0, kNone},
    {0x0205, 0, 0, 1, "JPEGLosslessPredictors", "", "", "", 0, kNone},
    {0x0206, 0, 0, 1, "JPEGPointTransforms", "", "", "", 0, kNone},
    {0x0207, 0, 0, 1, "JPEGQTables", "", "", "", 0, kNone},
    {0x0208, 0, 0, 1, "JPEGDCTables", "", "", "", 0, kNone},
    {0x0209, 0, 0, 1, "JPEGACTables", "", "", "", 0, kNone},
    {0x0211, kRational, 0, 3, "YCbCrCoefficients", "", "", "", 0, kNone},
    {0x0212, kShort, 0, 2, "YCbCrSubSampling", "", "", "", 0, kNone},
    {0x0213, kShort, 0, 1, "YCbCrPositioning", "", "1:Centered,2:Co-sited", "", 0, kNone},
    {0x0214, kRational, 0, 6, "ReferenceBlackWhite", "", "", "", 0, kNone},
    {0x02BC, kByte, 0, 1, "ExtensibleMetadataPlatform", "", "", "", 0, kNone},
    {0x0301, 0, 0, 1, "Gamma", "", "", "", 0, kNone},
    {0x0302, 0, 0, 1, "ICCProfileDescriptor", "", "", "", 0, kNone},
    {0x0303, 0, 0, 1, "SRGBRenderingIntent", "", "", "", 0, kNone},
    {0x0304, 0, 0, 1, "ImageTitle", "", "", "", 0, kNone},
    {0x1000, kAscii, 0, 1, "RelatedImageFileFormat", "", "", "", 0, kNone},
    {0x1001, kShort, 0, 1, "RelatedImageWidth", "", "", "", 0, kNone},
    {0x1002, kShort, 0, 1, "RelatedImageHeight", "", "", "", 0, kNone},
    {0x5001, 0, 0, 1, "ResolutionXUnit", "", "", "", 0, kNone},
    {0x5002, 0, 0, 1, "ResolutionYUnit", "", "", "", 0, kNone},
    {0x5003, 0, 0, 1, "ResolutionXLengthUnit", "", "", "", 0, kNone},
    {0x5004, 0, 0, 1, "ResolutionYLengthUnit", "", "", "", 0, kNone},
    {0x5005, 0, 0, 1, "PrintFlags", "", "", "", 0, kNone},
    {0x5006, 0, 0, 1, "PrintFlagsVersion", "", "", "", 0, kNone},
    {0x5007, 0, 0, 1, "PrintFlagsCrop", "", "", "", 0, kNone},
    {0x5008, 0, 0, 1, "PrintFlagsBleedWidth", "", "", "", 0, kNone},
    {0x5009, 0, 0, 1, "PrintFlagsBleedWidthScale", "", "", "", 0, kNone},
    {0x500A, 0, 0, 1, "HalftoneLPI", "", "", "", 0, kNone},
    {0x500B, 0, 0, 1, "HalftoneLPIUnit", "", "", "", 0, kNone},
    {0x500C, 0, 0, 1, "HalftoneDegree", "", "", "", 0, kNone},
    {0x500D, 0, 0, 1, "HalftoneShape", "", "", "", 0, kNone},
    {0x500E, 0, 0, 1, "HalftoneMisc", "", "", "", 0, kNone},
    {0x500F, 0, 0, 1, "HalftoneScreen", "", "", "", 0, kNone},
    {0x5010, 0, 0, 1, "JPEGQuality", "", "", "", 0, kNone},
    {0x5011, 0, 0, 1, "GridSize", "", "", "", 0, kNone},
    {0x5012, 0, 0, 1, "ThumbnailFormat", "", "", "", 0, kNone},
    {0x5013, 0, 0, 1, "ThumbnailWidth", "", "", "", 0, kNone},
    {0x5014, 0, 0, 1, "ThumbnailHeight", "", "", "", 0, kNone},
    {0x5015, 0, 0, 1, "ThumbnailColorDepth", "", "", "", 0, kNone},
    {0x5016, 0, 0, 1, "ThumbnailPlanes", "", "", "", 0, kNone},
    {0x5017, 0, 0, 1, "ThumbnailRawBytes", "", "", "", 0, kNone},
    {0x5018, 0, 0, 1, "ThumbnailSize", "", "", "", 0, kNone},
    {0x5019, 0, 0, 1, "ThumbnailCompressedSize", "", "", "", 0, kNone},
    {0x501A, 0, 0, 1, "ColorTransferFunction", "", "", "", 0, kNone},
    {0x501B, 0, 0, 1, "ThumbnailData", "", "", "", 0, kNone},
    {0x5020, 0, 0, 1, "ThumbnailImageWidth", "", "", "", 0, kNone},
    {0x5021, 0, 0, 1, "ThumbnailImageHeight", "", "", "", 0, kNone},
    {0x5022, 0, 0, 1, "ThumbnailBitsPerSample", "", "", "", 0, kNone},
    {0x5023, 0, 0, 1, "ThumbnailCompression", "", "", "", 0, kNone},
    {0x5024, 0, 0, 1, "ThumbnailPhotometricInterp", "", "", "", 0, kNone},
    {0x5025, 0, 0, 1, "ThumbnailImageDescription", "", "", "", 0, kNone},
    {0x5026, kAscii, 0, 1, "ThumbnailEquipMake", "", "", "", 0, kNone},
    {0x5027, kAscii, 0, 1, "ThumbnailEquipModel", "", "", "", 0, kNone},
    {0x5028, 0, 0, 1, "ThumbnailStripOffsets", "", "", "", 0, kNone},
    {0x5029, 0, 0, 1, "ThumbnailOrientation", "", "", "", 0, kNone},
    {0x502A, 0, 0, 1, "ThumbnailSamplesPerPixel", "", "", "", 0, kNone},
    {0x502B, 0, 0, 1, "ThumbnailRowsPerStrip", "", "", "", 0, kNone},
    {0x502C, 0, 0, 1, "ThumbnailStripBytesCount", "", "", "", 0, kNone},
    {0x502D, 0, 0, 1, "ThumbnailResolutionX", "", "", "", 0, kNone},
    {0x502E, 0, 0, 1, "ThumbnailResolutionY", "", "", "", 0, kNone},
    {0x502F, 0, 0, 1, "ThumbnailPlanarConfig", "", "", "", 0, kNone},
    {0x5030, 0, 0, 1, "ThumbnailResolutionUnit", "", "", "", 0, kNone},
    {0x5031, 0, 0, 1, "ThumbnailTransferFunction", "", "", "", 0, kNone},
    {0x5032, kAscii, 0, 1, "ThumbnailSoftwareUsed", "", "", "", 0, kNone},
    {0x5033, kAscii, 0, 1, "ThumbnailDateTime", "", "", "", 0, kNone},
    {0x5034, kAscii, 0, 1, "ThumbnailArtist", "", "", "", 0, kNone},
    {0x5035, 0, 0, 1, "ThumbnailWhitePoint", "", "", "", 0, kNone},
    {0x5036, 0, 0, 1, "ThumbnailPrimaryChromaticities", "", "", "", 0, kNone},
    {0x5037, 0, 0, 1, "ThumbnailYCbCrCoefficients", "", "", "", 0, kNone},
    {0x5038, 0, 0, 1, "ThumbnailYCbCrSubsampling", "", "", "", 0, kNone},
    {0x5039, 0, 0, 1, "ThumbnailYCbCrPositioning", "", "", "", 0, kNone},
    {0x503A, 0, 0, 1, "ThumbnailRefBlackWhite", "", "", "", 0, kNone},
    {0x503B, kAscii, 0, 1, "ThumbnailCopyRight", "", "", "", 0, kNone},
    {0x5090, 0, 0, 1, "LuminanceTable", "", "", "", 0, kNone},
    {0x5091, 0, 0, 1, "ChrominanceTable", "", "", "", 0, kNone},
    {0x5100, 0, 0, 1, "FrameDelay", "", "", "", 0, kNone},
    {0x5101, 0, 0, 1, "LoopCount", "", "", "", 0, kNone},
    {0x5110, 0, 0, 1, "PixelUnit", "", "", "", 0, kNone},
    {0x5111, 0, 0, 1, "PixelPerUnitX", "", "", "", 0, kNone},
    {0x5112, 0, 0, 1, "PixelPerUnitY", "", "", "", 0, kNone},
    {0x5113, 0, 0, 1, "PaletteHistogram", "", "", "", 0, kNone},
    {0x800D, 0, 0, 1, "ImageID", "", "", "", 0, kNone},
    {0x80E3, 0, 0, 1, "Matteing", "", "", "", 0, kNone},
    {0x80E4, 0, 0, 1, "DataType", "", "", "", 0, kNone},
    {0x80E5, 0, 0, 1, "ImageDepth", "", "", "", 0, kNone},
    {0x80E6, 0, 0, 1, "TileDepth", "", "", "", 0, kNone},
    {0x828D, kShort, 0, 2, "CFARepeatPatternDim", "", "", "", 0, kNone},
    {0x828E, kByte, 0, 1, "CFAPattern", "", "", "", 0, kNone},
    {0x828F, 0, 0, 1, "BatteryLevel", "", "", "", 0, kNone},
    {0x8298, kAscii, 0, 1, "Copyright", "", "", "", 0, kNone},
    {0x829A, kRational, 34665, 1, "ExposureTime", "Exposure time", "", "%s sec", 8, kNone},
    {0x829D, kRational, 34665, 1, "FNumber", "", "", "F%0.1f", 0, kNone},
    {0x83BB, kLong, 0, 1, "IPTC/NAA", "IPTC/NAA", "", "", 0, kNone},
    {0x84E3, 0, 0, 1, "IT8RasterPadding", "", "", "", 0, kNone},
    {0x84E5, 0, 0, 1, "IT8ColorTable", "", "", "", 0, kNone},
    {0x8649, 0, 0, 1, "ImageResourceInformation", "", "", "", 0, kNone},
    {0x8769, kLong, 0, 1, "ExifOffset", "", "", "", 4, kNone},
    {0x8773, 0, 0, 1, "InterColorProfile", "", "", "", 0, kNone},
    {0x8822, kShort, 34665, 1, "ExposureProgram", "",
     "0:Not denfined,1:Manual,2:Program AE,3:Aperture-priority AE,4:Shutter speed priority AE,5:Creative (slow "
     "speed),6:Action (high speed),7:Portrait,8:Landscape;9:Bulb",
     "", 0, kNone},
    {0x8824, kAscii, 34665, 1, "SpectralSensitivity", "", "", "", 0, kNone},
    {0x8825, kLong, 0, 1, "GPSInfo", "", "", "", 4, kNone},
    {0x8827, kShort, 34665, 1, "ISOSpeedRatings", "", "", "", 0, kNone},
    {0x8828, 0, 34665, 1, "OECF", "", "", "", 0, kNone},
    {0x8829, 0, 34665, 1, "Interlace", "", "", "", 0, kNone},
    {0x882A, kSShort, 34665, 1, "TimeZoneOffset", "", "", "", 0, kNone},
    {0x882B, kShort, 34665, 1, "SelfTimerMode", "", "", "", 0, kNone},
    {0x9000, kUndefined, 34665, 1, "ExifVersion", "", "", "", 4, kVersion},
    {0x9003, kAscii, 34665, 1, "DateTimeOriginal", "", "", "", 0, kNone},
    {0x9004, kAscii, 34665, 1, "DateTimeDigitized", "", "", "", 0, kNone},
    {0x9101, kUndefined, 34665, 1, "ComponentsConfiguration", "", "", "", 0, kComponentsConfiguration},
    {0x9102, kRational, 34665, 1, "CompressedBitsPerPixel", "", "", "", 0, kNone},
    {0x9201, kSRational, 34665, 1, "ShutterSpeedValue", "", "", "", 0, kShutterSpeed},
    {0x9202, kRational, 34665, 1, "ApertureValue", "Aperture value", "", "F%0.1f", 0, kNone},
    {0x9203, kSRational, 34665, 1, "BrightnessValue", "", "", "", 0, kNone},
    {0x9204, kSRational, 34665, 1, "ExposureBiasValue", "", "", "", 0, kNone},
    {0x9205, kRational, 34665, 1, "MaxApertureValue", "", "", "F%0.1f", 0, kNone},
    {0x9206, kRational, 34665, 1, "SubjectDistance", "", "", "", 0, kNone},
    {0x9207, kShort, 34665, 1, "MeteringMode", "",
     "0:Unknown,1:Average,2:Center,3:Spot,4:Multi-spot,5:Multi-segment,6:Partial", "", 0, kNone},
    {0x9208, kShort, 34665, 1, "LightSource", "",
     "0:Unknown,1:Daylight,2:Fluorescent,3:Tungsten,10:Flash,17:Std A,18:Std B,19:Std C", "", 0, kNone},
    {0x9209, kShort, 34665, 1, "Flash", "", "", "", 0, kFlash},
    {0x920A, kRational, 34665, 1, "FocalLength", "Focal length", "", "%0.1f mm", 0, kNone},
    {0x920B, 0, 34665, 1, "FlashEnergy", "", "", "", 0, kNone},
    {0x920C, 0, 34665, 1, "SpatialFrequencyResponse", "", "", "", 0, kNone},
    {0x920D, 0, 34665, 1, "Noise", "", "", "", 0, kNone},
    {0x920E, 0, 34665, 1, "FocalPlaneXResolution", "", "", "%f", 0, kNone},
    {0x920F, 0, 34665, 1, "FocalPlaneYResolution", "", "", "%f", 0, kNone},
    {0x9210, 0, 34665, 1, "FocalPlaneResolutionUnit", "", "1:None specified,2:inches,3:cm", "", 0, kNone},
    {0x9211, kLong, 34665, 1, "ImageNumber", "", "", "", 0, kNone},
    {0x9212, kAscii, 34665, 1, "SecurityClassification", "", "", "", 0, kNone},
    {0x9213, kAscii, 34665, 1, "ImageHistory", "", "", "", 0, kNone},
    {0x9214, kShort, 34665, 2, "SubjectLocation", "", "", "", 0, kNone},
    {0x9215, 0, 34665, 1, "ExposureIndex", "", "", "", 0, kNone},
    {0x9216, 0, 34665, 1, "TIFF/EPStandardID", "TIFF/EPStandardID", "", "", 0, kNone},
    {0x9217, 0, 34665, 1, "SensingMethod", "", "", "", 0, kNone},
    {0x923F, 0, 34665, 1, "StoNits", "", "", "", 0, kNone},
    {0x927C, kUndefined, 34665, 1, "MakerNote", "", "", "", 0, kNone},
    {0x9286, kUndefined, 34665, 1, "UserComment", "", "", "", 0, kNone},
    {0x9290, kAscii, 34665, 1, "SubSecTime", "", "", "", 0, kNone},
    {0x9291, kAscii, 34665, 1, "SubSecTimeOriginal", "", "", "", 0, kNone},
    {0x9292, kAscii, 34665, 1, "SubSecTimeDigitized", "", "", "", 0, kNone},
    {0x953C, 0, 0, 1, "ImageSourceData", "", "", "", 0, kNone},
    {0x9C9B, 0, 0, 1, "Title", "", "", "", 0, kXpText},
    {0x9C9C, 0, 0, 1, "Comments", "", "", "", 0, kXpText},
    {0x9C9D, 0, 0, 1, "Author", "", "", "", 0, kXpText},
    {0x9C9E, 0, 0, 1, "Keywords", "", "", "", 0, kXpText},
    {0x9C9F, 0, 0, 1, "Subject", "", "", "", 0, kXpText},
    {0xA000, 0, 34665, 1, "FlashPixVersion", "", "", "", 0, kNone},
    {0xA001, kShort, 34665, 1, "ColorSpace", "", "0:sBW,1:sRGB", "", 0, kNone},
    {0xA002, kShort, 34665, 1, "ExifImageWidth", "", "", "", 0, kNone},
    {0xA003, kShort, 34665, 1, "ExifImageLength", "", "", "", 0, kNone},
    {0xA004, kAscii, 34665, 1, "RelatedSoundFile", "", "", "", 0, kNone},
    {0xA005, 0, 34665, 1, "InteroperabilityOffset", "", "", "", 0, kNone},
    {0xA20B, kRational, 34665, 1, "FlashEnergy", "", "", "", 0, kNone},
    {0xA20C, 0, 34665, 1, "SpatialFrequencyResponse", "", "", "", 0, kNone},
    {0xA20E, kRational, 34665, 1, "FocalPlaneXResolution", "", "", "%f", 0, kNone},
    {0xA20F, kRational, 34665, 1, "FocalPlaneYResolution", "", "", "%f", 0, kNone},
    {0xA210, kShort, 34665, 1, "FocalPlaneResolutionUnit", "", "1:None specified,2:inches,3:cm", "", 0, kNone},
    {0xA211, 0, 34665, 1, "ImageNumber", "", "", "", 0, kNone},
    {0xA212, 0, 34665, 1, "SecurityClassification", "", "", "", 0, kNone},
    {0xA213, 0, 34665, 1, "ImageHistory", "", "", "", 0, kNone},
    {0xA214, kShort, 34665, 2, "SubjectLocation", "", "", "", 0, kNone},
    {0xA215, kRational, 34665, 1, "ExposureIndex", "", "", "", 0, kNone},
    {0xA216, 0, 34665, 1, "TIFF/EPStandardID", "TIFF/EPStandardID", "", "", 0, kNone},
    {0xA217, kShort, 34665, 1, "SensingMethod", "",
     "0:Unknown,1:Not defined,2:One-chip color area,3:Two-chip color area,4:Three-chip color area,5:Color sequential "
     "area,7:Trilinear,8:Color-sequential linear",
     "", 0, kNone},
    {0xA300, kByte, 34665, 1, "FileSource", "", "0:Unknown,1:Film scanner,2:Reflection print scanner,3:Digital camera",
     "", 0, kNone},
    {0xA301, kUndefined, 34665, 1, "SceneType", "", "0:Unknown,1:Directly Photographed", "", 0, kNone},
    {0xA302, kUndefined, 34665, 1, "CFAPattern", "", "", "", 0, kNone},
    {0xA401, kShort, 34665, 1, "CustomRendered", "", "0:Normal,1:Custom", "", 0, kNone},
    {0xA402, kShort, 34665, 1, "ExposureMode", "", "0:Auto,1:Manual,2:Auto bracket", "", 0, kNone},
    {0xA403, kShort, 34665, 1, "WhiteBalance", "", "0:Auto,1:Manual", "", 0, kNone},
    {0xA404, kRational, 34665, 1, "DigitalZoomRatio", "", "", "", 0, kNone},
    {0xA405, kShort, 34665, 1, "FocalLengthIn35mmFilm", "Focal Length in 35mm Film", "", "%.1f mm", 0, kNone},
    {0xA406, kShort, 34665, 1, "SceneCaptureType", "", "0:Standard,1:Landscape,2:Portrait,3:Night scene", "", 0, kNone},
    {0xA407, kShort, 34665, 1, "GainControl", "",
     "0:None,1:Low gain up,2:High gain up,3:Low gain down,4:High gain down", "", 0, kNone},
    {0xA408, kShort, 34665, 1, "Contrast", "", "0:Normal,1:Soft,2:Hard", "", 0, kNone},
    {0xA409, kShort, 34665, 1, "Saturation", "", "0:Normal,1:Low,2:High", "", 0, kNone},
    {0xA40A, kShort, 34665, 1, "Sharpness", "", "0:Normal,1:Soft,2:Hard", "", 0, kNone},
    {0xA40B, 0, 34665, 1, "DeviceSettingDescription", "", "", "", 0, kNone},
    {0xA40C, kShort, 34665, 1, "SubjectDistanceRange", "", "0:Unknown,1:Macro,2:Close view,3:Distant view", "", 0,
     kNone},
    {0xA420, kAscii, 34665, 1, "ImageUniqueID", "", "0:Close view,1:Distant view", "", 0, kNone},
    {0x0000, 0, 0, 1, "Unknown", "", "", "", 0, kNone},
};
static_assert(std::size(kMainTable) == 251);

constexpr TagRow kGpsTable[] = {
    {0x0000, kByte, 34853, 4, "GPSVersionID", "", "", "", 0, kGpsVersion},
    {0x0001, kAscii, 34853, 2, "GPSLatitudeRef", "", "", "", 0, kNone},
    {0x0002, kRational, 34853, 3, "GPSLatitude", "", "", "", 0, kGpsCoordinate},
    {0x0003, kAscii, 34853, 2, "GPSLongitudeRef", "", "", "", 0, kNone},
    {0x0004, kRational, 34853, 3, "GPSLongitude", "", "", "", 0, kGpsCoordinate},
    {0x0005, kByte, 34853, 1, "GPSAltitudeRef", "", "", "", 0, kNone},
    {0x0006, kRational, 34853, 1, "GPSAltitude", "", "", "", 0, kGpsAltitude},
    {0x0007, kRational, 34853, 3, "GPSTimeStamp", "", "", "", 0, kGpsTimeStamp},
    {0x0008, kAscii, 34853, 1, "GPSSatellites", "", "", "", 0, kNone},
    {0x0009, kAscii, 34853, 2, "GPSStatus", "", "", "", 0, kNone},
    {0x000A, kAscii, 34853, 2, "GPSMeasureMode", "", "", "", 0, kNone},
    {0x000B, kRational, 34853, 1, "GPSDOP", "", "", "", 0, kNone},
    {0x000C, kAscii, 34853, 2, "GPSSpeedRef", "", "", "", 0, kNone},
    {0x000D, kRational, 34853, 1, "GPSSpeed", "", "", "", 0, kNone},
    {0x000E, kAscii, 34853, 2, "GPSTrackRef", "", "", "", 0, kNone},
    {0x000F, kRational, 34853, 1, "GPSTrack", "", "", "", 0, kNone},
    {0x0010, kAscii, 34853, 2, "GPSImageDirectionRef", "", "", "", 0, kNone},
    {0x0011, kRational, 34853, 1, "GPSImageDirection", "", "", "", 0, kNone},
    {0x0012, kAscii, 34853, 1, "GPSMapDatum", "", "", "", 0, kNone},
    {0x0013, kAscii, 34853, 2, "GPSDestLatitudeRef", "", "", "", 0, kNone},
    {0x0014, kRational, 34853, 3, "GPSDestLatitude", "", "", "", 0, kGpsCoordinate},
    {0x0015, kAscii, 34853, 2, "GPSDestLongitudeRef", "", "", "", 0, kNone},
    {0x0016, kRational, 34853, 3, "GPSDestLongitude", "", "", "", 0, kGpsCoordinate},
    {0x0017, kAscii, 34853, 2, "GPSDestBearingRef", "", "", "", 0, kNone},
    {0x0018, kRational, 34853, 1, "GPSDestBearing", "", "", "", 0, kNone},
    {0x0019, kAscii, 34853, 2, "GPSDestDistanceRef", "", "", "", 0, kNone},
    {0x001A, kRational, 34853, 1, "GPSDestDistance", "", "", "", 0, kNone},
    {0x001B, kUndefined, 34853, 1, "GPSProcessingMode", "", "", "", 0, kNone},
    {0x001C, kUndefined, 34853, 1, "GPSAreaInformation", "", "", "", 0, kNone},
    {0x001D, kAscii, 34853, 7, "GPSDateStamp", "", "", "", 0, kNone},
    {0x001E, kShort, 34853, 1, "GPSDifferential", "", "", "", 0, kNone},
    {0x001F, kRational, 34853, 1, "GPSHPositioningError", "", "", "", 0, kNone},
};
static_assert(std::size(kGpsTable) == 32);

constexpr std::uint16_t M = kParentMakerNote;

// Maker tables are in tag order; the walk never stores the first row of a table, and passes over rows
// named "Skip".
constexpr TagRow kNikonType3[] = {
    {0x0001, 0, M, 1, "FamilyID", "", "", "", 0, kNone},
    {0x0002, 0, M, 1, "ISOSpeed", "", "", "", 0, kNone},
    {0x0003, 0, M, 1, "ColorMode", "", "", "", 0, kNikonColorMode},
    {0x0004, 0, M, 1, "Quality", "", "", "", 0, kNone},
    {0x0005, 0, M, 1, "WhiteBalance", "", "", "", 0, kNone},
    {0x0006, 0, M, 1, "ImageSharpening", "", "", "", 0, kNone},
    {0x0007, 0, M, 1, "FocusMode", "", "", "", 0, kNone},
    {0x0008, 0, M, 1, "FlashSetting", "", "", "", 0, kNone},
    {0x0009, 0, M, 1, "AutoFlashMode", "", "", "", 0, kNone},
    {0x000A, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000B, 0, M, 1, "WhiteBiasValue", "", "", "", 0, kNone},
    {0x000F, 0, M, 1, "DigitalZoom", "", "", "", 0, kNone},
    {0x0010, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0011, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0080, 0, M, 1, "ImageAdjustment", "", "", "", 0, kNone},
    {0x0081, 0, M, 1, "ImageAdjustment", "", "", "", 0, kNone},
    {0x0082, 0, M, 1, "Adapter", "", "", "", 0, kNone},
    {0x0084, 0, M, 1, "LensInformation", "", "", "", 0, kNikonLens},
    {0x0085, 0, M, 1, "ManualFocusDistance", "", "", "", 0, kNone},
    {0x0086, 0, M, 1, "DigitalZoom", "", "", "", 0, kNone},
    {0x0088, 0, M, 1, "FocusArea", "", "", "", 0, kNone},
    {0x0089, 0, M, 1, "Mode", "", "", "", 0, kNone},
    {0x008D, 0, M, 1, "ColorMode", "", "", "", 0, kNikonColorMode},
    {0x008F, 0, M, 1, "SceneMode", "", "", "", 0, kNone},
    {0x0092, 0, M, 1, "HueAdjustment", "", "", "", 0, kNone},
    {0x0094, 0, M, 1, "Saturation", "", "", "", 0, kNone},
    {0x0095, 0, M, 1, "NoiseReduction", "", "", "", 0, kNone},
    {0x0F00, 0, M, 1, "Skip", "", "", "", 0, kNone},
};
static_assert(std::size(kNikonType3) == 28);

constexpr TagRow kNikonType1[] = {
    {0x0002, 0, M, 1, "FamilyID", "", "", "", 0, kNone},
    {0x0003, 0, M, 1, "Quality", "",
     "1:Vga Basic,2:Vga Normal,3:Vga Fine,4:SXGA Basic,5:SXGA Normal,6:SXGA Fine10:2 Mpixel Basic,11:2 Mpixel "
     "Normal,12:2 Mpixel Fine",
     "", 0, kNone},
    {0x0004, 0, M, 1, "ColorMode", "", "1:Color,2:Monochrome", "", 0, kNone},
    {0x0005, 0, M, 1, "ImageAdjustment", "", "0:Normal,1:Bright+,2:Bright-,3:Contrast+,4:Contrast-", "", 0, kNone},
    {0x0006, 0, M, 1, "ISOSpeed", "", "0:ISO80,2:ISO160,4:ISO320,5:ISO100", "", 0, kNone},
    {0x0007, 0, M, 1, "WhiteBalance", "",
     "0:Auto,1:Preset,2:Daylight,3:Incandescense,4:Fluorescence,5:Cloudy,6:SpeedLight", "", 0, kNone},
    {0x0008, 0, M, 1, "Focus", "", "", "", 0, kNone},
    {0x0009, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000A, 0, M, 1, "DigitalZoom", "", "", "", 0, kNone},
    {0x000B, 0, M, 1, "Converter", "", "0:Not used,1:Used", "", 0, kNone},
    {0x0F00, 0, M, 1, "Skip", "", "", "", 0, kNone},
};
static_assert(std::size(kNikonType1) == 11);

constexpr TagRow kOlympus[] = {
    {0x0200, 0, M, 1, "SpecialMode", "", "", "", 0, kNone},
    {0x0201, 0, M, 1, "JpegQual", "", "1:SQ,2:HQ,3:SHQ,4:Raw", "", 0, kNone},
    {0x0202, 0, M, 1, "Macro", "", "0=Normal,1:Macro;", "", 0, kNone},
    {0x0203, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0204, 0, M, 1, "DigiZoom", "", "", "", 0, kNone},
    {0x0205, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0206, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0207, 0, M, 1, "Firmware", "", "", "", 0, kNone},
    {0x0208, 0, M, 1, "PictInfo", "", "", "", 0, kNone},
    {0x0209, 0, M, 1, "CameraID", "", "", "", 0, kNone},
    {0x0F00, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x1004, 0, M, 1, "FlashMode", "", "", "", 0, kNone},
    {0x1006, 0, M, 1, "Bracket", "", "", "", 0, kNone},
    {0x100B, 0, M, 1, "FocusMode", "", "", "", 0, kNone},
    {0x100C, 0, M, 1, "FocusDistance", "", "", "", 0, kNone},
    {0x100D, 0, M, 1, "Zoom", "", "", "", 0, kNone},
    {0x100E, 0, M, 1, "MacroFocus", "", "", "", 0, kNone},
    {0x100F, 0, M, 1, "Sharpness", "", "", "", 0, kNone},
    {0x1011, 0, M, 1, "ColorMatrix", "", "", "", 0, kNone},
    {0x1012, 0, M, 1, "BlackLevel", "", "", "", 0, kNone},
    {0x1015, 0, M, 1, "WhiteBalance", "", "", "", 0, kNone},
    {0x1017, 0, M, 1, "RedBias", "", "", "", 0, kNone},
    {0x1018, 0, M, 1, "BlueBias", "", "", "", 0, kNone},
    {0x101A, 0, M, 1, "SerialNumber", "", "", "", 0, kNone},
    {0x1023, 0, M, 1, "FlashBias", "", "", "", 0, kNone},
    {0x1029, 0, M, 1, "Contrast", "", "", "", 0, kNone},
    {0x102A, 0, M, 1, "SharpnessFactor", "", "", "", 0, kNone},
    {0x102B, 0, M, 1, "ColorControl", "", "", "", 0, kNone},
    {0x102C, 0, M, 1, "ValidBits", "", "", "", 0, kNone},
    {0x102D, 0, M, 1, "Coring", "", "", "", 0, kNone},
    {0x102E, 0, M, 1, "FinalWidth", "", "", "", 0, kNone},
    {0x102F, 0, M, 1, "FinalHeight", "", "", "", 0, kNone},
    {0x1034, 0, M, 1, "CompressionRatio", "", "", "", 0, kNone},
};
static_assert(std::size(kOlympus) == 33);

constexpr TagRow kCasioType1[] = {
    {0x0001, 0, M, 1, "RecordingMode", "", "1:Single Shutter,2:Panorama,3:Night Scene,4:Portrait,5:Landscape", "", 0,
     kNone},
    {0x0002, 0, M, 1, "Quality", "", "1:Economy,2:Normal,3:Fine", "", 0, kNone},
    {0x0003, 0, M, 1, "FocusingMode", "", "2:Macro,3:Auto Focus,4:Manual Focus,5:Infinity", "", 0, kNone},
    {0x0004, 0, M, 1, "FlashMode", "", "1:Auto,2:On,3:Off,4:Red Eye Reduction", "", 0, kNone},
    {0x0005, 0, M, 1, "FlashIntensity", "", "11:Weak,13:Normal,15:Strong", "", 0, kNone},
    {0x0006, 0, M, 1, "ObjectDistance", "", "", "", 0, kNone},
    {0x0007, 0, M, 1, "WhiteBalance", "", "1:Auto,2:Tungsten,3:Daylight,4:Fluorescent,5:Shade,129:Manual", "", 0,
     kNone},
    {0x0008, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0009, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000A, 0, M, 1, "DigitalZoom", "", "65536:Off,65537:2X Digital Zoom", "", 0, kNone},
    {0x000B, 0, M, 1, "Sharpness", "", "0:Normal,1:Soft,2:Hard", "", 0, kNone},
    {0x000C, 0, M, 1, "Contrast", "", "0:Normal,1:Low,2:High", "", 0, kNone},
    {0x000D, 0, M, 1, "Saturation", "", "0:Normal,1:Low,2:High", "", 0, kNone},
    {0x000E, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000F, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0010, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0011, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0012, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0013, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0014, 0, M, 1, "CCDSensitivity", "", "64:Normal,125:+1.0,250:+2.0,244:+3.0,80:Normal,100:High", "", 0, kNone},
    {0x0015, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0016, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0017, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0018, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0019, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x001A, 0, M, 1, "Skip", "", "", "", 0, kNone},
};
static_assert(std::size(kCasioType1) == 26);

constexpr const char* kCasioLevel = "0:-1,1:Normal,2:+1";
constexpr const char* kOffOn = "0:Off,1:On";

constexpr TagRow kCasioType2[] = {
    {0x0002, 0, M, 1, "ThumbnailDimensions", "", "", "", 0, kNone},
    {0x0003, 0, M, 1, "ThumbnailSize", "", "", "", 0, kNone},
    {0x0004, 0, M, 1, "ThumbnailOffset", "", "", "", 0, kNone},
    {0x0008, 0, M, 1, "Quality", "", "1:Fine,2:Super Fine", "", 0, kNone},
    {0x0009, 0, M, 1, "ImageSize", "",
     "0:640 x 480,4:1600 x 1200,5:2048 x 1536,20:2288 x 1712,21:2592 x 1944,22:2304 x 1728,36:3008 x 2008", "", 0,
     kNone},
    {0x000D, 0, M, 1, "FocusMode", "", "0:Normal,1:Macro", "", 0, kNone},
    {0x0014, 0, M, 1, "IsoSensitivity", "", "3:50,4:64,6:100,9:200", "", 0, kNone},
    {0x0019, 0, M, 1, "WhiteBalance", "", "0:Auto,1:Daylight,2:Shade,3:Tungsten,4:Fluorescent,5:Manual", "", 0, kNone},
    {0x001D, 0, M, 1, "FocalLength", "", "", "", 0, kNone},
    {0x001F, 0, M, 1, "Saturation", "", kCasioLevel, "", 0, kNone},
    {0x0020, 0, M, 1, "Contrast", "", kCasioLevel, "", 0, kNone},
    {0x0021, 0, M, 1, "Sharpness", "", kCasioLevel, "", 0, kNone},
    {0x0E00, 0, M, 1, "PIM", "", "", "", 0, kNone},
    {0x2000, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2001, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2002, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2003, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2011, 0, M, 1, "WhiteBalanceBias", "", "", "", 0, kNone},
    {0x2012, 0, M, 1, "WhiteBalance", "", "0:Manual,1:Auto,4:Flash,12:Flash", "", 0, kNone},
    {0x2013, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2021, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2022, 0, M, 1, "ObjectDistance", "", "", "", 0, kNone},
    {0x2023, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2031, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2032, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2033, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x2034, 0, M, 1, "FlashDistance", "", "", "", 0, kNone},
    {0x3000, 0, M, 1, "RecordMode", "", "2:Normal", "", 0, kNone},
    {0x3001, 0, M, 1, "SelfTimer", "", kOffOn, "", 0, kNone},
    {0x3002, 0, M, 1, "Quality", "", "1:Economy,2:Normal,3:Fine", "", 0, kNone},
    {0x3003, 0, M, 1, "FocusMode", "", "1:Fixed,3:Auto Focus,6:Multi-Area Auto Focus", "", 0, kNone},
    {0x3005, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x3006, 0, M, 1, "TimeZone", "", "", "", 0, kNone},
    {0x3007, 0, M, 1, "BestshotMode", "", "", "", 0, kNone},
    {0x3011, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x3012, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x3013, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x3014, 0, M, 1, "CCDSensitivity", "", "", "", 0, kNone},
    {0x3015, 0, M, 1, "ColorMode", "", kOffOn, "", 0, kNone},
    {0x3016, 0, M, 1, "Enhancement", "", kOffOn, "", 0, kNone},
    {0x3017, 0, M, 1, "Filter", "", kOffOn, "", 0, kNone},
    {0x3018, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x3019, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x301A, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x301B, 0, M, 1, "Skip", "", "", "", 0, kNone},
};
static_assert(std::size(kCasioType2) == 45);

constexpr const char* kFujiLevel = "0:Normal,256:High,512:Low";

constexpr TagRow kFujifilm[] = {
    {0x0000, 0, M, 1, "Version", "", "", "", 0, kNone},
    {0x1000, 0, M, 1, "Quality", "", "", "", 0, kNone},
    {0x1001, 0, M, 1, "Sharpness", "", "1:Soft,2:Soft,3:Normal,4:Hard,5:Hard", "", 0, kNone},
    {0x1002, 0, M, 1, "WhiteBalance", "",
     "0:Auto,256:Daylight,512:Cloudy,768:DaylightColor-fluorescence,769:DaywhiteColor-fluorescence,770:White-"
     "fluorescence,1024:Incandenscense,3840:Custom white balance.",
     "", 0, kNone},
    {0x1003, 0, M, 1, "Color", "", kFujiLevel, "", 0, kNone},
    {0x1004, 0, M, 1, "Tone", "", kFujiLevel, "", 0, kNone},
    {0x1010, 0, M, 1, "FlashMode", "", "0:Auto,1:On,2:Off,3:Red-eye reduction", "", 0, kNone},
    {0x1011, 0, M, 1, "FlashStrength", "", "", "", 0, kNone},
    {0x1020, 0, M, 1, "Macro", "", kOffOn, "", 0, kNone},
    {0x1021, 0, M, 1, "Focusmode", "", "0:Auto Focus,1:Manual Focus", "", 0, kNone},
    {0x1030, 0, M, 1, "SlowSync", "", kOffOn, "", 0, kNone},
    {0x1031, 0, M, 1, "PictureMode", "",
     "0:Auto,1:Portrait scene,2:Landscape scene,4:Sports scene,5:Night scene,6:Program AE,256:Aperture prior "
     "AE,512:Shutter prior AE,768:Manual exposure",
     "", 0, kNone},
    {0x1032, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x1100, 0, M, 1, "ContTake/Bracket", "", kOffOn, "", 0, kNone},
    {0x1200, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x1300, 0, M, 1, "BlurWarning", "", "0:No blur warning,1:Blur warning", "", 0, kNone},
    {0x1301, 0, M, 1, "FocusWarning", "", "0:Auto Focus good,1:Out of focus", "", 0, kNone},
    {0x1302, 0, M, 1, "AEWarning", "", "0:AE good,1:Over exposure", "", 0, kNone},
};
static_assert(std::size(kFujifilm) == 18);

constexpr TagRow kCanon[] = {
    {0x0000, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0001, 0, M, 1, "ExposureInfo1", "", "", "", 0, kCanonExposureInfo1},
    {0x0002, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0003, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0004, 0, M, 1, "ExposureInfo2", "", "", "", 0, kCanonExposureInfo2},
    {0x0006, 0, M, 1, "ImageType", "", "", "", 0, kNone},
    {0x0007, 0, M, 1, "FirmwareVersion", "", "", "", 0, kNone},
    {0x0008, 0, M, 1, "ImageNumber", "", "", "", 0, kNone},
    {0x0009, 0, M, 1, "OwnerName", "", "", "", 0, kNone},
    {0x000A, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000B, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000C, 0, M, 1, "CameraSerialNumber", "", "", "", 0, kNone},
    {0x000D, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000E, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x000F, 0, M, 1, "CustomFunctions", "", "", "", 0, kCanonCustomFunctions},
    {0x0010, 0, M, 1, "Skip", "", "", "", 0, kNone},
};
static_assert(std::size(kCanon) == 16);

constexpr TagRow kSeiko[] = {
    {0x0200, 0, M, 1, "Special Mode", "", "", "", 0, kNone}, {0x0201, 0, M, 1, "JpegQuality", "", "", "", 0, kNone},
    {0x0202, 0, M, 1, "Macro", "", "", "", 0, kNone},        {0x0203, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0204, 0, M, 1, "DigiZoom", "", "", "", 0, kNone},     {0x0209, 0, M, 1, "CameraID", "", "", "", 0, kNone},
    {0x020A, 0, M, 1, "Comments", "", "", "", 0, kNone},     {0x020B, 0, M, 1, "Width", "", "", "", 0, kNone},
    {0x020C, 0, M, 1, "Height", "", "", "", 0, kNone},       {0x020D, 0, M, 1, "SoftRelease", "", "", "", 0, kNone},
    {0x0300, 0, M, 1, "??", "", "", "", 0, kNone},           {0x0F00, 0, M, 1, "skip", "", "", "", 0, kNone},
};
static_assert(std::size(kSeiko) == 12);

constexpr TagRow kSanyo[] = {
    {0x0200, 0, M, 1, "Special Mode", "", "", "", 0, kNone}, {0x0201, 0, M, 1, "JpegQuality", "", "", "", 0, kNone},
    {0x0202, 0, M, 1, "Macro", "", "", "", 0, kNone},        {0x0203, 0, M, 1, "Skip", "", "", "", 0, kNone},
    {0x0204, 0, M, 1, "DigiZoom", "", "", "", 0, kNone},     {0x0F00, 0, M, 1, "DataDump", "", "", "", 0, kNone},
};
static_assert(std::size(kSanyo) == 6);

constexpr TagRow kMinolta[] = {
    {0x0000, 0, M, 1, "ModelID", "", "", "", 0, kNone},
    {0x0E00, 0, M, 1, "PIMdata", "", "", "", 0, kNone},
};
static_assert(std::size(kMinolta) == 2);

}  // namespace

std::span<const TagRow> MainTagTable() { return kMainTable; }
std::span<const TagRow> GpsTagTable() { return kGpsTable; }
const TagRow& UnknownTagRow() { return kMainTable[std::size(kMainTable) - 1]; }

std::span<const TagRow> MakerTagTable(MakerTable table) {
  switch (table) {
    case MakerTable::kNikonType3:
      return kNikonType3;
    case MakerTable::kNikonType1:
      return kNikonType1;
    case MakerTable::kOlympus:
      return kOlympus;
    case MakerTable::kCasioType1:
      return kCasioType1;
    case MakerTable::kCasioType2:
      return kCasioType2;
    case MakerTable::kFujifilm:
      return kFujifilm;
    case MakerTable::kCanon:
      return kCanon;
    case MakerTable::kSeiko:
      return kSeiko;
    case MakerTable::kSanyo:
      return kSanyo;
    case MakerTable::kMinolta:
      return kMinolta;
  }
  return {};
}

const TagRow* FindRowByTag(std::span<const TagRow> table, std::uint16_t tag) {
  for (const auto& row : table)
    if (row.tag == tag) return &row;
  return nullptr;
}

const TagRow* FindRowByName(std::span<const TagRow> table, std::string_view name) {
  for (const auto& row : table)
    if (SameText(row.name, name)) return &row;
  return nullptr;
}

std::string DescriptionFromName(std::string_view name) {
  if (name.size() < 3) return std::string(name);
  auto capital = [](char c) { return c >= 'A' && c <= 'Z'; };
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (i > 0 && capital(name[i]) && !capital(name[i - 1]) && name[i - 1] != ' ') out += ' ';
    out += name[i];
  }
  return out;
}

TTagEntry EntryFromRow(const TagRow& row) {
  TTagEntry e;
  e.type = row.type;
  e.tag = row.tag;
  e.parentId = row.parentId;
  e.count = row.count;
  e.name = row.name;
  e.desc = row.desc[0] ? std::string(row.desc) : DescriptionFromName(row.name);
  e.code = row.code;
  e.format = row.format;
  e.rawSize = row.rawSize;
  e.formatter = row.formatter;
  return e;
}

}  // namespace velmora
