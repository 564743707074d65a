#pragma once

// The whole metadata read path run over one input, as the fuzz target and its regression test use it:
// the JPEG segment scan, the EXIF directories, the maker notes, the IPTC records, the getters and set
// operation, the JSON dump, the ICC profile's reassembly and IFD0's Orientation. Only the library's
// own exception types are caught, so any other exception is reported as a failure.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include <stdexcept>

#include "base/bytes.h"
#include "metadata/exifedit.h"
#include "metadata/iccprofile.h"
#include "metadata/jpegsegments.h"
#include "metadata/metadata_dump.h"

namespace velmora::fuzz {

template <typename F>
inline void Guarded(F&& f) {
  try {
    f();
  } catch (const EMetadata&) {
  } catch (const ByteRangeError&) {
  }
}

inline void Exercise(TImgData& img) {
  (void)img.HasMetadata();
  (void)img.ThumbnailAsJpeg();
  (void)DumpMetadataJson(img, true);
  if (!img.exifInfo) return;
  TImageInfo& info = *img.exifInfo;
  for (const char* name : {"Make", "Model", "ExposureTime", "FNumber", "Flash", "UserComment", "GPSLatitude",
                           "ExifVersion", "ShutterSpeedValue", "Orientation", "Keywords"}) {
    Guarded([&] { (void)info.GetTagValue(name); });
    Guarded([&] { (void)info.GetTagText(name); });
    (void)info.GetTagNumber(name);
    (void)info.GetTagFloat(name);
  }
  (void)info.GetImageWidth();
  (void)info.GetImageHeight();
  Guarded([&] { (void)info.GetUserComment(); });
  // The writer's edits, on its own copy.
  TExifEdit edit(info);
  Guarded([&] { edit.SetTagValue("ImageWidth", std::int64_t{640}, SetIn::kMainOrGpsTable); });
  Guarded([&] { edit.SetTagValue("ExposureTime", std::string("1/250"), SetIn::kMainOrGpsTable); });
  Guarded([&] { edit.SetTagValue("GPSLatitude", std::vector<TagScalar>{50.0, 3.0, 12.34}, SetIn::kMainOrGpsTable); });
  Guarded([&] { edit.SetTagValue("Compression", std::int64_t{6}, SetIn::kThumbnail); });
}

inline void RunMetadataReadPath(const std::uint8_t* data, std::size_t size) {
  const ByteView input(std::span<const std::uint8_t>(data, size));

  // As a JPEG file, read for the save with metadata and for the plain save.
  for (const int parts : {kPartsAll | kPartIcc | kPartOrientation, kPartIcc | kPartOrientation}) {
    TImgData img;
    Guarded([&] { img.ScanJpegSegments(input, parts); });
    (void)img.Orientation();
    (void)img.CarriedIccProfile();
    Exercise(img);
  }
  (void)ReadExifOrientation(input);
  // As the data of APP2 segments one after the other, each led by its length field as in a file. A
  // profile put together is written again and must read back the same.
  {
    TIccChunks chunks;
    for (std::size_t pos = 0; input.has(pos, 2);) {
      const std::size_t length = std::max<std::size_t>(*input.u16(pos, true), 2);
      chunks.Add(input.bytesUpTo(pos, length));
      pos += length;
    }
    if (const auto profile = chunks.Assemble()) {
      (void)IsRgbProfile(*profile);
      ByteWriter segments;
      if (WriteIccSegments(segments, *profile)) {
        TIccChunks again;
        const ByteView written(segments.data());
        for (std::size_t pos = 0; written.has(pos, 4); pos += 2 + *written.u16(pos + 2, true))
          again.Add(written.bytesUpTo(pos + 2, *written.u16(pos + 2, true)));
        if (again.Assemble() != profile) throw std::logic_error("ICC profile written does not read back");
      }
    }
  }
  // As the TIFF structure of an EXIF APP1 block, which reaches the directory walk directly.
  if (size <= 65533 - 6) {
    TImgData img;
    JpegSection s;
    s.marker = 0xE1;
    s.size = static_cast<int>(size + 8);
    s.data = {static_cast<std::uint8_t>(s.size >> 8), static_cast<std::uint8_t>(s.size), 'E', 'x', 'i', 'f', 0, 0};
    s.data.insert(s.data.end(), data, data + size);
    img.sections.push_back(std::move(s));
    img.exifSection = 0;
    img.buffer = img.sections[0].data;
    Guarded([&] { img.DecodeExifSection(); });
    Exercise(img);
  }
  // As a TIFF file.
  {
    TImgData img;
    Guarded([&] { img.ScanTiffStream(input); });
    Exercise(img);
  }
  // As an APP13 segment.
  {
    TIPTCdata iptc;
    Guarded([&] { iptc.ParseApp13(input); });
  }
}

}  // namespace velmora::fuzz
