// The float lane kernel in SSE2, which every x86-64 processor has: each
// group's eight lanes as two vectors of four.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <emmintrin.h>

#include <cstdint>

#define QUILLORN_FLOAT_LANE_TARGET
#include "processing/float_smoothing_kernel.h"

namespace {

struct Sse2FloatOps {
  struct Vec {
    __m128 low, high;
  };

  static Vec load(const float* cells) {
    return {_mm_loadu_ps(cells), _mm_loadu_ps(cells + 4)};
  }
  static void store(float* cells, Vec v) {
    _mm_storeu_ps(cells, v.low);
    _mm_storeu_ps(cells + 4, v.high);
  }
  static Vec zero() { return {_mm_setzero_ps(), _mm_setzero_ps()}; }
  static Vec add(Vec a, Vec b) {
    return {_mm_add_ps(a.low, b.low), _mm_add_ps(a.high, b.high)};
  }
  static Vec mul(Vec a, Vec b) {
    return {_mm_mul_ps(a.low, b.low), _mm_mul_ps(a.high, b.high)};
  }
  static Vec orDiffer(Vec acc, Vec a, Vec b) {
    return {_mm_or_ps(acc.low, _mm_cmpneq_ps(a.low, b.low)),
            _mm_or_ps(acc.high, _mm_cmpneq_ps(a.high, b.high))};
  }
  static bool any(Vec v) {
    return _mm_movemask_ps(_mm_or_ps(v.low, v.high)) != 0;
  }
  static float first(Vec v) { return _mm_cvtss_f32(v.low); }
  static float last(Vec v) {
    return _mm_cvtss_f32(
        _mm_shuffle_ps(v.high, v.high, _MM_SHUFFLE(3, 3, 3, 3)));
  }
  // [first, low 0, low 1, low 2], [low 3, high 0, high 1, high 2].
  static Vec shiftInFirst(Vec v, float first) {
    const __m128 low = _mm_shuffle_ps(v.low, v.low, _MM_SHUFFLE(2, 1, 0, 0));
    const __m128 high = _mm_shuffle_ps(v.high, v.high, _MM_SHUFFLE(2, 1, 0, 0));
    return {_mm_move_ss(low, _mm_set_ss(first)),
            _mm_move_ss(high,
                        _mm_shuffle_ps(v.low, v.low, _MM_SHUFFLE(3, 3, 3, 3)))};
  }
  // [low 1, low 2, low 3, high 0], [high 1, high 2, high 3, last].
  static Vec shiftInLast(Vec v, float last) {
    const __m128 lowJoin =
        _mm_shuffle_ps(v.low, v.high, _MM_SHUFFLE(0, 0, 3, 3));
    const __m128 highJoin =
        _mm_shuffle_ps(v.high, _mm_set1_ps(last), _MM_SHUFFLE(0, 0, 3, 3));
    return {_mm_shuffle_ps(v.low, lowJoin, _MM_SHUFFLE(2, 0, 2, 1)),
            _mm_shuffle_ps(v.high, highJoin, _MM_SHUFFLE(2, 0, 2, 1))};
  }
  // Four squares of four: the upper right and lower left trade places.
  static void transpose(Vec* v) {
    __m128 a0 = v[0].low, a1 = v[1].low, a2 = v[2].low, a3 = v[3].low;
    __m128 b0 = v[0].high, b1 = v[1].high, b2 = v[2].high, b3 = v[3].high;
    __m128 c0 = v[4].low, c1 = v[5].low, c2 = v[6].low, c3 = v[7].low;
    __m128 d0 = v[4].high, d1 = v[5].high, d2 = v[6].high, d3 = v[7].high;
    _MM_TRANSPOSE4_PS(a0, a1, a2, a3);
    _MM_TRANSPOSE4_PS(b0, b1, b2, b3);
    _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    _MM_TRANSPOSE4_PS(d0, d1, d2, d3);
    v[0] = {a0, c0};
    v[1] = {a1, c1};
    v[2] = {a2, c2};
    v[3] = {a3, c3};
    v[4] = {b0, d0};
    v[5] = {b1, d1};
    v[6] = {b2, d2};
    v[7] = {b3, d3};
  }
};

}  // namespace

QUILLORN_DEFINE_FLOAT_LANES(Sse2FloatOps, Sse2)

#endif  // QUILLORN_X86_KERNELS
