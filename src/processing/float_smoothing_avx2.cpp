// The float lane kernel in AVX2: one vector of eight lanes per group.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <immintrin.h>

#include <cstdint>

#define QUILLORN_FLOAT_LANE_TARGET QUILLORN_TARGET("avx2")
#include "processing/float_smoothing_kernel.h"

namespace {

struct Avx2FloatOps {
  using Vec = __m256;

  QUILLORN_FLOAT_LANE_INLINE static Vec load(const float* cells) {
    return _mm256_loadu_ps(cells);
  }
  QUILLORN_FLOAT_LANE_INLINE static void store(float* cells, Vec v) {
    _mm256_storeu_ps(cells, v);
  }
  QUILLORN_FLOAT_LANE_INLINE static Vec zero() { return _mm256_setzero_ps(); }
  QUILLORN_FLOAT_LANE_INLINE static Vec add(Vec a, Vec b) {
    return _mm256_add_ps(a, b);
  }
  QUILLORN_FLOAT_LANE_INLINE static Vec mul(Vec a, Vec b) {
    return _mm256_mul_ps(a, b);
  }
  QUILLORN_FLOAT_LANE_INLINE static Vec orDiffer(Vec acc, Vec a, Vec b) {
    return _mm256_or_ps(acc, _mm256_cmp_ps(a, b, _CMP_NEQ_UQ));
  }
  QUILLORN_FLOAT_LANE_INLINE static bool any(Vec v) {
    return _mm256_movemask_ps(v) != 0;
  }
  QUILLORN_FLOAT_LANE_INLINE static float first(Vec v) {
    return _mm256_cvtss_f32(v);
  }
  QUILLORN_FLOAT_LANE_INLINE static float last(Vec v) {
    const __m128 high = _mm256_extractf128_ps(v, 1);
    return _mm_cvtss_f32(_mm_shuffle_ps(high, high, _MM_SHUFFLE(3, 3, 3, 3)));
  }
  QUILLORN_FLOAT_LANE_INLINE static Vec shiftInFirst(Vec v, float first) {
    const __m256i up = _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6);
    return _mm256_blend_ps(_mm256_permutevar8x32_ps(v, up),
                           _mm256_set1_ps(first), 0x01);
  }
  QUILLORN_FLOAT_LANE_INLINE static Vec shiftInLast(Vec v, float last) {
    const __m256i down = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7);
    return _mm256_blend_ps(_mm256_permutevar8x32_ps(v, down),
                           _mm256_set1_ps(last), 0x80);
  }
  QUILLORN_FLOAT_LANE_INLINE static void transpose(Vec* v) {
    __m256 a[8], b[8];
    for (int i = 0; i < 8; i += 2) {
      a[i] = _mm256_unpacklo_ps(v[i], v[i + 1]);
      a[i + 1] = _mm256_unpackhi_ps(v[i], v[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
      b[i] = _mm256_shuffle_ps(a[i], a[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
      b[i + 1] = _mm256_shuffle_ps(a[i], a[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
      b[i + 2] = _mm256_shuffle_ps(a[i + 1], a[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
      b[i + 3] = _mm256_shuffle_ps(a[i + 1], a[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    for (int i = 0; i < 4; ++i) {
      v[i] = _mm256_permute2f128_ps(b[i], b[i + 4], 0x20);
      v[i + 4] = _mm256_permute2f128_ps(b[i], b[i + 4], 0x31);
    }
  }
};

}  // namespace

QUILLORN_DEFINE_FLOAT_LANES(Avx2FloatOps, Avx2)

#endif  // QUILLORN_X86_KERNELS
