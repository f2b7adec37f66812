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
  // Shifts by a lane across the halves, without an index vector.
  QUILLORN_LANE_INLINE static Vec shiftInFirst(Vec v, int32_t first) {
    __m256i lowUp = _mm256_permute2x128_si256(v, v, 0x08);  // 0, low half
    return _mm256_add_epi32(_mm256_alignr_epi8(v, lowUp, 12),
                            _mm256_zextsi128_si256(_mm_cvtsi32_si128(first)));
  }
  QUILLORN_LANE_INLINE static Vec shiftInLast(Vec v, int32_t last) {
    __m256i highDown = _mm256_permute2x128_si256(v, v, 0x81);  // high half, 0
    return _mm256_blend_epi32(_mm256_alignr_epi8(highDown, v, 4),
                              _mm256_set1_epi32(last), 0x80);
  }
  QUILLORN_LANE_INLINE static void transpose(Vec* v) {
    __m256i t[8];
    for (int i = 0; i < 8; i += 2) {
      t[i] = _mm256_unpacklo_epi32(v[i], v[i + 1]);
      t[i + 1] = _mm256_unpackhi_epi32(v[i], v[i + 1]);
    }
    __m256i u[8];
    for (int i = 0; i < 8; i += 4) {
      u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
      u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
      u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
      u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
      v[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
      v[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
    }
  }
  QUILLORN_LANE_INLINE static Chain startChain(const int32_t* cells) {
    return _mm256_castsi256_ps(load(cells));
  }
  QUILLORN_LANE_INLINE static void storeChain(Chain chain, int32_t* cells) {
    store(cells, _mm256_castps_si256(chain));
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

QUILLORN_DEFINE_LANE_TRANSPOSES(Avx2Ops, Avx2)

#endif  // QUILLORN_X86_KERNELS
