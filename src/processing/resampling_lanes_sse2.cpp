// The resampling kernels on x86-64 in SSE2, which every such processor has:
// four 4-lane vectors a step.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#define QUILLORN_RESAMPLE_TARGET
#include "processing/resampling_lanes_kernel.h"

namespace {

struct Sse2Ops {
  struct Vec {
    __m128 part[4];
  };
  static constexpr int32_t kSquare = 4;
  static void transposeSteps(const float* const* rows, int32_t i,
                             float* lanes) {
    for (int32_t quarter = 0; quarter < 4; ++quarter) {
      const float* const* from = rows + 4 * quarter;
      __m128 a = _mm_loadu_ps(from[0] + i), b = _mm_loadu_ps(from[1] + i);
      __m128 c = _mm_loadu_ps(from[2] + i), d = _mm_loadu_ps(from[3] + i);
      _MM_TRANSPOSE4_PS(a, b, c, d);
      float* into = lanes + i * kResampleLanes + 4 * quarter;
      _mm_storeu_ps(into, a);
      _mm_storeu_ps(into + kResampleLanes, b);
      _mm_storeu_ps(into + 2 * kResampleLanes, c);
      _mm_storeu_ps(into + 3 * kResampleLanes, d);
    }
  }
  static void transposeRows(const float* lanes, int32_t x, float* const* rows) {
    for (int32_t quarter = 0; quarter < 4; ++quarter) {
      const float* from = lanes + x * kResampleLanes + 4 * quarter;
      __m128 a = _mm_loadu_ps(from), b = _mm_loadu_ps(from + kResampleLanes);
      __m128 c = _mm_loadu_ps(from + 2 * kResampleLanes);
      __m128 d = _mm_loadu_ps(from + 3 * kResampleLanes);
      _MM_TRANSPOSE4_PS(a, b, c, d);
      float* const* into = rows + 4 * quarter;
      _mm_storeu_ps(into[0] + x, a);
      _mm_storeu_ps(into[1] + x, b);
      _mm_storeu_ps(into[2] + x, c);
      _mm_storeu_ps(into[3] + x, d);
    }
  }
  static Vec zero() {
    const __m128 z = _mm_setzero_ps();
    return {{z, z, z, z}};
  }
  static Vec load(const float* values) {
    return {{_mm_loadu_ps(values), _mm_loadu_ps(values + 4),
             _mm_loadu_ps(values + 8), _mm_loadu_ps(values + 12)}};
  }
  static void store(float* values, Vec v) {
    for (int i = 0; i < 4; ++i) _mm_storeu_ps(values + 4 * i, v.part[i]);
  }
  static Vec addProduct(Vec sum, Vec x, float weight) {
    const __m128 w = _mm_set1_ps(weight);
    for (int i = 0; i < 4; ++i) {
      sum.part[i] = _mm_add_ps(sum.part[i], _mm_mul_ps(x.part[i], w));
    }
    return sum;
  }
};

}  // namespace

QUILLORN_DEFINE_RESAMPLE_KERNELS(Sse2Ops, Sse2)

#endif  // QUILLORN_X86_KERNELS
