// The lane kernel's steps on x86-64 processors with AVX-512: a step's 32
// cells are two 16-lane vectors, the first holding groups 0 and 1, the
// second groups 2 and 3, so a step takes half the instructions of the AVX2
// kernel's four 8-lane vectors. The cells are laid out as for every lane
// kernel, so the AVX2 transfers move them.
//
// The neighbours' sums run for whole steps: the three steps above each
// row's cell (final) and the three below (untouched) as two vectors each.
// Row r's row above lies one group back in the same lane, but for group 0,
// whose row above is group 3's lane before (the band's row above in lane 0);
// and the row below one group on, but for group 3, whose row below is group
// 0's lane after (the band's row below in the last lane). So the first
// vector's rows above and the second's rows below are each one permutation
// of the two vectors, and the others the two vectors' middle, groups 1 and
// 2. The means are computed as in the AVX2 kernel (the same add and fused
// multiply-add with 2^23, rounded down, here by the instruction's own
// rounding), so they are the same bits.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "processing/smoothing_lanes.h"

#define QUILLORN_AVX512_TARGET QUILLORN_TARGET("avx512f")
#if defined(__GNUC__)
#define QUILLORN_AVX512_INLINE \
  inline __attribute__((always_inline)) QUILLORN_AVX512_TARGET
#else
#define QUILLORN_AVX512_INLINE inline
#endif

