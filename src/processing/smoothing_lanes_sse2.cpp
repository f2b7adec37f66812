// The lane kernel on x86-64 in SSE2, which every such processor has: two
// 4-lane halves per group, each mean the product rounded to single
// precision and truncated.
#include "platform/compiler.h"

#if defined(QUILLORN_X86_KERNELS)
#include <emmintrin.h>

#include <cstdint>

#define QUILLORN_LANE_TARGET
#include "processing/smoothing_lanes_kernel.h"

namespace {

// The squares of the transfers: heights travel as 16-bit words, transposed
// in registers between rows and steps.
struct LaneSquaresSse2 {
  static constexpr int32_t kSquareSteps = 8;

  // v[i] word k becomes v[k] word i.
  static void transposeWords(__m128i* v) {
    __m128i a[8];
    for (int i = 0; i < 8; i += 2) {
      a[i] = _mm_unpacklo_epi16(v[i], v[i + 1]);
      a[i + 1] = _mm_unpackhi_epi16(v[i], v[i + 1]);
    }
    __m128i b[8];
    for (int i = 0; i < 8; i += 4) {
      b[i] = _mm_unpacklo_epi32(a[i], a[i + 2]);
      b[i + 1] = _mm_unpackhi_epi32(a[i], a[i + 2]);
      b[i + 2] = _mm_unpacklo_epi32(a[i + 1], a[i + 3]);
      b[i + 3] = _mm_unpackhi_epi32(a[i + 1], a[i + 3]);
    }
    for (int i = 0; i < 4; ++i) {
      v[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
      v[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
    }
  }

  template <bool kWide>
  static void planesToSquare(uint8_t* const* red, uint8_t* const* green,
                             int32_t rows, int32_t* cells) {
    __m128i v[8];
    for (int32_t i = 0; i < 8; ++i) {
      if (i >= rows) {
        v[i] = _mm_setzero_si128();
        continue;
      }
      __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(red[i]));
      __m128i high =
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(green[i]));
      // green x 256 + red; base 255 takes green off once.
      v[i] = _mm_unpacklo_epi8(low, high);
      if (!kWide) v[i] = _mm_sub_epi16(v[i], _mm_srli_epi16(v[i], 8));
    }
    transposeWords(v);
    // kLaneZero's low half is 0: its high half beside each word makes the
    // cell.
    const __m128i cellHigh = _mm_set1_epi16(kLaneZero >> 16);
    for (int32_t k = 0; k < 8; ++k) {
      __m128i* at = reinterpret_cast<__m128i*>(cells + k * kLaneRows);
      _mm_storeu_si128(at, _mm_unpacklo_epi16(v[k], cellHigh));
      _mm_storeu_si128(at + 1, _mm_unpackhi_epi16(v[k], cellHigh));
    }
  }

  // The low half of each cell, sign-extended, packs exactly.
  static __m128i heightWords(const int32_t* cells) {
    const __m128i* at = reinterpret_cast<const __m128i*>(cells);
    __m128i low = _mm_loadu_si128(at);
    __m128i high = _mm_loadu_si128(at + 1);
    return _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(low, 16), 16),
                           _mm_srai_epi32(_mm_slli_epi32(high, 16), 16));
  }

  template <bool kWide>
  static void squareToPlanes(const int32_t* cells, uint8_t* const* red,
                             uint8_t* const* green, int32_t rows) {
    const __m128i zero = _mm_setzero_si128();
    __m128i v[8];
    for (int32_t k = 0; k < 8; ++k) v[k] = heightWords(cells + k * kLaneRows);
    transposeWords(v);
    for (int32_t i = 0; i < rows; ++i) {
      __m128i low;
      __m128i high;
      if (kWide) {
        low = _mm_and_si128(v[i], _mm_set1_epi16(0xFF));
        high = _mm_srli_epi16(v[i], 8);
      } else {
        // divideBy255 on words: (h x 32897) >> 23.
        high = _mm_srli_epi16(
            _mm_mulhi_epu16(v[i], _mm_set1_epi16(static_cast<int16_t>(32897))),
            7);
        low = _mm_sub_epi16(v[i], _mm_sub_epi16(_mm_slli_epi16(high, 8), high));
      }
      _mm_storel_epi64(reinterpret_cast<__m128i*>(red[i]),
                       _mm_packus_epi16(low, zero));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(green[i]),
                       _mm_packus_epi16(high, zero));
    }
  }
};

