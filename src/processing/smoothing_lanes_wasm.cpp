// The lane kernel in WebAssembly SIMD, for the browser build: two 4-lane
// halves per group, each mean the product rounded to single precision and
// truncated, as in the plain kernel.
#include "platform/compiler.h"

#if defined(QUILLORN_WASM_KERNELS)
#include <wasm_simd128.h>

#include <cstdint>

#define QUILLORN_LANE_TARGET
#include "processing/smoothing_lanes_kernel.h"

namespace {

// The squares of the transfers: heights travel as 16-bit words, transposed
// in registers between rows and steps.
struct LaneSquaresWasm {
  static constexpr int32_t kSquareSteps = 8;

  // v[i] word k becomes v[k] word i.
  static void transposeWords(v128_t* v) {
    v128_t a[8];
    for (int i = 0; i < 8; i += 2) {
      a[i] = wasm_i16x8_shuffle(v[i], v[i + 1], 0, 8, 1, 9, 2, 10, 3, 11);
      a[i + 1] = wasm_i16x8_shuffle(v[i], v[i + 1], 4, 12, 5, 13, 6, 14, 7, 15);
    }
    v128_t b[8];
    for (int i = 0; i < 8; i += 4) {
      b[i] = wasm_i32x4_shuffle(a[i], a[i + 2], 0, 4, 1, 5);
      b[i + 1] = wasm_i32x4_shuffle(a[i], a[i + 2], 2, 6, 3, 7);
      b[i + 2] = wasm_i32x4_shuffle(a[i + 1], a[i + 3], 0, 4, 1, 5);
      b[i + 3] = wasm_i32x4_shuffle(a[i + 1], a[i + 3], 2, 6, 3, 7);
    }
    for (int i = 0; i < 4; ++i) {
      v[2 * i] = wasm_i64x2_shuffle(b[i], b[i + 4], 0, 2);
      v[2 * i + 1] = wasm_i64x2_shuffle(b[i], b[i + 4], 1, 3);
    }
  }

  template <bool kWide>
  static void planesToSquare(uint8_t* const* red, uint8_t* const* green,
                             int32_t rows, int32_t* cells) {
    v128_t v[8];
    for (int32_t i = 0; i < 8; ++i) {
      if (i >= rows) {
        v[i] = wasm_i32x4_const_splat(0);
        continue;
      }
      // green x 256 + red; base 255 takes green off once.
      v[i] = wasm_i8x16_shuffle(wasm_v128_load64_zero(red[i]),
                                wasm_v128_load64_zero(green[i]), 0, 16, 1, 17,
                                2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
      if (!kWide) v[i] = wasm_i16x8_sub(v[i], wasm_u16x8_shr(v[i], 8));
    }
    transposeWords(v);
    // kLaneZero's low half is 0: its high half beside each word makes the
    // cell.
    const v128_t cellHigh = wasm_i16x8_splat(kLaneZero >> 16);
    for (int32_t k = 0; k < 8; ++k) {
      int32_t* at = cells + k * kLaneRows;
      wasm_v128_store(
          at, wasm_i16x8_shuffle(v[k], cellHigh, 0, 8, 1, 9, 2, 10, 3, 11));
      wasm_v128_store(at + 4, wasm_i16x8_shuffle(v[k], cellHigh, 4, 12, 5, 13,
                                                 6, 14, 7, 15));
    }
  }

  // The low half of each cell, as words.
  static v128_t heightWords(const int32_t* cells) {
    return wasm_i16x8_shuffle(wasm_v128_load(cells), wasm_v128_load(cells + 4),
                              0, 2, 4, 6, 8, 10, 12, 14);
  }

  template <bool kWide>
  static void squareToPlanes(const int32_t* cells, uint8_t* const* red,
                             uint8_t* const* green, int32_t rows) {
    v128_t v[8];
    for (int32_t k = 0; k < 8; ++k) v[k] = heightWords(cells + k * kLaneRows);
    transposeWords(v);
    for (int32_t i = 0; i < rows; ++i) {
      v128_t low;
      v128_t high;
      if (kWide) {
        low = wasm_v128_and(v[i], wasm_i16x8_splat(0xFF));
        high = wasm_u16x8_shr(v[i], 8);
      } else {
        // divideBy255 on words: (h x 32897) >> 23.
        const v128_t by = wasm_i16x8_splat(static_cast<int16_t>(32897));
        v128_t lowProducts = wasm_u32x4_extmul_low_u16x8(v[i], by);
        v128_t highProducts = wasm_u32x4_extmul_high_u16x8(v[i], by);
        high = wasm_i16x8_shuffle(wasm_u32x4_shr(lowProducts, 23),
                                  wasm_u32x4_shr(highProducts, 23), 0, 2, 4, 6,
                                  8, 10, 12, 14);
        low =
            wasm_i16x8_sub(v[i], wasm_i16x8_sub(wasm_i16x8_shl(high, 8), high));
      }
      // Every word is below 256: its low byte is the byte.
      wasm_v128_store64_lane(red[i],
                             wasm_i8x16_shuffle(low, low, 0, 2, 4, 6, 8, 10, 12,
                                                14, 0, 2, 4, 6, 8, 10, 12, 14),
                             0);
      wasm_v128_store64_lane(
          green[i],
          wasm_i8x16_shuffle(high, high, 0, 2, 4, 6, 8, 10, 12, 14, 0, 2, 4, 6,
                             8, 10, 12, 14),
          0);
    }
  }
};

struct WasmOps : LaneSquaresWasm {
  struct Vec {
    v128_t low, high;  // lanes 0-3 and 4-7
  };
  using Chain = Vec;