namespace {

static_assert(kLaneRows == 32 && kLaneWidth == 8 && kLaneSkew == 4,
              "two 16-lane vectors a step, groups of eight lanes");

constexpr ptrdiff_t kStep = kLaneRows;
// The row above a cell's column is kLaneSkew steps back, the row below as
// many ahead.
constexpr ptrdiff_t kAhead = ptrdiff_t{kLaneSkew} * kLaneRows;

// Eight cells sum to the heights' sum plus 8 x kLaneZero; the steps take
// the heights' sum less 2^23.
constexpr int32_t kSumOffset = static_cast<int32_t>(
    0u - 8u * static_cast<uint32_t>(kLaneZero) - (1u << 23));

QUILLORN_AVX512_INLINE __m512i load(const int32_t* cells) {
  return _mm512_loadu_si512(cells);
}

// Three steps' cells summed, from the one at cells on.
QUILLORN_AVX512_INLINE __m512i threeSteps(const int32_t* cells) {
  return _mm512_add_epi32(_mm512_add_epi32(load(cells), load(cells + kStep)),
                          load(cells + 2 * kStep));
}

// The first vector's rows above: group 3's lanes one lane on (lane 0 takes
// the band's row above), then group 0's. The second's rows below: group 3's,
// then group 0's one lane back (the last lane takes the band's row below).
// Groups 1 and 2, the middle of the two vectors, are the others.
QUILLORN_AVX512_INLINE __m512i aboveFirst(__m512i low, __m512i high,
                                          uint32_t above) {
  const __m512i index =
      _mm512_set_epi32(7, 6, 5, 4, 3, 2, 1, 0, 30, 29, 28, 27, 26, 25, 24, 0);
  return _mm512_mask_set1_epi32(_mm512_permutex2var_epi32(low, index, high),
                                0x0001, static_cast<int32_t>(above));
}
QUILLORN_AVX512_INLINE __m512i belowSecond(__m512i low, __m512i high,
                                           uint32_t below) {
  const __m512i index =
      _mm512_set_epi32(0, 7, 6, 5, 4, 3, 2, 1, 31, 30, 29, 28, 27, 26, 25, 24);
  return _mm512_mask_set1_epi32(_mm512_permutex2var_epi32(low, index, high),
                                static_cast<__mmask16>(0x8000),
                                static_cast<int32_t>(below));
}
// (The zero-masked forms, with every lane kept, are the same instructions;
// GCC 12's plain forms start from an undefined vector it then warns about.)
constexpr __mmask16 kAllLanes = 0xFFFF;

QUILLORN_AVX512_INLINE __m512i middle(__m512i low, __m512i high) {
  return _mm512_maskz_alignr_epi32(kAllLanes, high, low, 8);
}

// The mean of each lane's left neighbour (the chain, 2^23 + h as a float)
// and its other eight cells (sum, their heights less 2^23): exact add, then
// the fused multiply-add with 2^23 rounded down, which divides and floors.
QUILLORN_AVX512_INLINE __m512 mean(__m512 chain, __m512i sum,
                                   __m512 multiplier) {
  __m512 x = _mm512_add_ps(chain, _mm512_maskz_cvtepi32_ps(kAllLanes, sum));
  return _mm512_fmadd_round_ps(x, multiplier, _mm512_set1_ps(8388608.0f),
                               _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
}

QUILLORN_AVX512_INLINE int32_t lastLane(__m512i v) {
  return _mm_extract_epi32(_mm512_maskz_extracti32x4_epi32(0xF, v, 3), 3);
}

uint32_t cellSum(int32_t a, int32_t b) {
  return static_cast<uint32_t>(a) + static_cast<uint32_t>(b);
}

// With kShared, every lane of every step divides by the first multiplier.
template <bool kTrack, bool kShared>
QUILLORN_NOINLINE QUILLORN_AVX512_TARGET bool runSteps(const LaneSteps& steps,
                                                       int32_t from,
                                                       int32_t to) {
  int32_t* cells = steps.cells + ptrdiff_t{from} * kStep;
  const __m512i offset = _mm512_set1_epi32(kSumOffset);
  // Running sums of the three steps above (final) and below (untouched) of
  // every cell, low and high vectors.
  __m512i upLow = threeSteps(cells - kAhead - kStep);
  __m512i upHigh = threeSteps(cells - kAhead - kStep + 16);
  __m512i downLow = threeSteps(cells + kAhead - kStep);
  __m512i downHigh = threeSteps(cells + kAhead - kStep + 16);
  __m512i ownLow = load(cells);
  __m512i ownHigh = load(cells + 16);
  __m512 chainLow = _mm512_castsi512_ps(load(steps.left));
  __m512 chainHigh = _mm512_castsi512_ps(load(steps.left + 16));
  __m512i differs = _mm512_setzero_si512();
  const float* multiplier = steps.multiplier;
  const size_t multiplierStride = kShared ? 0 : steps.multiplierStride;
  // Runs of no steps may point past the multipliers: read them only when
  // shared, where the one step they describe is there.
  const __m512 shared =
      kShared ? _mm512_set1_ps(multiplier[0]) : _mm512_setzero_ps();
  const int32_t* aboveRow = steps.above;
  const int32_t* belowRow = steps.below;
  uint32_t above = cellSum(aboveRow[from - 1], aboveRow[from]);
  uint32_t below = cellSum(belowRow[from - 1], belowRow[from]);
  for (int32_t step = from; step < to; ++step) {
    above += static_cast<uint32_t>(aboveRow[step + 1]);
    below += static_cast<uint32_t>(belowRow[step + 1]);
    __m512i rightLow = load(cells + kStep);
    __m512i rightHigh = load(cells + kStep + 16);
    __m512i sumLow = _mm512_add_epi32(
        _mm512_add_epi32(offset, _mm512_add_epi32(ownLow, rightLow)),
        _mm512_add_epi32(aboveFirst(upLow, upHigh, above),
                         middle(downLow, downHigh)));
    __m512i sumHigh = _mm512_add_epi32(
        _mm512_add_epi32(offset, _mm512_add_epi32(ownHigh, rightHigh)),
        _mm512_add_epi32(middle(upLow, upHigh),
                         belowSecond(downLow, downHigh, below)));
    __m512 multiplierLow = kShared ? shared : _mm512_loadu_ps(multiplier);
    __m512 multiplierHigh = kShared ? shared : _mm512_loadu_ps(multiplier + 16);
    chainLow = mean(chainLow, sumLow, multiplierLow);
    chainHigh = mean(chainHigh, sumHigh, multiplierHigh);
    __m512i valueLow = _mm512_castps_si512(chainLow);
    __m512i valueHigh = _mm512_castps_si512(chainHigh);
    if constexpr (kTrack) {
      differs = _mm512_or_si512(
          differs, _mm512_or_si512(_mm512_xor_si512(valueLow, ownLow),
                                   _mm512_xor_si512(valueHigh, ownHigh)));
    }
    _mm512_storeu_si512(cells, valueLow);
    _mm512_storeu_si512(cells + 16, valueHigh);
    steps.first[step] = _mm512_cvtsi512_si32(valueLow);
    steps.last[step] = lastLane(valueHigh);
    // The next step's sums: the step two on from the rows above in (final
    // now), the one before them out; the same below (untouched).
    const int32_t* upIn = cells - kAhead + 2 * kStep;
    const int32_t* upOut = cells - kAhead - kStep;
    upLow = _mm512_add_epi32(upLow, _mm512_sub_epi32(load(upIn), load(upOut)));
    upHigh = _mm512_add_epi32(
        upHigh, _mm512_sub_epi32(load(upIn + 16), load(upOut + 16)));
    const int32_t* downIn = cells + kAhead + 2 * kStep;
    const int32_t* downOut = cells + kAhead - kStep;
    downLow = _mm512_add_epi32(downLow,
                               _mm512_sub_epi32(load(downIn), load(downOut)));
    downHigh = _mm512_add_epi32(
        downHigh, _mm512_sub_epi32(load(downIn + 16), load(downOut + 16)));
    ownLow = rightLow;
    ownHigh = rightHigh;
    above -= static_cast<uint32_t>(aboveRow[step - 1]);
    below -= static_cast<uint32_t>(belowRow[step - 1]);
    cells += kStep;
    multiplier += multiplierStride;
  }
  _mm512_storeu_si512(steps.left, _mm512_castps_si512(chainLow));
  _mm512_storeu_si512(steps.left + 16, _mm512_castps_si512(chainHigh));
  return kTrack && _mm512_test_epi32_mask(differs, differs) != 0;
}

}  // namespace

QUILLORN_AVX512_TARGET bool runLaneStepsAvx512(const LaneSteps& steps,
                                               int32_t from, int32_t to,
                                               bool track) {
  // Wrapping runs are the rare first steps of a few images: the AVX2
  // kernel's variant takes them.
  if (steps.wrap) return runLaneStepsAvx2(steps, from, to, track);
  bool shared = steps.multiplierStride == 0 && steps.shared;
  if (track) {
    return shared ? runSteps<true, true>(steps, from, to)
                  : runSteps<true, false>(steps, from, to);
  }
  return shared ? runSteps<false, true>(steps, from, to)
                : runSteps<false, false>(steps, from, to);
}

#endif  // QUILLORN_X86_KERNELS