struct Sse2Ops : LaneSquaresSse2 {
  struct Vec {
    __m128i low, high;  // lanes 0-3 and 4-7
  };
  using Chain = Vec;

  static Vec load(const int32_t* cells) {
    return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(cells)),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(cells + 4))};
  }
  static void store(int32_t* cells, Vec v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cells), v.low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cells + 4), v.high);
  }
  static Vec add(Vec a, Vec b) {
    return {_mm_add_epi32(a.low, b.low), _mm_add_epi32(a.high, b.high)};
  }
  static Vec sub(Vec a, Vec b) {
    return {_mm_sub_epi32(a.low, b.low), _mm_sub_epi32(a.high, b.high)};
  }
  static Vec zero() { return {_mm_setzero_si128(), _mm_setzero_si128()}; }
  static int32_t first(Vec v) { return _mm_cvtsi128_si32(v.low); }
  static int32_t last(Vec v) {
    return _mm_cvtsi128_si32(_mm_srli_si128(v.high, 12));
  }
  static Vec orDiffer(Vec acc, Vec a, Vec b) {
    return {_mm_or_si128(acc.low, _mm_xor_si128(a.low, b.low)),
            _mm_or_si128(acc.high, _mm_xor_si128(a.high, b.high))};
  }
  static bool any(Vec v) {
    __m128i both = _mm_or_si128(v.low, v.high);
    return _mm_movemask_epi8(_mm_cmpeq_epi32(both, _mm_setzero_si128())) !=
           0xFFFF;
  }
  static Vec setFirst(Vec v, int32_t first) {
    return {_mm_castps_si128(
                _mm_move_ss(_mm_castsi128_ps(v.low),
                            _mm_castsi128_ps(_mm_cvtsi32_si128(first)))),
            v.high};
  }
  static Vec setLast(Vec v, int32_t last) {
    // Lane 3 dropped and last shifted in, both at the top of the register.
    return {v.low, _mm_or_si128(_mm_srli_si128(_mm_slli_si128(v.high, 4), 4),
                                _mm_slli_si128(_mm_cvtsi32_si128(last), 12))};
  }
  // The chain holds cells as they are stored.
  static Chain startChain(const int32_t* cells) { return load(cells); }
  static Vec loadFloats(const float* values) {
    return {_mm_castps_si128(_mm_loadu_ps(values)),
            _mm_castps_si128(_mm_loadu_ps(values + 4))};
  }
  static __m128i mean(__m128i sum, __m128i left, __m128i multiplier) {
    // The heights' sum: sum + 2^23 + (left - kLaneZero).
    __m128i x = _mm_add_epi32(_mm_add_epi32(sum, left),
                              _mm_set1_epi32((1 << 23) - kLaneZero));
    __m128i quotient = _mm_cvttps_epi32(
        _mm_mul_ps(_mm_cvtepi32_ps(x), _mm_castsi128_ps(multiplier)));
    return _mm_add_epi32(quotient, _mm_set1_epi32(kLaneZero));
  }
  static Vec step(Chain* chain, Vec sum, Vec multiplier) {
    chain->low = mean(sum.low, chain->low, multiplier.low);
    chain->high = mean(sum.high, chain->high, multiplier.high);
    return *chain;
  }
  static __m128i wrapTop(__m128i cell) {
    __m128i top = _mm_cmpeq_epi32(cell, _mm_set1_epi32(kLaneTop));
    return _mm_andnot_si128(_mm_and_si128(top, _mm_set1_epi32(kLaneTopBits)),
                            cell);
  }
  static Vec wrapTop(Chain* chain, Vec) {
    chain->low = wrapTop(chain->low);
    chain->high = wrapTop(chain->high);
    return *chain;
  }
};

}  // namespace

QUILLORN_DEFINE_LANE_STEPS(Sse2Ops, Sse2)
QUILLORN_DEFINE_LANE_TRANSFERS(Sse2Ops, Sse2)

#endif  // QUILLORN_X86_KERNELS
