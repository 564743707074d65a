#include "app/preview.h"

#include <algorithm>
#include <cmath>

#include "app/form1.h"
#include "app/fspath.h"
#include "imaging/jpegcodec.h"
#include "imaging/resampler.h"
#include "metadata/fileio.h"

namespace velmora {

TPreviewSource LoadPreviewSource(const QString& path) {
  TPreviewSource source;
  const Bytes jpeg = readFileBytes(ToFsPath(path));
  source.Picture = decodeJpegScaled(jpeg, [&source](QSize full) {
    source.StatedSize = full;
    return PreviewSize(full);
  });
  return source;
}

QSize PreviewSize(QSize picture) {
  if (picture.isEmpty()) return {};
  const double ratio = std::min(static_cast<double>(kPreviewHeight) / picture.height(),
                                static_cast<double>(kPreviewWidth) / picture.width());
  // nearbyint rounds in the current mode: to nearest, ties to even.
  auto side = [ratio](int n) { return std::max(1, static_cast<int>(std::nearbyint(n * ratio))); };
  return {side(picture.width()), side(picture.height())};
}

QImage PreviewPicture(const QImage& picture) { return scaleHalftone(picture, PreviewSize(picture.size())); }

}  // namespace velmora
