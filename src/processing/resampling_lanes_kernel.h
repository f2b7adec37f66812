// The resampling kernels, written once over an instruction set's operations
// and built once per instruction set: a source file defines
// QUILLORN_RESAMPLE_TARGET (its target attribute, or nothing), includes this
// file and defines its kernels with QUILLORN_DEFINE_RESAMPLE_KERNELS.
// Everything here has internal linkage.
//
// The operations (Ops) work on Vec, kResampleLanes floats:
// - Vec zero(), Vec load(const float*), void store(float*, Vec);
// - Vec addProduct(Vec sum, Vec x, float weight): sum + x x weight, the
//   product rounded before the add;
// - kSquare, and where it is not 0, void transposeSteps(const float* const*
//   rows, int32_t i, float* lanes) and void transposeRows(const float*
//   lanes, int32_t x, float* const* rows): kSquare samples from i (or x) on
//   of the gather and the scatter, through registers; the samples past the
//   last whole square go one by one.
#ifndef QUILLORN_RESAMPLE_TARGET
#error \
    "define QUILLORN_RESAMPLE_TARGET before including resampling_lanes_kernel.h"
#endif

#include <cstdint>

#include "platform/compiler.h"
#include "processing/resampling_lanes.h"

#if defined(__GNUC__)
#define QUILLORN_RESAMPLE_INLINE \
  inline __attribute__((always_inline)) QUILLORN_RESAMPLE_TARGET
#else
#define QUILLORN_RESAMPLE_INLINE inline
#endif

namespace {

// Two outputs at a time, so that two chains of adds overlap; each still
// takes its own taps in their order.
template <class Ops>
QUILLORN_RESAMPLE_INLINE void acrossWith(const float* lanes,
                                         const int32_t* start,
                                         const int32_t* index,
                                         const float* weight, int32_t outputs,
                                         float* out) {
  using Vec = typename Ops::Vec;
  constexpr int32_t kL = kResampleLanes;
  int32_t o = 0;
  for (; o + 1 < outputs; o += 2) {
    int32_t a = start[o], b = start[o + 1];
    const int32_t aEnd = start[o + 1], bEnd = start[o + 2];
    Vec sumA = Ops::zero(), sumB = Ops::zero();
    for (; a < aEnd && b < bEnd; ++a, ++b) {
      sumA = Ops::addProduct(sumA, Ops::load(lanes + index[a] * kL), weight[a]);
      sumB = Ops::addProduct(sumB, Ops::load(lanes + index[b] * kL), weight[b]);
    }
    for (; a < aEnd; ++a) {
      sumA = Ops::addProduct(sumA, Ops::load(lanes + index[a] * kL), weight[a]);
    }
    for (; b < bEnd; ++b) {
      sumB = Ops::addProduct(sumB, Ops::load(lanes + index[b] * kL), weight[b]);
    }
    Ops::store(out + o * kL, sumA);
    Ops::store(out + (o + 1) * kL, sumB);
  }
  if (o < outputs) {
    Vec sum = Ops::zero();
    for (int32_t t = start[o]; t < start[o + 1]; ++t) {
      sum = Ops::addProduct(sum, Ops::load(lanes + index[t] * kL), weight[t]);
    }
    Ops::store(out + o * kL, sum);
  }
}

// Two vectors of columns at a time; the last columns one by one, in the
// same order of taps.
template <class Ops>
QUILLORN_RESAMPLE_INLINE void downWith(const float* const* rows,
                                       const float* weight, int32_t taps,
                                       int32_t width, float* out) {
  using Vec = typename Ops::Vec;
  constexpr int32_t kL = kResampleLanes;
  int32_t x = 0;
  for (; x + 2 * kL <= width; x += 2 * kL) {
    Vec first = Ops::zero(), second = Ops::zero();
    for (int32_t t = 0; t < taps; ++t) {
      first = Ops::addProduct(first, Ops::load(rows[t] + x), weight[t]);
      second = Ops::addProduct(second, Ops::load(rows[t] + x + kL), weight[t]);
    }
    Ops::store(out + x, first);
    Ops::store(out + x + kL, second);
  }
  for (; x < width; ++x) {
    float sum = 0.0f;
    for (int32_t t = 0; t < taps; ++t) {
      const float product = rows[t][x] * weight[t];
      sum += product;
    }
    out[x] = sum;
  }
}

template <class Ops>
QUILLORN_RESAMPLE_INLINE void gatherWith(const float* const* rows, int32_t span,
                                         float* lanes) {
  constexpr int32_t kL = kResampleLanes;
  int32_t i = 0;
  if constexpr (Ops::kSquare > 0) {
    for (; i + Ops::kSquare <= span; i += Ops::kSquare) {
      Ops::transposeSteps(rows, i, lanes);
    }
  }
  for (; i < span; ++i) {
    for (int32_t r = 0; r < kL; ++r) lanes[i * kL + r] = rows[r][i];
  }
}

template <class Ops>
QUILLORN_RESAMPLE_INLINE void scatterWith(const float* lanes, int32_t width,
                                          float* const* rows) {
  constexpr int32_t kL = kResampleLanes;
  int32_t x = 0;
  if constexpr (Ops::kSquare > 0) {
    for (; x + Ops::kSquare <= width; x += Ops::kSquare) {
      Ops::transposeRows(lanes, x, rows);
    }
  }
  for (; x < width; ++x) {
    for (int32_t r = 0; r < kL; ++r) rows[r][x] = lanes[x * kL + r];
  }
}

}  // namespace

#define QUILLORN_DEFINE_RESAMPLE_KERNELS(Ops, suffix)                 \
  QUILLORN_RESAMPLE_TARGET void resampleAcross##suffix(               \
      const float* lanes, const int32_t* start, const int32_t* index, \
      const float* weight, int32_t outputs, float* out) {             \
    acrossWith<Ops>(lanes, start, index, weight, outputs, out);       \
  }                                                                   \
  QUILLORN_RESAMPLE_TARGET void resampleDown##suffix(                 \
      const float* const* rows, const float* weight, int32_t taps,    \
      int32_t width, float* out) {                                    \
    downWith<Ops>(rows, weight, taps, width, out);                    \
  }                                                                   \
  QUILLORN_RESAMPLE_TARGET void gatherLanes##suffix(                  \
      const float* const* rows, int32_t span, float* lanes) {         \
    gatherWith<Ops>(rows, span, lanes);                               \
  }                                                                   \
  QUILLORN_RESAMPLE_TARGET void scatterLanes##suffix(                 \
      const float* lanes, int32_t width, float* const* rows) {        \
    scatterWith<Ops>(lanes, width, rows);                             \
  }
