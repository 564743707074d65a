#include "imaging/colourfast.h"

#include "imaging/colourfast_simd.h"
#include "imaging/resampler.h"

#include <lcms2_plugin.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

namespace velmora {

namespace {

using namespace colourfast;

// The curves of a stage that takes and gives three channels, or null.
cmsToneCurve** curvesOf(const cmsStage* stage) {
  if (stage == nullptr || cmsStageType(stage) != cmsSigCurveSetElemType || cmsStageInputChannels(stage) != 3 ||
      cmsStageOutputChannels(stage) != 3)
    return nullptr;
  const auto* data = static_cast<const _cmsStageToneCurvesData*>(cmsStageData(stage));
  return data != nullptr && data->nCurves == 3 ? data->TheCurves : nullptr;
}

// Input curves, one or more 3 x 3 matrices, output curves: the matrices made one (A x + b) in double,
// as LittleCMS's optimiser joins them; false for any other pipeline.
bool matrixShaper(const cmsPipeline* lut, cmsToneCurve**& input, double (&a)[3][3], double (&b)[3],
                  cmsToneCurve**& output) {
  const cmsStage* stage = cmsPipelineGetPtrToFirstStage(lut);
  input = curvesOf(stage);
  if (input == nullptr) return false;
  for (int i = 0; i < 3; ++i) {
    b[i] = 0;
    for (int j = 0; j < 3; ++j) a[i][j] = i == j;
  }
  int matrices = 0;
  for (stage = cmsStageNext(stage); stage != nullptr && cmsStageType(stage) == cmsSigMatrixElemType;
       stage = cmsStageNext(stage), ++matrices) {
    if (cmsStageInputChannels(stage) != 3 || cmsStageOutputChannels(stage) != 3) return false;
    const auto* m = static_cast<const _cmsStageMatrixData*>(cmsStageData(stage));
    double na[3][3], nb[3];
    for (int i = 0; i < 3; ++i) {
      nb[i] = m->Offset != nullptr ? m->Offset[i] : 0.0;
      for (int j = 0; j < 3; ++j) {
        nb[i] += m->Double[3 * i + j] * b[j];
        na[i][j] = 0;
        for (int k = 0; k < 3; ++k) na[i][j] += m->Double[3 * i + k] * a[k][j];
      }
    }
    std::copy_n(&na[0][0], 9, &a[0][0]);
    std::copy_n(nb, 3, b);
  }
  output = curvesOf(stage);
  return matrices > 0 && output != nullptr && cmsStageNext(stage) == nullptr;
}

std::int32_t toFixed(double v, int bits) { return static_cast<std::int32_t>(std::floor(std::ldexp(v, bits) + 0.5)); }

// False where the curves leave 0..2, an offset 4, or the sums could overflow 32 bits.
bool fill(Tables& t, cmsToneCurve* const* input, const double (&a)[3][3], const double (&b)[3],
          cmsToneCurve* const* output) {
  std::int32_t matrix[3][3], offset[3];
  for (int i = 0; i < 3; ++i) {
    std::int64_t reach = 0;
    for (int j = 0; j < 3; ++j) {
      if (std::abs(a[i][j]) > 64) return false;
      matrix[i][j] = toFixed(a[i][j], kFractionBits);
      reach += std::int64_t{2} * kOne * std::abs(matrix[i][j]);
    }
    if (std::abs(b[i]) > 4) return false;
    offset[i] = toFixed(b[i], 2 * kFractionBits) + (1 << (kFractionBits - 1));
    if (reach + std::abs(std::int64_t{offset[i]}) > INT32_MAX) return false;
  }
  for (int c = 0; c < 3; ++c)
    for (int code = 0; code < 256; ++code) {
      const double y = cmsEvalToneCurveFloat(input[c], static_cast<cmsFloat32Number>(code / 255.0));
      if (!(y >= 0 && y <= 2)) return false;
      auto& row = t.in[static_cast<std::size_t>(c)][static_cast<std::size_t>(code)];
      for (int i = 0; i < 3; ++i)
        row[static_cast<std::size_t>(i)] = matrix[i][c] * toFixed(y, kFractionBits) + (c == 0 ? offset[i] : 0);
      row[3] = 0;
    }
  for (int c = 0; c < 3; ++c) {
    auto& table = t.outTables[static_cast<std::size_t>(c)];
    for (int i = 0; i < kOutputEntries; ++i) {
      const double v = std::clamp<double>(
          cmsEvalToneCurveFloat(output[c], static_cast<cmsFloat32Number>(i / static_cast<double>(kOne))), 0.0, 1.0);
      // To 16 bits and then to 8, rounding each time, as LittleCMS does.
      const auto word = static_cast<std::uint32_t>(std::floor(v * 65535.0 + 0.5));
      table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((word * 65281u + 8388608u) >> 24);
    }
    t.out[c] = table.data();
    for (int k = 0; k < c; ++k)
      if (t.outTables[static_cast<std::size_t>(k)] == table) t.out[c] = t.out[k];
  }
  return true;
}

// A layout known to the compiler (QImage's 32-bit pixels, little- or big-endian) keeps the loop in
// registers; any other is read from the tables.
template <Layout L>
struct Fixed {
  static constexpr int at(int k) { return L.at[k]; }
  static constexpr int step() { return L.step; }
};
struct Given {
  Layout layout;
  int at(int k) const { return layout.at[k]; }
  int step() const { return layout.step; }
};

template <class In, class Out>
void rows(const Tables& t, In in, Out out, const void* input, void* output, cmsUInt32Number width,
          cmsUInt32Number lines, const cmsStride* stride) {
  const auto* inR = t.in[0].data();
  const auto* inG = t.in[1].data();
  const auto* inB = t.in[2].data();
  const std::uint8_t *outR = t.out[0], *outG = t.out[1], *outB = t.out[2];
  const auto clamped = [](std::int32_t v) { return static_cast<std::size_t>(std::clamp(v >> kFractionBits, 0, kOne)); };
  for (cmsUInt32Number y = 0; y < lines; ++y) {
    const std::uint8_t* s = static_cast<const std::uint8_t*>(input) + std::size_t{y} * stride->BytesPerLineIn;
    std::uint8_t* d = static_cast<std::uint8_t*>(output) + std::size_t{y} * stride->BytesPerLineOut;
    // Each pixel is read whole before it is written, so the transform may run in place.
    for (cmsUInt32Number x = 0; x < width; ++x, s += in.step(), d += out.step()) {
      const auto &r = inR[s[in.at(0)]], &g = inG[s[in.at(1)]], &b = inB[s[in.at(2)]];
      const std::size_t lr = clamped(r[0] + g[0] + b[0]);
      const std::size_t lg = clamped(r[1] + g[1] + b[1]);
      const std::size_t lb = clamped(r[2] + g[2] + b[2]);
      d[out.at(0)] = outR[lr];
      d[out.at(1)] = outG[lg];
      d[out.at(2)] = outB[lb];
    }
  }
}

template <Layout L>
void plainRowsAs(const Tables& t, const void* input, void* output, cmsUInt32Number width, cmsUInt32Number lines,
                 const cmsStride* stride) {
  rows(t, Fixed<L>{}, Fixed<L>{}, input, output, width, lines, stride);
}

void plainRows(const Tables& t, const void* input, void* output, cmsUInt32Number width, cmsUInt32Number lines,
               const cmsStride* stride) {
  rows(t, Given{t.source}, Given{t.target}, input, output, width, lines, stride);
}

void evaluate(struct _cmstransform_struct* transform, const void* input, void* output, cmsUInt32Number width,
              cmsUInt32Number lines, const cmsStride* stride) {
  const auto& t = *static_cast<const Tables*>(_cmsGetTransformUserData(transform));
  t.rows(t, input, output, width, lines, stride);
}

void freeTables(cmsContext, void* data) { std::unique_ptr<Tables>(static_cast<Tables*>(data)).reset(); }

template <bool kVector>
cmsBool factory(_cmsTransform2Fn* xform, void** userData, _cmsFreeUserDataFn* freeUserData, cmsPipeline** lut,
                cmsUInt32Number* inputFormat, cmsUInt32Number* outputFormat, cmsUInt32Number* flags) {
  constexpr cmsUInt32Number kNotHere =
      cmsFLAGS_GAMUTCHECK | cmsFLAGS_NULLTRANSFORM | cmsFLAGS_COPY_ALPHA | cmsFLAGS_FORCE_CLUT | cmsFLAGS_NOOPTIMIZE;
  if ((*flags & kNotHere) != 0) return FALSE;
  const std::optional<Layout> source = layoutOf(*inputFormat);
  const std::optional<Layout> target = layoutOf(*outputFormat);
  if (!source || !target) return FALSE;
  cmsToneCurve** input = nullptr;
  cmsToneCurve** output = nullptr;
  double a[3][3], b[3];
  if (!matrixShaper(*lut, input, a, b, output)) return FALSE;
  // LittleCMS is C: nothing may be thrown through it.
  std::unique_ptr<Tables> tables;
  try {
    tables = std::make_unique<Tables>();
  } catch (const std::bad_alloc&) {
    return FALSE;
  }
  if (!fill(*tables, input, a, b, output)) return FALSE;
  tables->source = *source;
  tables->target = *target;
  RowsFn fixed = nullptr;
  if (*source == *target && *source == kBgra) fixed = plainRowsAs<kBgra>;
  if (*source == *target && *source == kArgb) fixed = plainRowsAs<kArgb>;
  if (kVector && fixed)
    if (const RowsFn vector = sseRows(*source)) fixed = vector;
  tables->rows = fixed ? fixed : plainRows;
  *xform = evaluate;
  *userData = tables.release();
  *freeUserData = freeTables;
  // No one-pixel cache: the transform stays read-only, so threads share it.
  *flags |= cmsFLAGS_NOCACHE;
  return TRUE;
}

// Only read by LittleCMS, which copies the factory into the context it is added to.
template <bool kVector>
const cmsPluginTransform kPlugin = {
    .base = {.Magic = cmsPluginMagicNumber,
             .ExpectedVersion = LCMS_VERSION,
             .Type = cmsPluginTransformSig,
             .Next = nullptr},
    .factories = {.xform = factory<kVector>},
};

}  // namespace

bool addFastMatrixShaper(cmsContext context, FastPath path) {
  // The resampler's switch, read the same way.
  const bool vector =
      path == FastPath::kVector ||
      (path == FastPath::kChosen && resamplePathFor(std::getenv("VELMORA_NO_SIMD")) != ResamplePath::kScalar);
  return cmsPluginTHR(context, const_cast<cmsPluginTransform*>(vector ? &kPlugin<true> : &kPlugin<false>)) != FALSE;
}

bool takesFastMatrixShaper(cmsHTRANSFORM transform) {
  // LittleCMS's own transforms have no user data.
  return transform != nullptr && _cmsGetTransformUserData(static_cast<struct _cmstransform_struct*>(transform));
}

}  // namespace velmora
