#pragma once

// What the resampler shares with its vector code (resampler_sse.cpp, resampler_avx2.cpp): the per-axis
// plan, and the two steps of the 32-bit path that the vector unit does faster. The vector steps give
// exactly the bytes of the plain loops in resampler.cpp, which run wherever a step is missing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velmora::resample {

inline constexpr int kChannels = 4;

// The source pixels one target pixel takes, along one axis: first and last with their own weights and
// every pixel between them with the axis' common middle weight. The weights of a span add up to the
// axis total, so a constant row stays constant.
struct Span {
  int first;
  int last;
  std::uint32_t wFirst;
  std::uint32_t wLast;
};

struct AxisPlan {
  std::vector<Span> spans;
  std::uint32_t wMid = 0;
  std::uint32_t total = 1;
};

// A plan's taps for one vector load each: every target pixel takes perTarget windows of `width`
// neighbouring source pixels (the most any target needs; zero weights pad the rest), so the loop over
// a target's windows has a fixed count. A window that would reach past the row's end moves left.
struct TapWindows {
  int width = 0;
  int perTarget = 0;
  std::vector<std::int32_t> x;        // the first source pixel of each window, target by target
  std::vector<std::int16_t> weights;  // width weights a window, zero for a pixel outside the span
};

// False when a weight does not fit the instructions' signed 16 bits or the row is narrower than a window.
bool layTaps(const AxisPlan& plan, int srcWidth, int width, TapWindows& out);

// One target row of the vertical pass: each lane is (wTop top + wBottom bottom [+ wMid mid] + half) / total,
// rounded down. Mid is null when the span has no middle rows.
struct CombineRows {
  const std::uint32_t* top;
  const std::uint32_t* bottom;
  const std::uint32_t* mid;
  std::uint32_t wTop, wBottom, wMid, half;
  std::uint64_t total;  // at most 2^23, so every sum fits 32 bits
};

// The horizontal pass of one axis plan, its taps laid out once per picture for the vector unit.
class VectorRows {
 public:
  virtual ~VectorRows() = default;
  // Reduces one source row to the target width: kChannels sums a pixel, stored in out or added to it.
  virtual void reduce(const std::uint8_t* src, bool add, std::uint32_t* out) const = 0;
  // The same for the sum of count rows (1 to kHeldRows): what reducing each in turn and adding gives.
  virtual void reduceSum(const std::uint8_t* const* rows, int count, bool add, std::uint32_t* out) const {
    for (int i = 0; i < count; ++i) reduce(rows[i], add || i > 0, out);
  }
  // Whether sweepEnd is there.
  virtual bool fuses() const { return false; }
  // The one sweep that ends a target row: rows[0] to rows[midRows - 1] (at most kHeldRows - 1) are
  // middle rows, their sums joined to those c.mid stores (midStored) or standing alone; rows[midRows]
  // ends the target row and is reduced into `row` (c.bottom). Writes the target row's lanes as the
  // combine step would; c.mid is null when the target row has no middle rows.
  virtual void sweepEnd(const std::uint8_t* const* /*rows*/, int /*midRows*/, bool /*midStored*/,
                        std::uint32_t* /*row*/, const CombineRows& /*c*/, std::uint8_t* /*out*/) const {}
};

// The vector steps of a processor; a null entry is one it lacks.
struct VectorSteps {
  // Null when the plan does not suit (a weight past 16 bits, a row narrower than the taps).
  std::unique_ptr<VectorRows> (*prepareRows)(const AxisPlan& plan, int srcWidth) = nullptr;
  // Writes the first lanes of the row, a multiple of the vector width, and returns how many.
  std::size_t (*combine)(const CombineRows& rows, std::uint8_t* out, std::size_t lanes) = nullptr;
};

// The SSE steps this processor runs (SSSE3 rows, SSE4.1 combine); none off x86-64.
VectorSteps sseSteps();
// The AVX2 steps, when this processor has AVX2; none otherwise.
VectorSteps avx2Steps();
// The AVX-512 (F and BW) steps, when this processor has them; none otherwise.
VectorSteps avx512Steps();

}  // namespace velmora::resample
