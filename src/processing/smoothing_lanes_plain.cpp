// The lane kernel in plain C++, for every processor: each lane's mean as
// the product rounded to single precision and truncated.
#include <cstdint>
#include <cstring>

#define QUILLORN_LANE_TARGET
#include "processing/smoothing_lanes_kernel.h"

namespace {

struct PlainOps {
  struct Vec {
    int32_t lane[kLaneWidth];
  };
  using Chain = Vec;
  static constexpr int32_t kSquareSteps = kLaneWidth;

  static Vec load(const int32_t* cells) {
    Vec v;
    for (int32_t i = 0; i < kLaneWidth; ++i) v.lane[i] = cells[i];
    return v;
  }
  static void store(int32_t* cells, const Vec& v) {
    for (int32_t i = 0; i < kLaneWidth; ++i) cells[i] = v.lane[i];
  }
  // Sums of cells wrap around 2^32.
  static Vec add(const Vec& a, const Vec& b) {
    Vec v;
    for (int32_t i = 0; i < kLaneWidth; ++i) {
      v.lane[i] = static_cast<int32_t>(static_cast<uint32_t>(a.lane[i]) +
                                       static_cast<uint32_t>(b.lane[i]));
    }
    return v;
  }
  static Vec sub(const Vec& a, const Vec& b) {
    Vec v;
    for (int32_t i = 0; i < kLaneWidth; ++i) {
      v.lane[i] = static_cast<int32_t>(static_cast<uint32_t>(a.lane[i]) -
                                       static_cast<uint32_t>(b.lane[i]));
    }
    return v;
  }
  static Vec zero() { return Vec{}; }
  static int32_t first(const Vec& v) { return v.lane[0]; }
  static int32_t last(const Vec& v) { return v.lane[kLaneWidth - 1]; }
  static Vec orDiffer(const Vec& acc, const Vec& a, const Vec& b) {
    Vec v;
    for (int32_t i = 0; i < kLaneWidth; ++i) {
      v.lane[i] = acc.lane[i] | (a.lane[i] ^ b.lane[i]);
    }
    return v;
  }
  static bool any(const Vec& v) {
    int32_t bits = 0;
    for (int32_t i = 0; i < kLaneWidth; ++i) bits |= v.lane[i];
    return bits != 0;
  }
  static Vec setFirst(Vec v, int32_t first) {
    v.lane[0] = first;
    return v;
  }
  static Vec setLast(Vec v, int32_t last) {
    v.lane[kLaneWidth - 1] = last;
    return v;
  }
  // The chain holds cells as they are stored.
  static Chain startChain(const int32_t* cells) { return load(cells); }
  template <bool kWide>
  static void planesToSquare(uint8_t* const* red, uint8_t* const* green,
                             int32_t rows, int32_t* cells) {
    for (int32_t k = 0; k < kLaneWidth; ++k) {
      for (int32_t i = 0; i < kLaneWidth; ++i) {
        cells[k * kLaneRows + i] =
            kLaneZero + (i < rows ? decodeHeightIn < kWide
                                        ? kWideBase
                                        : kHeightBase > (red[i][k], green[i][k])
                                  : 0);
      }
    }
  }
  template <bool kWide>
  static void squareToPlanes(const int32_t* cells, uint8_t* const* red,
                             uint8_t* const* green, int32_t rows) {
    for (int32_t i = 0; i < rows; ++i) {
      for (int32_t k = 0; k < kLaneWidth; ++k) {
        encodeSmallHeightIn<kWide ? kWideBase : kHeightBase>(
            static_cast<uint32_t>(cells[k * kLaneRows + i] - kLaneZero),
            &red[i][k], &green[i][k]);
      }
    }
  }
  static Vec loadFloats(const float* values) {
    Vec v;
    std::memcpy(v.lane, values, sizeof(v.lane));
    return v;
  }
  static Vec step(Chain* chain, const Vec& sum, const Vec& multipliers) {
    float multiplier[kLaneWidth];
    std::memcpy(multiplier, multipliers.lane, sizeof(multiplier));
    for (int32_t i = 0; i < kLaneWidth; ++i) {
      // The heights' sum, sum + 2^23 + (left - kLaneZero), is below 2^20:
      // exact as a float, and positive, so truncation is the floor.
      uint32_t x = static_cast<uint32_t>(sum.lane[i]) + (1u << 23) +
                   static_cast<uint32_t>(chain->lane[i]) -
                   static_cast<uint32_t>(kLaneZero);
      chain->lane[i] =
          static_cast<int32_t>(static_cast<float>(x) * multiplier[i]) +
          kLaneZero;
    }
    return *chain;
  }
  static Vec wrapTop(Chain* chain, const Vec&) {
    for (int32_t i = 0; i < kLaneWidth; ++i) {
      if (chain->lane[i] == kLaneTop) chain->lane[i] = kLaneZero;
    }
    return *chain;
  }
};

}  // namespace

QUILLORN_DEFINE_LANE_STEPS(PlainOps, Plain)
QUILLORN_DEFINE_LANE_TRANSFERS(PlainOps, Plain)
