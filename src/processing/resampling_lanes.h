// The resampling's vector kernels: the two passes of a separable filter as
// sums of weighted samples, the products added in the order the taps give
// them, each a multiply then an add (never fused), so that every
// instruction set gives the bits the library's scalar loops give.
#ifndef QUILLORN_PROCESSING_RESAMPLING_LANES_H_
#define QUILLORN_PROCESSING_RESAMPLING_LANES_H_

#include <cstdint>

#include "platform/compiler.h"

// Source rows filtered across at once: row r's sample i lies at
// lanes[i x kResampleLanes + r].
inline constexpr int32_t kResampleLanes = 16;

// One instruction set's kernels.
struct ResampleLaneKernels {
  // For each output o below outputs, every lane r:
  // out[o x kResampleLanes + r] = 0 + weight[t] x lanes[index[t] x
  // kResampleLanes + r] for t from start[o] up to start[o + 1], in order.
  void (*across)(const float* lanes, const int32_t* start, const int32_t* index,
                 const float* weight, int32_t outputs, float* out);
  // For each x below width: out[x] = 0 + weight[t] x rows[t][x] for t from
  // 0 up to taps, in order.
  void (*down)(const float* const* rows, const float* weight, int32_t taps,
               int32_t width, float* out);
  // lanes[i x kResampleLanes + r] = rows[r][i] for every lane r and i below
  // span.
  void (*gather)(const float* const* rows, int32_t span, float* lanes);
  // rows[r][x] = lanes[x x kResampleLanes + r] for every lane r and x below
  // width.
  void (*scatter)(const float* lanes, int32_t width, float* const* rows);
};

#define QUILLORN_DECLARE_RESAMPLE_KERNELS(suffix)                          \
  void resampleAcross##suffix(const float* lanes, const int32_t* start,    \
                              const int32_t* index, const float* weight,   \
                              int32_t outputs, float* out);                \
  void resampleDown##suffix(const float* const* rows, const float* weight, \
                            int32_t taps, int32_t width, float* out);      \
  void gatherLanes##suffix(const float* const* rows, int32_t span,         \
                           float* lanes);                                  \
  void scatterLanes##suffix(const float* lanes, int32_t width,             \
                            float* const* rows)
QUILLORN_DECLARE_RESAMPLE_KERNELS(Plain);
#if defined(QUILLORN_X86_KERNELS)
QUILLORN_DECLARE_RESAMPLE_KERNELS(Sse2);
QUILLORN_DECLARE_RESAMPLE_KERNELS(Avx2);
#endif
#if defined(QUILLORN_WASM_KERNELS)
QUILLORN_DECLARE_RESAMPLE_KERNELS(Wasm);
#endif
#undef QUILLORN_DECLARE_RESAMPLE_KERNELS

#endif  // QUILLORN_PROCESSING_RESAMPLING_LANES_H_
