// The lane kernel on x86-64 in SSE2, which every such processor has: two
// 4-lane halves per group, each mean the product rounded to single
// precision and truncated.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <emmintrin.h>

#include <cstdint>

#define QUILLORN_LANE_TARGET
#include "processing/smoothing_lanes_kernel.h"

namespace {

struct Sse2Ops {
  struct Vec {
    __m128i low, high;  // lanes 0-3 and 4-7
  };
  using Chain = Vec;

  static Vec load(const int32_t* cells) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + 4))};
  }
  static void store(int32_t* cells, Vec v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cells), v.low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + 4), v.high);
  }
  static Vec add(Vec a, Vec b) {
    return {_mm_add_epi32(a.low, b.low), _mm_add_epi32(a.high, b.high)};
  }
  static Vec sub(Vec a, Vec b) {
    return {_mm_sub_epi32(a.low, b.low), _mm_sub_epi32(a.high, b.high)};
  }
  static Vec zero() { return {_mm_setzero_si128(), _mm_setzero_si128()}; }
  static int32_t first(Vec v) { return _mm_cvtsi128_si32(v.low); }
  static int32_t last(Vec v) {
    return _mm_cvtsi128_si32(_mm_srli_si128(v.high, 12));
  }
  static Vec orDiffer(Vec acc, Vec a, Vec b) {
    return {_mm_or_si128(acc.low, _mm_xor_si128(a.low, b.low)),
            _mm_or_si128(acc.high, _mm_xor_si128(a.high, b.high))};
  }
  static bool any(Vec v) {
    __m128i both = _mm_or_si128(v.low, v.high);
    return _mm_movemask_epi8(_mm_cmpeq_epi32(both, _mm_setzero_si128())) !=
           0xFFFF;
  }
  static Vec shiftInFirst(Vec v, int32_t first) {
    return {_mm_or_si128(_mm_slli_si128(v.low, 4), _mm_cvtsi32_si128(first)),
            _mm_or_si128(_mm_slli_si128(v.high, 4), _mm_srli_si128(v.low, 12))};
  }
  static Vec shiftInLast(Vec v, int32_t last) {
    return {_mm_or_si128(_mm_srli_si128(v.low, 4), _mm_slli_si128(v.high, 12)),
            _mm_or_si128(_mm_srli_si128(v.high, 4),
                         _mm_slli_si128(_mm_cvtsi32_si128(last), 12))};
  }
  // Four 4 x 4 transposes, the off-diagonal ones swapped.
  static void transpose4(__m128i* a, __m128i* b, __m128i* c, __m128i* d) {
    __m128i ab0 = _mm_unpacklo_epi32(*a, *b);
    __m128i ab1 = _mm_unpackhi_epi32(*a, *b);
    __m128i cd0 = _mm_unpacklo_epi32(*c, *d);
    __m128i cd1 = _mm_unpackhi_epi32(*c, *d);
    *a = _mm_unpacklo_epi64(ab0, cd0);
    *b = _mm_unpackhi_epi64(ab0, cd0);
    *c = _mm_unpacklo_epi64(ab1, cd1);
    *d = _mm_unpackhi_epi64(ab1, cd1);
  }
  static void transpose(Vec* v) {
    transpose4(&v[0].low, &v[1].low, &v[2].low, &v[3].low);
    transpose4(&v[4].high, &v[5].high, &v[6].high, &v[7].high);
    transpose4(&v[0].high, &v[1].high, &v[2].high, &v[3].high);
    transpose4(&v[4].low, &v[5].low, &v[6].low, &v[7].low);
    for (int32_t i = 0; i < 4; ++i) {
      __m128i swapped = v[i].high;
      v[i].high = v[i + 4].low;
      v[i + 4].low = swapped;
    }
  }
  // The chain holds cells as they are stored.
  static Chain startChain(const int32_t* cells) { return load(cells); }
  static void storeChain(Chain chain, int32_t* cells) { store(cells, chain); }
  static Vec loadFloats(const float* values) {
    return {_mm_castps_si128(_mm_loadu_ps(values)),
            _mm_castps_si128(_mm_loadu_ps(values + 4))};
  }
  static __m128i mean(__m128i sum, __m128i left, __m128i multiplier) {
    // The heights' sum: sum + 2^23 + (left - kLaneZero).
    __m128i x = _mm_add_epi32(_mm_add_epi32(sum, left),
                              _mm_set1_epi32((1 << 23) - kLaneZero));
    __m128i quotient = _mm_cvttps_epi32(
        _mm_mul_ps(_mm_cvtepi32_ps(x), _mm_castsi128_ps(multiplier)));
    return _mm_add_epi32(quotient, _mm_set1_epi32(kLaneZero));
  }
  static Vec step(Chain* chain, Vec sum, Vec multiplier) {
    chain->low = mean(sum.low, chain->low, multiplier.low);
    chain->high = mean(sum.high, chain->high, multiplier.high);
    return *chain;
  }
  static __m128i wrapTop(__m128i cell) {
    __m128i top = _mm_cmpeq_epi32(cell, _mm_set1_epi32(kLaneTop));
    return _mm_andnot_si128(_mm_and_si128(top, _mm_set1_epi32(kLaneTopBits)),
                            cell);
  }
  static Vec wrapTop(Chain* chain, Vec) {
    chain->low = wrapTop(chain->low);
    chain->high = wrapTop(chain->high);
    return *chain;
  }
};

}  // namespace

QUILLORN_DEFINE_LANE_STEPS(Sse2Ops, Sse2)
QUILLORN_DEFINE_LANE_TRANSPOSES(Sse2Ops, Sse2)

#endif  // QUILLORN_X86_KERNELS
