#pragma once

// A faster evaluator for the colour step's common case, added to a LittleCMS context as a transform
// plugin: Debian 12's LittleCMS 2.14 comes without its fast-float plugin, and its own 8-bit path for
// two matrix-shaper profiles (Adobe RGB, Display P3, ProPhoto into sRGB) spends ~9 ns a pixel on
// per-pixel unpack and pack calls and a 16-bit evaluation, 8 % of a 24 MP file's time.
//
// It takes only what LittleCMS built as input curves, 3 x 3 matrices (with offsets, black point
// compensation's), output curves, from 8-bit RGB (one pad or alpha byte at most) to 8-bit RGB, and
// evaluates it as LittleCMS's own 8-bit matrix-shaper does: the input curves sampled at the 256 codes
// in 1.14 fixed point, the matrices multiplied into one in 1.14, the output curves sampled at 14 bits
// straight into bytes, in one loop over the rows (SSE2 where there is, colourfast_sse.cpp). Its pixels
// are LittleCMS's to within one code value (the test compares every 8-bit input). With an offset
// (black point compensation from a profile whose black is lifted) LittleCMS's own 8-bit path is a 3D
// table, up to 20 code values off in the shadows; this one stays within one of LittleCMS's floating
// point evaluation of the pipeline. Everything else LittleCMS transforms as before. The pad or alpha
// byte is left as it is. The plugin keeps nothing but each transform's own read-only tables.

#include <lcms2.h>

namespace velmora {

// kChosen: the vector loop unless the environment sets VELMORA_NO_SIMD (as for the resampler).
enum class FastPath { kChosen, kPlain, kVector };

// Transforms made on `context` afterwards take the fast path where it applies. False if LittleCMS
// refused the plugin.
bool addFastMatrixShaper(cmsContext context, FastPath path = FastPath::kChosen);

// Whether `transform`, made on a context that has no plugin but this one, takes the fast path.
bool takesFastMatrixShaper(cmsHTRANSFORM transform);

}  // namespace velmora
