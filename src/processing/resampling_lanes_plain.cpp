// The resampling kernels in plain C++, for every build: kResampleLanes
// floats a step, one by one.
#include <cstdint>

#define QUILLORN_RESAMPLE_TARGET
#include "processing/resampling_lanes_kernel.h"

namespace {

struct PlainOps {
  static constexpr int32_t kSquare = 0;  // one sample at a time
  struct Vec {
    float lane[kResampleLanes];
  };
  static Vec zero() { return Vec{}; }
  static Vec load(const float* values) {
    Vec v;
    for (int32_t i = 0; i < kResampleLanes; ++i) v.lane[i] = values[i];
    return v;
  }
  static void store(float* values, const Vec& v) {
    for (int32_t i = 0; i < kResampleLanes; ++i) values[i] = v.lane[i];
  }
  static Vec addProduct(Vec sum, const Vec& x, float weight) {
    for (int32_t i = 0; i < kResampleLanes; ++i) {
      const float product = x.lane[i] * weight;
      sum.lane[i] += product;
    }
    return sum;
  }
};

}  // namespace

QUILLORN_DEFINE_RESAMPLE_KERNELS(PlainOps, Plain)
