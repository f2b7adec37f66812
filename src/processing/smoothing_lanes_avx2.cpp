// The lane kernel on x86-64 processors with AVX2 and FMA: one 8-lane vector
// per group. The cells' kLaneZero + h are the bits of the float 2^23 + h,
// and the kernel runs rounding toward minus infinity: one exact add takes the
// chain's left neighbour and the other cells' sum (less 2^23) together, and
// one fused multiply-add with 2^23 both divides and floors (floats from 2^23
// to 2^24 are the integers), giving the next cell as it is stored.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <immintrin.h>

#include <cstdint>

#define QUILLORN_LANE_TARGET QUILLORN_TARGET("avx2,fma")
#include "processing/smoothing_lanes_kernel.h"

namespace {

struct Avx2Ops {
  using Vec = __m256i;
  using Chain = __m256;

  QUILLORN_LANE_INLINE static Vec load(const int32_t* cells) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cells));
  }
  QUILLORN_LANE_INLINE static void store(int32_t* cells, Vec v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(cells), v);
  }
  QUILLORN_LANE_INLINE static Vec add(Vec a, Vec b) {
    return _mm256_add_epi32(a, b);
  }
  QUILLORN_LANE_INLINE static Vec sub(Vec a, Vec b) {
    return _mm256_sub_epi32(a, b);
  }
  QUILLORN_LANE_INLINE static Vec zero() { return _mm256_setzero_si256(); }
  QUILLORN_LANE_INLINE static int32_t first(Vec v) {
    return _mm256_cvtsi256_si32(v);
  }
  QUILLORN_LANE_INLINE static int32_t last(Vec v) {
    return _mm256_extract_epi32(v, 7);
  }
  QUILLORN_LANE_INLINE static Vec orDiffer(Vec acc, Vec a, Vec b) {
    return _mm256_or_si256(acc, _mm256_xor_si256(a, b));
  }
  QUILLORN_LANE_INLINE static bool any(Vec v) {
    return !_mm256_testz_si256(v, v);
  }
  // One blend each: the kernel loads the neighbours that cross lanes
  // already shifted, so no permutation is left.
  QUILLORN_LANE_INLINE static Vec setFirst(Vec v, int32_t first) {
    return _mm256_blend_epi32(
        v, _mm256_castsi128_si256(_mm_cvtsi32_si128(first)), 0x01);
  }
  QUILLORN_LANE_INLINE static Vec setLast(Vec v, int32_t last) {
    return _mm256_blend_epi32(v, _mm256_set1_epi32(last), 0x80);
  }
  // Squares of sixteen steps: each half of a vector carries eight steps of
  // a row (or eight lanes of a step) as 16-bit words.
  static constexpr int32_t kSquareSteps = 16;

  // In each half, word k of v[i] swaps with word i of v[k].
  QUILLORN_LANE_INLINE static void transposeWords(Vec* v) {
    Vec a[8];
    for (int i = 0; i < 8; i += 2) {
      a[i] = _mm256_unpacklo_epi16(v[i], v[i + 1]);
      a[i + 1] = _mm256_unpackhi_epi16(v[i], v[i + 1]);
    }
    Vec b[8];
    for (int i = 0; i < 8; i += 4) {
      b[i] = _mm256_unpacklo_epi32(a[i], a[i + 2]);
      b[i + 1] = _mm256_unpackhi_epi32(a[i], a[i + 2]);
      b[i + 2] = _mm256_unpacklo_epi32(a[i + 1], a[i + 3]);
      b[i + 3] = _mm256_unpackhi_epi32(a[i + 1], a[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
      v[2 * i] = _mm256_unpacklo_epi64(b[i], b[i + 4]);
      v[2 * i + 1] = _mm256_unpackhi_epi64(b[i], b[i + 4]);
    }
  }
  QUILLORN_LANE_INLINE static Vec loadBytes(const uint8_t* bytes) {
    return _mm256_cvtepu8_epi16(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
  }
  QUILLORN_LANE_INLINE static void storeHalf(int32_t* cells, __m128i words) {
    store(cells, _mm256_or_si256(_mm256_cvtepu16_epi32(words),
                                 _mm256_set1_epi32(kLaneZero)));
  }
  template <bool kWide>
  QUILLORN_LANE_INLINE static void planesToSquare(uint8_t* const* red,
                                                  uint8_t* const* green,
                                                  int32_t rows,
                                                  int32_t* cells) {
    Vec v[8];
    for (int32_t i = 0; i < 8; ++i) {
      if (i >= rows) {
        v[i] = _mm256_setzero_si256();
        continue;
      }
      Vec low = loadBytes(red[i]);
      Vec high = loadBytes(green[i]);
      v[i] = _mm256_add_epi16(low, _mm256_slli_epi16(high, 8));
      if (!kWide) v[i] = _mm256_sub_epi16(v[i], high);
    }
    transposeWords(v);
    // v[k]: step k's lanes, then step 8 + k's.
    for (int32_t k = 0; k < 8; ++k) {
      storeHalf(cells + k * kLaneRows, _mm256_castsi256_si128(v[k]));
      storeHalf(cells + (8 + k) * kLaneRows, _mm256_extracti128_si256(v[k], 1));
    }
  }
  // Steps k and 8 + k's cells as words, one a half.
  QUILLORN_LANE_INLINE static Vec cellWords(const int32_t* cells) {
    const Vec mask = _mm256_set1_epi32(0xFFFF);
    Vec first = _mm256_and_si256(load(cells), mask);
    Vec second = _mm256_and_si256(load(cells + 8 * kLaneRows), mask);
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(first, second), 0xD8);
  }
  template <bool kWide>
  QUILLORN_LANE_INLINE static void squareToPlanes(const int32_t* cells,
                                                  uint8_t* const* red,
                                                  uint8_t* const* green,
                                                  int32_t rows) {
    Vec v[8];
    for (int32_t k = 0; k < 8; ++k) v[k] = cellWords(cells + k * kLaneRows);
    transposeWords(v);
    // v[i]: row i's sixteen heights.
    for (int32_t i = 0; i < rows; ++i) {
      Vec low;
      Vec high;
      if (kWide) {
        low = _mm256_and_si256(v[i], _mm256_set1_epi16(0xFF));
        high = _mm256_srli_epi16(v[i], 8);
      } else {
        // divideBy255 on words: (h x 32897) >> 23.
        high = _mm256_srli_epi16(
            _mm256_mulhi_epu16(v[i],
                               _mm256_set1_epi16(static_cast<int16_t>(32897))),
            7);
        low = _mm256_sub_epi16(
            v[i], _mm256_sub_epi16(_mm256_slli_epi16(high, 8), high));
      }
      Vec bytes =
          _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(red[i]),
                       _mm256_castsi256_si128(bytes));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(green[i]),
                       _mm256_extracti128_si256(bytes, 1));
    }
  }
  QUILLORN_LANE_INLINE static Chain startChain(const int32_t* cells) {
    return _mm256_castsi256_ps(load(cells));
  }
  QUILLORN_LANE_INLINE static Vec loadFloats(const float* values) {
    return _mm256_castps_si256(_mm256_loadu_ps(values));
  }
  QUILLORN_LANE_INLINE static Vec step(Chain* chain, Vec sum, Vec multiplier) {
    // sum (at least -2^23) is exact as a float, and so is the left
    // neighbour's 2^23 + v plus it.
    __m256 x = _mm256_add_ps(*chain, _mm256_cvtepi32_ps(sum));
    *chain = _mm256_fmadd_ps(x, _mm256_castsi256_ps(multiplier),
                             _mm256_set1_ps(8388608.0f));
    return _mm256_castps_si256(*chain);
  }
  QUILLORN_LANE_INLINE static Vec wrapTop(Chain* chain, Vec cell) {
    __m256i top = _mm256_cmpeq_epi32(cell, _mm256_set1_epi32(kLaneTop));
    cell = _mm256_andnot_si256(
        _mm256_and_si256(top, _mm256_set1_epi32(kLaneTopBits)), cell);
    *chain = _mm256_castsi256_ps(cell);
    return cell;
  }
};

}  // namespace

QUILLORN_LANE_TARGET bool runLaneStepsAvx2(const LaneSteps& steps, int32_t from,
                                           int32_t to, bool track) {
  // The steps run out of line, so none of their arithmetic can move across
  // the change of rounding mode or its undoing.
  unsigned int saved = _mm_getcsr();
  _mm_setcsr((saved & ~static_cast<unsigned int>(_MM_ROUND_MASK)) |
             _MM_ROUND_DOWN);
  bool changed = runLaneStepsWith<Avx2Ops>(steps, from, to, track);
  _mm_setcsr(saved);
  return changed;
}

QUILLORN_DEFINE_LANE_TRANSFERS(Avx2Ops, Avx2)

#endif  // QUILLORN_X86_KERNELS
