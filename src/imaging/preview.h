#pragma once

// The list preview's picture: a small upright picture of a file and the size the file states, with
// the text shown under it. No widgets: the window only fits the result into its control.

#include <QImage>
#include <QSize>
#include <QString>
#include <filesystem>

namespace velmora {

struct TPreviewSource {
  QImage Picture;    // what is shown, before fitting into the preview
  QSize StatedSize;  // the picture size the file states, upright
  bool FromThumbnail = false;
};

// Where the small picture comes from: the EXIF thumbnail and the size EXIF states (or, when EXIF
// states none, the frame's), so a camera file is previewed without decoding the whole picture;
// otherwise the whole file, scaled to the preview size while decoding (so a large photo never sits in
// memory whole), with its decoded size. Picture and size are upright, turned by the file's EXIF
// Orientation as viewers show the photo. With convertColours the colours are those the run writes
// ("kolory" = "sRGB"; the thumbnail is taken to share the picture's profile). Throws the decoder's or
// the file system's error.
// box: the preview area in device pixels (160 x 120 as designed; more on a larger window or screen scale).
TPreviewSource LoadPreviewSource(const std::filesystem::path& path, QSize box = QSize(160, 120),
                                 bool convertColours = true);

// The preview's size for a picture: ratio = min(box height / h, box width / w), each side w x ratio and
// h x ratio rounded to nearest with ties to even, never below 1.
QSize PreviewSize(QSize picture, QSize box = QSize(160, 120));

// The picture fitted into the box with the halftone resampler.
QImage PreviewPicture(const QImage& picture, QSize box = QSize(160, 120));

// What follows the file's name under the preview: " (400 x 300)", or " (bez podglądu)" for a file
// that could not be read (an empty size).
QString PreviewSizeText(QSize stated);

}  // namespace velmora
