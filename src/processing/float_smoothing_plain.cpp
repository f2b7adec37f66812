// The float lane kernel in plain C++, for every processor.
#include <cstdint>

#define QUILLORN_FLOAT_LANE_TARGET
#include "processing/float_smoothing_kernel.h"

namespace {

struct PlainFloatOps {
  struct Vec {
    float lane[kFloatLaneWidth];
  };

  static Vec load(const float* cells) {
    Vec v;
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) v.lane[i] = cells[i];
    return v;
  }
  static void store(float* cells, const Vec& v) {
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) cells[i] = v.lane[i];
  }
  static Vec zero() { return Vec{}; }
  static Vec add(const Vec& a, const Vec& b) {
    Vec v;
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) {
      v.lane[i] = a.lane[i] + b.lane[i];
    }
    return v;
  }
  static Vec mul(const Vec& a, const Vec& b) {
    Vec v;
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) {
      v.lane[i] = a.lane[i] * b.lane[i];
    }
    return v;
  }
  static Vec orDiffer(const Vec& acc, const Vec& a, const Vec& b) {
    Vec v;
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) {
      v.lane[i] = acc.lane[i] != 0 || a.lane[i] != b.lane[i] ? 1.0f : 0.0f;
    }
    return v;
  }
  static bool any(const Vec& v) {
    bool set = false;
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) set |= v.lane[i] != 0;
    return set;
  }
  static float first(const Vec& v) { return v.lane[0]; }
  static float last(const Vec& v) { return v.lane[kFloatLaneWidth - 1]; }
  static Vec shiftInFirst(const Vec& v, float first) {
    Vec shifted;
    shifted.lane[0] = first;
    for (int32_t i = 1; i < kFloatLaneWidth; ++i) {
      shifted.lane[i] = v.lane[i - 1];
    }
    return shifted;
  }
  static Vec shiftInLast(const Vec& v, float last) {
    Vec shifted;
    for (int32_t i = 0; i + 1 < kFloatLaneWidth; ++i) {
      shifted.lane[i] = v.lane[i + 1];
    }
    shifted.lane[kFloatLaneWidth - 1] = last;
    return shifted;
  }
  static void transpose(Vec* v) {
    for (int32_t i = 0; i < kFloatLaneWidth; ++i) {
      for (int32_t j = i + 1; j < kFloatLaneWidth; ++j) {
        const float swapped = v[i].lane[j];
        v[i].lane[j] = v[j].lane[i];
        v[j].lane[i] = swapped;
      }
    }
  }
};

}  // namespace

QUILLORN_DEFINE_FLOAT_LANES(PlainFloatOps, Plain)
