// The resampling kernels in WebAssembly SIMD, for the browser build: four
// 4-lane vectors a step (the module has no fused multiply-add).
#include "platform/compiler.h"

#if defined(QUILLORN_WASM_KERNELS)
#include <wasm_simd128.h>

#include <cstdint>

#define QUILLORN_RESAMPLE_TARGET
#include "processing/resampling_lanes_kernel.h"

namespace {

struct WasmOps {
  static constexpr int32_t kSquare = 0;  // one sample at a time
  struct Vec {
    v128_t part[4];
  };
  static Vec zero() {
    const v128_t z = wasm_f32x4_splat(0.0f);
    return {{z, z, z, z}};
  }
  static Vec load(const float* values) {
    return {{wasm_v128_load(values), wasm_v128_load(values + 4),
             wasm_v128_load(values + 8), wasm_v128_load(values + 12)}};
  }
  static void store(float* values, Vec v) {
    for (int i = 0; i < 4; ++i) wasm_v128_store(values + 4 * i, v.part[i]);
  }
  static Vec addProduct(Vec sum, Vec x, float weight) {
    const v128_t w = wasm_f32x4_splat(weight);
    for (int i = 0; i < 4; ++i) {
      sum.part[i] = wasm_f32x4_add(sum.part[i], wasm_f32x4_mul(x.part[i], w));
    }
    return sum;
  }
};

}  // namespace

QUILLORN_DEFINE_RESAMPLE_KERNELS(WasmOps, Wasm)

#endif  // QUILLORN_WASM_KERNELS