  static Vec load(const int32_t* cells) {
    return {wasm_v128_load(cells), wasm_v128_load(cells + 4)};
  }
  static void store(int32_t* cells, Vec v) {
    wasm_v128_store(cells, v.low);
    wasm_v128_store(cells + 4, v.high);
  }
  static Vec add(Vec a, Vec b) {
    return {wasm_i32x4_add(a.low, b.low), wasm_i32x4_add(a.high, b.high)};
  }
  static Vec sub(Vec a, Vec b) {
    return {wasm_i32x4_sub(a.low, b.low), wasm_i32x4_sub(a.high, b.high)};
  }
  static Vec zero() {
    return {wasm_i32x4_const_splat(0), wasm_i32x4_const_splat(0)};
  }
  static int32_t first(Vec v) { return wasm_i32x4_extract_lane(v.low, 0); }
  static int32_t last(Vec v) { return wasm_i32x4_extract_lane(v.high, 3); }
  static Vec orDiffer(Vec acc, Vec a, Vec b) {
    return {wasm_v128_or(acc.low, wasm_v128_xor(a.low, b.low)),
            wasm_v128_or(acc.high, wasm_v128_xor(a.high, b.high))};
  }
  static bool any(Vec v) {
    return wasm_v128_any_true(wasm_v128_or(v.low, v.high));
  }
  static Vec setFirst(Vec v, int32_t first) {
    return {wasm_i32x4_replace_lane(v.low, 0, first), v.high};
  }
  static Vec setLast(Vec v, int32_t last) {
    return {v.low, wasm_i32x4_replace_lane(v.high, 3, last)};
  }
  // The chain holds cells as they are stored.
  static Chain startChain(const int32_t* cells) { return load(cells); }
  static Vec loadFloats(const float* values) {
    return {wasm_v128_load(values), wasm_v128_load(values + 4)};
  }
  static v128_t mean(v128_t sum, v128_t left, v128_t multiplier) {
    // The heights' sum: sum + 2^23 + (left - kLaneZero), below 2^20 and
    // positive: exact as a float, and truncation is the floor.
    v128_t x = wasm_i32x4_add(wasm_i32x4_add(sum, left),
                              wasm_i32x4_splat((1 << 23) - kLaneZero));
    v128_t quotient = wasm_i32x4_trunc_sat_f32x4(
        wasm_f32x4_mul(wasm_f32x4_convert_i32x4(x), multiplier));
    return wasm_i32x4_add(quotient, wasm_i32x4_splat(kLaneZero));
  }
  static Vec step(Chain* chain, Vec sum, Vec multiplier) {
    chain->low = mean(sum.low, chain->low, multiplier.low);
    chain->high = mean(sum.high, chain->high, multiplier.high);
    return *chain;
  }
  static v128_t wrapTop(v128_t cell) {
    v128_t top = wasm_i32x4_eq(cell, wasm_i32x4_splat(kLaneTop));
    return wasm_v128_andnot(cell,
                            wasm_v128_and(top, wasm_i32x4_splat(kLaneTopBits)));
  }
  static Vec wrapTop(Chain* chain, Vec) {
    chain->low = wrapTop(chain->low);
    chain->high = wrapTop(chain->high);
    return *chain;
  }
};

}  // namespace

QUILLORN_DEFINE_LANE_STEPS(WasmOps, Wasm)
QUILLORN_DEFINE_LANE_TRANSFERS(WasmOps, Wasm)

#endif  // QUILLORN_WASM_KERNELS
