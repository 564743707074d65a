#pragma once

// The list preview: a small picture of the highlighted file and the size the file states.

#include <QImage>
#include <QSize>
#include <QString>

namespace velmora {

struct TPreviewSource {
  QImage Picture;    // what is shown, before fitting into the preview
  QSize StatedSize;  // the picture size the file states
  bool FromThumbnail = false;
};

// The one step that decides where the small picture comes from. For now the whole file is decoded
// (scaled to the preview size while decoding, so a large photo never sits in memory whole) and the
// stated size is the decoded size; with the metadata reader it becomes the EXIF thumbnail and the EXIF
// size when the file has them. Throws the decoder's or the file system's error.
TPreviewSource LoadPreviewSource(const QString& path);

// The preview's size for a picture: ratio = min(120 / h, 160 / w), each side w x ratio and h x ratio
// rounded to nearest with ties to even, never below 1.
QSize PreviewSize(QSize picture);

// The picture fitted into the preview with the halftone resampler.
QImage PreviewPicture(const QImage& picture);

}  // namespace velmora
