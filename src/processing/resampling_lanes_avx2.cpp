// The resampling kernels on x86-64 processors with AVX2: two 8-lane vectors
// a step. No fused multiply-add: the library rounds each product.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <immintrin.h>

#include <cstdint>

#define QUILLORN_RESAMPLE_TARGET QUILLORN_TARGET("avx2")
#include "processing/resampling_lanes_kernel.h"

namespace {

// In place: v[k] lane i becomes v[i] lane k.
QUILLORN_RESAMPLE_INLINE void transpose8(__m256* v) {
  __m256 t[8], s[8];
  for (int i = 0; i < 8; i += 2) {
    t[i] = _mm256_unpacklo_ps(v[i], v[i + 1]);
    t[i + 1] = _mm256_unpackhi_ps(v[i], v[i + 1]);
  }
  for (int i = 0; i < 8; i += 4) {
    s[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
    s[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
    s[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
    s[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  for (int i = 0; i < 4; ++i) {
    v[i] = _mm256_permute2f128_ps(s[i], s[i + 4], 0x20);
    v[i + 4] = _mm256_permute2f128_ps(s[i], s[i + 4], 0x31);
  }
}

struct Avx2Ops {
  struct Vec {
    __m256 low, high;
  };
  static constexpr int32_t kSquare = 8;
  QUILLORN_RESAMPLE_INLINE static void transposeSteps(const float* const* rows,
                                                      int32_t i, float* lanes) {
    for (int32_t half = 0; half < 2; ++half) {
      __m256 v[8];
      for (int32_t r = 0; r < 8; ++r)
        v[r] = _mm256_loadu_ps(rows[8 * half + r] + i);
      transpose8(v);
      for (int32_t k = 0; k < 8; ++k) {
        _mm256_storeu_ps(lanes + (i + k) * kResampleLanes + 8 * half, v[k]);
      }
    }
  }
  QUILLORN_RESAMPLE_INLINE static void transposeRows(const float* lanes,
                                                     int32_t x,
                                                     float* const* rows) {
    for (int32_t half = 0; half < 2; ++half) {
      __m256 v[8];
      for (int32_t k = 0; k < 8; ++k) {
        v[k] = _mm256_loadu_ps(lanes + (x + k) * kResampleLanes + 8 * half);
      }
      transpose8(v);
      for (int32_t r = 0; r < 8; ++r)
        _mm256_storeu_ps(rows[8 * half + r] + x, v[r]);
    }
  }
  QUILLORN_RESAMPLE_INLINE static Vec zero() {
    return {_mm256_setzero_ps(), _mm256_setzero_ps()};
  }
  QUILLORN_RESAMPLE_INLINE static Vec load(const float* values) {
    return {_mm256_loadu_ps(values), _mm256_loadu_ps(values + 8)};
  }
  QUILLORN_RESAMPLE_INLINE static void store(float* values, Vec v) {
    _mm256_storeu_ps(values, v.low);
    _mm256_storeu_ps(values + 8, v.high);
  }
  QUILLORN_RESAMPLE_INLINE static Vec addProduct(Vec sum, Vec x, float weight) {
    const __m256 w = _mm256_set1_ps(weight);
    return {_mm256_add_ps(sum.low, _mm256_mul_ps(x.low, w)),
            _mm256_add_ps(sum.high, _mm256_mul_ps(x.high, w))};
  }
};

}  // namespace

QUILLORN_DEFINE_RESAMPLE_KERNELS(Avx2Ops, Avx2)

#endif  // QUILLORN_X86_KERNELS
