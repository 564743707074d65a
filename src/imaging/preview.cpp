#include "imaging/preview.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "base/fileio.h"
#include "imaging/colour.h"
#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/resampler.h"
#include "imaging/sourceformat.h"
#include "imaging/sourcepicture.h"
#include "metadata/exifreader.h"
#include "metadata/jpegsegments.h"

namespace velmora {

namespace {

// The EXIF thumbnail and the picture size the file states, when it has both; a thumbnail that does
// not decode, or a file that states no size, is previewed from the whole picture instead. Both are as
// stored, not yet turned upright.
bool LoadFromThumbnail(const TImgData& img, TPreviewSource& source) {
  if (!img.HasThumbnail()) return false;
  const auto thumbnail = img.ThumbnailAsJpeg();
  if (!thumbnail) return false;
  QSize stated(static_cast<int>(img.exifInfo->GetImageWidth()), static_cast<int>(img.exifInfo->GetImageHeight()));
  if (stated.width() <= 0 || stated.height() <= 0) stated = QSize(img.imageWidth, img.imageHeight);
  if (stated.isEmpty()) return false;
  try {
    source.Picture = decodeJpeg(*thumbnail);
  } catch (const ImagingError&) {
    return false;
  }
  source.StatedSize = stated;
  source.FromThumbnail = true;
  return true;
}

// A picture of another format: its container's preview (HEIF) or the whole picture, fitted to the box
// and upright (the EXIF Orientation applies where the container has not turned the picture itself).
TPreviewSource LoadOtherPreview(ByteView file, PictureFormat format, QSize box, bool convertColours) {
  std::optional<DecodedPicture> preview = decodeEmbeddedPreview(file, format);
  const DecodedPicture decoded = preview ? std::move(*preview) : decodePicture(file, format);
  std::vector<std::string> dropped;
  TImgData img;
  try {
    img.ScanJpegSegments(jpegHeaderOf(decoded.metadata, dropped), kPartOrientation);
  } catch (const std::exception&) {
    img.Reset();
  }
  const int orientation = decoded.metadata.upright ? kOrientationUpright : img.Orientation();
  TPreviewSource source;
  source.StatedSize = UprightSize(decoded.fullSize, orientation);
  source.FromThumbnail = preview.has_value();
  source.Picture = scaleHalftone(decoded.picture, UprightSize(PreviewSize(source.StatedSize, box), orientation));
  if (convertColours) ColourConversion(StoredColour::kRgb, ByteView(decoded.metadata.icc)).Apply(source.Picture);
  source.Picture = TurnUpright(source.Picture, orientation);
  return source;
}

}  // namespace

TPreviewSource LoadPreviewSource(const std::filesystem::path& path, QSize box, bool convertColours) {
  {
    // The format is told by the first bytes; a JPEG's preview reads only what it needs.
    const PictureFormat format = checkedFormat(path.filename().string(), readFileBytes(path.string(), 16));
    if (format != PictureFormat::kJpeg)
      return LoadOtherPreview(readRegularFile(path, kMaxSourceBytes), format, box, convertColours);
  }
  TPreviewSource source;
  TImgData img;
  try {
    img.ReadJpeg(path.string(), kPartsAll | kPartOrientation | kPartIcc);
  } catch (const std::exception&) {
    img.Reset();  // the whole-file path reports what is wrong with the file
  }
  // Shown as any viewer shows the photo: upright, with its upright size.
  const int orientation = img.Orientation();
  // Read once, when the colours or the whole picture need it.
  Bytes jpeg;
  std::optional<ColourConversion> colour;
  if (convertColours) {
    jpeg = readRegularFile(path, kMaxSourceBytes);
    try {
      const StoredColour stored = jpegStoredColour(jpeg);
      colour.emplace(stored, ByteView(img.iccProfile));
      // A thumbnail is YCbCr whatever the picture: only an RGB picture's profile is known to fit it.
      if (colour->Converts() && stored != StoredColour::kRgb) img.ClearMetadata();
    } catch (const ImagingError&) {
      // The decode below says what is wrong with the file.
    }
  }
  if (!LoadFromThumbnail(img, source)) {
    if (jpeg.empty()) jpeg = readRegularFile(path, kMaxSourceBytes);
    source.Picture = decodeJpegScaled(
        jpeg,
        [&source, orientation, box](QSize full) {
          source.StatedSize = full;
          return UprightSize(PreviewSize(UprightSize(full, orientation), box), orientation);
        },
        kMaxPixels, {}, colour && colour->NeedsStoredInks());
  }
  if (colour) colour->Apply(source.Picture);
  source.Picture = TurnUpright(source.Picture, orientation);
  source.StatedSize = UprightSize(source.StatedSize, orientation);
  return source;
}

QSize PreviewSize(QSize picture, QSize box) {
  if (picture.isEmpty() || box.isEmpty()) return {};
  const double ratio = std::min(static_cast<double>(box.height()) / picture.height(),
                                static_cast<double>(box.width()) / picture.width());
  // nearbyint rounds in the current mode: to nearest, ties to even.
  auto side = [ratio](int n) { return std::max(1, static_cast<int>(std::nearbyint(n * ratio))); };
  return {side(picture.width()), side(picture.height())};
}

QImage PreviewPicture(const QImage& picture, QSize box) {
  return scaleHalftone(picture, PreviewSize(picture.size(), box));
}

QString PreviewSizeText(QSize stated) {
  if (stated.isEmpty()) return QStringLiteral(" (bez podglądu)");
  return QStringLiteral(" (%1 x %2)").arg(stated.width()).arg(stated.height());
}

}  // namespace velmora
