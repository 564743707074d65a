// The colour step's helpers for bench/colour.sh and scripts/make-colour-samples.sh:
//   velmora-bench-colour p3-profile OUT.icc   writes a Display P3 profile (P3 primaries, D65, sRGB's curve)
//   velmora-bench-colour delta-e A.jpg B.jpg  prints the mean and the largest CIEDE2000 difference of two
//                                             sRGB pictures of one size, pixel by pixel
//   velmora-bench-colour versus SRC.jpg REF     the same between SRC as the colour step converts it (by
//                                             its embedded profile, before any encoding) and REF (a JPEG,
//                                             or any picture Qt reads)
//   velmora-bench-colour versus-jpeg SRC.jpg REF.jpg  the same, SRC's converted pixels first encoded
//                                             as jpgicc -q100 encodes (R, G and B as they are, no
//                                             YCbCr, quality 100) and decoded
//   velmora-bench-colour speed SRC.jpg        ns a pixel of the transform alone on SRC's pixels (by its
//                                             embedded profile), LittleCMS's own path and the fast one
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

// After <cstdio>: libjpeg's header needs FILE.
#include <jpeglib.h>
#include <lcms2.h>

#include "imaging/colour.h"
#include "imaging/colourfast.h"
#include "imaging/jpegcodec.h"
#include "base/fileio.h"
#include "metadata/jpegsegments.h"

namespace {

int writeP3(const char* path) {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsMLU* text = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(text, "en", "US", "Display P3");
  cmsWriteTag(profile, cmsSigProfileDescriptionTag, text);
  const bool ok = cmsSaveProfileToFile(profile, path);
  cmsMLUfree(text);
  cmsCloseProfile(profile);
  cmsFreeToneCurve(curve);
  return ok ? 0 : 1;
}

QImage converted(const char* path) {
  const velmora::Bytes jpeg = velmora::readRegularFile(path, velmora::kMaxSourceBytes);
  velmora::TImgData segments;
  segments.ScanJpegSegments(jpeg, velmora::kPartIcc);
  const velmora::ColourConversion colour(velmora::jpegStoredColour(jpeg), segments.iccProfile);
  if (!colour.Converts()) throw std::runtime_error("no conversion: " + colour.Failure());
  QImage picture = velmora::decodeJpegScaled(
      jpeg, [](QSize size) { return size; }, velmora::kMaxPixels, {}, colour.NeedsStoredInks());
  colour.Apply(picture);
  return picture;
}

// jpgicc's own encode: the three channels stored as they are (no YCbCr), quality 100.
QImage throughRgbJpeg(const QImage& picture) {
  jpeg_compress_struct c{};
  jpeg_error_mgr error{};
  c.err = jpeg_std_error(&error);
  jpeg_create_compress(&c);
  unsigned char* bytes = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &bytes, &size);
  c.image_width = static_cast<JDIMENSION>(picture.width());
  c.image_height = static_cast<JDIMENSION>(picture.height());
  c.input_components = 4;
  c.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, JCS_RGB);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    auto* row = const_cast<JSAMPLE*>(picture.constScanLine(static_cast<int>(c.next_scanline)));
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  const velmora::Bytes jpeg(bytes, bytes + size);
  std::free(bytes);
  return velmora::decodeJpeg(jpeg);
}

