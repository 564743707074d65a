#include "app/preview.h"

#include <algorithm>
#include <cmath>

#include "app/form1.h"
#include "app/fspath.h"
#include "base/fileio.h"
#include "imaging/jpegcodec.h"
#include "imaging/orientation.h"
#include "imaging/resampler.h"
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

}  // namespace

TPreviewSource LoadPreviewSource(const QString& path, QSize box) { return LoadPreviewSource(ToFsPath(path), box); }

TPreviewSource LoadPreviewSource(const std::filesystem::path& path, QSize box) {
  TPreviewSource source;
  TImgData img;
  try {
    img.ReadJpeg(path.string(), kPartsAll | kPartOrientation);
  } catch (const std::exception&) {
    img.Reset();  // the whole-file path reports what is wrong with the file
  }
  // Shown as any viewer shows the photo: upright, with its upright size.
  const int orientation = img.Orientation();
  if (!LoadFromThumbnail(img, source)) {
    const Bytes jpeg = readRegularFile(path, kMaxSourceBytes);
    source.Picture = decodeJpegScaled(jpeg, [&source, orientation, box](QSize full) {
      source.StatedSize = full;
      return UprightSize(PreviewSize(UprightSize(full, orientation), box), orientation);
    });
  }
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

}  // namespace velmora
