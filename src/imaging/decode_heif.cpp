// HEIF/HEIC through libheif: the primary picture with the container's crop, rotation and mirroring
// applied (so its EXIF Orientation is not applied again), its Exif and XMP items, and its colour
// profile: the ICC one, or one made with LittleCMS from the nclx primaries that phones write instead.

#include <lcms2.h>
#include <libheif/heif.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/formatdecoders.h"

namespace velmora {

namespace {

// The widest side libheif will decode: the pixel limit decides the rest.
constexpr int kMaxSide = 1 << 16;

struct ContextDeleter {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageDeleter {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;

[[noreturn]] void fail(const heif_error& e) {
  throw ImagingError(std::string("Nie mogę odczytać obrazu HEIF: ") + (e.message ? e.message : "błąd dekodera"));
}
void check(const heif_error& e) {
  if (e.code != heif_error_Ok) fail(e);
}

struct Context {
  std::unique_ptr<heif_context, ContextDeleter> ctx{heif_context_alloc()};
  Handle primary;

  explicit Context(ByteView file) {
    if (!ctx) throw ImagingError("Brak pamięci na dekoder HEIF");
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxSide);
    // The run has its own workers: libheif decodes on the calling thread.
    heif_context_set_max_decoding_threads(ctx.get(), 0);
    check(heif_context_read_from_memory_without_copy(ctx.get(), file.span().data(), file.size(), nullptr));
    heif_image_handle* h = nullptr;
    check(heif_context_get_primary_image_handle(ctx.get(), &h));
    primary.reset(h);
  }
};

QImage decodeHandle(heif_image_handle* handle, const DecodeLimits& limits) {
  const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
  const std::uint64_t pixels = std::uint64_t(std::max(width, 0)) * std::uint64_t(std::max(height, 0));
  // libheif's planes (the coded YCbCr and the RGBA it converts to) beside the result.
  QImage picture = allocatePicture(width, height, limits, pixels * 6);
  const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  options->convert_hdr_to_8bit = 1;
  heif_image* decoded = nullptr;
  check(heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get()));
  const std::unique_ptr<heif_image, ImageDeleter> image(decoded);
  int stride = 0;
  const std::uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (!plane || heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
      heif_image_get_height(image.get(), heif_channel_interleaved) != height)
    throw ImagingError("Nie mogę odczytać obrazu HEIF: niezgodny rozmiar obrazu");
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* in = plane + std::ptrdiff_t(y) * stride;
    std::uint8_t* out = picture.scanLine(y);
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = in[3];
    }
    composeOverWhite(picture.scanLine(y), width);
  }
  return picture;
}

Bytes metadataItem(heif_image_handle* handle, const char* type, std::string_view contentType) {
  std::array<heif_item_id, 16> ids{};
  const int n = heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), int(ids.size()));
  for (int i = 0; i < n; ++i) {
    const char* content = heif_image_handle_get_metadata_content_type(handle, ids[i]);
    if (!contentType.empty() && (!content || contentType != content)) continue;
    Bytes data(heif_image_handle_get_metadata_size(handle, ids[i]));
    if (heif_image_handle_get_metadata(handle, ids[i], data.data()).code != heif_error_Ok) continue;
    return data;
  }
  return {};
}

// The Exif item: a 32-bit offset to the TIFF header, then (after any prefix) the TIFF structure.
Bytes exifOf(heif_image_handle* handle) {
  const Bytes item = metadataItem(handle, "Exif", {});
  const ByteView view(item);
  const std::optional<std::uint32_t> skip = view.u32(0, true);
  if (!skip || *skip > item.size() - 4) return {};
  return tiffStructure(ByteView(view.bytesUpTo(4 + *skip, item.size())));
}

struct Primaries {
  heif_color_primaries code;
  cmsCIExyYTRIPLE xy;
  cmsCIExyY white;
};
constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
const std::array kPrimaries{
    Primaries{heif_color_primaries_SMPTE_EG_432_1, {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, kD65},
    Primaries{heif_color_primaries_ITU_R_BT_2020_2_and_2100_0,
              {{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}},
              kD65},
    Primaries{heif_color_primaries_SMPTE_RP_431_2,
              {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
              {0.314, 0.351, 1}},
};

// An ICC profile for nclx primaries other than sRGB's with the sRGB (or BT.709) tone curve; nothing
// for sRGB itself and for what no profile of this kind describes (HDR curves).
Bytes profileOfNclx(heif_image_handle* handle) {
  heif_color_profile_nclx* nclx = nullptr;
  if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx) return {};
  const heif_color_primaries code = nclx->color_primaries;
  const heif_transfer_characteristics transfer = nclx->transfer_characteristics;
  heif_nclx_color_profile_free(nclx);
  const Primaries* primaries = nullptr;
  for (const Primaries& p : kPrimaries)
    if (p.code == code) primaries = &p;
  const bool srgbCurve = transfer == heif_transfer_characteristic_IEC_61966_2_1 ||
                         transfer == heif_transfer_characteristic_ITU_R_BT_709_5 ||
                         transfer == heif_transfer_characteristic_ITU_R_BT_601_6 ||
                         transfer == heif_transfer_characteristic_unspecified;
  if (!primaries || !srgbCurve) return {};
  const cmsContext context = cmsCreateContext(nullptr, nullptr);
  if (!context) return {};
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  cmsToneCurve* curve = cmsBuildParametricToneCurve(context, 4, srgb);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = curve ? cmsCreateRGBProfileTHR(context, &primaries->white, &primaries->xy, curves) : nullptr;
  Bytes bytes;
  cmsUInt32Number size = 0;
  if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
    bytes.resize(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
  }
  if (profile) cmsCloseProfile(profile);
  if (curve) cmsFreeToneCurve(curve);
  cmsDeleteContext(context);
  return bytes;
}

Bytes iccOf(heif_image_handle* handle) {
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    Bytes icc(heif_image_handle_get_raw_color_profile_size(handle));
    if (!icc.empty() && heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok) return icc;
    return {};
  }
  return type == heif_color_profile_type_nclx ? profileOfNclx(handle) : Bytes{};
}

SourceMetadata metadataOf(heif_image_handle* primary) {
  SourceMetadata m;
  m.exif = exifOf(primary);
  m.xmp = metadataItem(primary, "mime", "application/rdf+xml");
  m.icc = iccOf(primary);
  m.upright = true;
  return m;
}

DecodedPicture decodeHeif(ByteView file, const DecodeLimits& limits) {
  const Context c(file);
  return {decodeHandle(c.primary.get(), limits), metadataOf(c.primary.get()), {}};
}

std::optional<DecodedPicture> previewHeif(ByteView file) {
  const Context c(file);
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_thumbnail_IDs(c.primary.get(), &id, 1) < 1) return std::nullopt;
  heif_image_handle* h = nullptr;
  if (heif_image_handle_get_thumbnail(c.primary.get(), id, &h).code != heif_error_Ok) return std::nullopt;
  const Handle thumb(h);
  const QSize full(heif_image_handle_get_width(c.primary.get()), heif_image_handle_get_height(c.primary.get()));
  return DecodedPicture{decodeHandle(thumb.get(), {}), metadataOf(c.primary.get()), full};
}

}  // namespace

const FormatDecoder kHeifDecoder{&decodeHeif, &previewHeif};

}  // namespace velmora