// The least of 30 rounds, in ns a pixel, of the transform from SRC's profile into sRGB over its pixels
// in place, as the colour step runs it, without and with the fast path.
int speed(const char* path) {
  const velmora::Bytes jpeg = velmora::readRegularFile(path, velmora::kMaxSourceBytes);
  velmora::TImgData segments;
  segments.ScanJpegSegments(jpeg, velmora::kPartIcc);
  const QImage picture = velmora::decodeJpeg(jpeg);
  const auto pixels = static_cast<double>(picture.width()) * picture.height();
  for (const bool fast : {false, true}) {
    cmsContext context = cmsCreateContext(nullptr, nullptr);
    if (fast) velmora::addFastMatrixShaper(context);
    cmsHPROFILE source = cmsOpenProfileFromMemTHR(context, segments.iccProfile.data(),
                                                  static_cast<cmsUInt32Number>(segments.iccProfile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfileTHR(context);
    cmsHTRANSFORM transform =
        cmsCreateTransformTHR(context, source, TYPE_BGRA_8, srgb, TYPE_BGRA_8, INTENT_RELATIVE_COLORIMETRIC,
                              cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
    if (transform == nullptr || velmora::takesFastMatrixShaper(transform) != fast) {
      std::fprintf(stderr, "speed: no such transform for this profile\n");
      return 1;
    }
    double best = 1e30;
    for (int round = 0; round < 30; ++round) {
      QImage copy = picture.copy();
      const auto start = std::chrono::steady_clock::now();
      cmsDoTransformLineStride(transform, copy.bits(), copy.bits(), static_cast<cmsUInt32Number>(copy.width()),
                               static_cast<cmsUInt32Number>(copy.height()),
                               static_cast<cmsUInt32Number>(copy.bytesPerLine()),
                               static_cast<cmsUInt32Number>(copy.bytesPerLine()), 0, 0);
      best = std::min(best, std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%s %.2f ns a pixel (%.2f ms a %dx%d picture)\n", fast ? "fast path:" : "LittleCMS:", best / pixels,
                best / 1e6, picture.width(), picture.height());
    cmsDeleteTransform(transform);
    cmsCloseProfile(source);
    cmsCloseProfile(srgb);
    cmsDeleteContext(context);
  }
  return 0;
}

int deltaE(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) {
    std::fprintf(stderr, "delta-e: sizes differ\n");
    return 1;
  }
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_BGRA_8, lab, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
  const auto width = static_cast<std::size_t>(a.width());
  std::vector<cmsCIELab> la(width), lb(width);
  double sum = 0, worst = 0;
  for (int y = 0; y < a.height(); ++y) {
    cmsDoTransform(toLab, a.constScanLine(y), la.data(), static_cast<cmsUInt32Number>(width));
    cmsDoTransform(toLab, b.constScanLine(y), lb.data(), static_cast<cmsUInt32Number>(width));
    for (std::size_t x = 0; x < width; ++x) {
      const double d = cmsCIE2000DeltaE(&la[x], &lb[x], 1, 1, 1);
      sum += d;
      worst = std::max(worst, d);
    }
  }
  cmsDeleteTransform(toLab);
  cmsCloseProfile(lab);
  cmsCloseProfile(srgb);
  std::printf("%.3f %.3f\n", sum / (static_cast<double>(width) * a.height()), worst);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "p3-profile" && argc == 3) return writeP3(argv[2]);
    if (command == "delta-e" && argc == 4) return deltaE(velmora::loadJpeg(argv[2]), velmora::loadJpeg(argv[3]));
    if (command == "speed" && argc == 3) return speed(argv[2]);
    if (command == "versus-jpeg" && argc == 4)
      return deltaE(throughRgbJpeg(converted(argv[2])), velmora::loadJpeg(argv[3]));
    if (command == "versus" && argc == 4) {
      // A reference that is no JPEG (tificc's output as PPM) is read by Qt.
      const std::string ref = argv[3];
      const bool jpeg = ref.size() > 4 && ref.compare(ref.size() - 4, 4, ".jpg") == 0;
      return deltaE(
          converted(argv[2]),
          jpeg ? velmora::loadJpeg(ref) : QImage(QString::fromStdString(ref)).convertToFormat(QImage::Format_RGB32));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "velmora-bench-colour: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: velmora-bench-colour p3-profile OUT.icc | delta-e A.jpg B.jpg | versus SRC.jpg REF |\n"
               "       versus-jpeg SRC.jpg REF.jpg | speed SRC.jpg\n");
  return 2;
}
