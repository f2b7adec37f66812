#include "image/pixel_rows.h"

#include "image/height_planes.h"
#include "platform/compiler.h"

#ifdef QUILLORN_X86_KERNELS
#include <immintrin.h>
#endif
#ifdef QUILLORN_WASM_KERNELS
#include <wasm_simd128.h>
#endif

namespace {

void splitBgrScalar(const uint8_t* QUILLORN_RESTRICT bytes,
                    uint8_t* QUILLORN_RESTRICT red,
                    uint8_t* QUILLORN_RESTRICT green,
                    uint8_t* QUILLORN_RESTRICT blue, size_t count) {
  for (size_t column = 0; column < count; ++column) {
    blue[column] = bytes[3 * column];
    green[column] = bytes[3 * column + 1];
    red[column] = bytes[3 * column + 2];
  }
}

void joinBgrScalar(const uint8_t* QUILLORN_RESTRICT red,
                   const uint8_t* QUILLORN_RESTRICT green,
                   const uint8_t* QUILLORN_RESTRICT blue,
                   uint8_t* QUILLORN_RESTRICT bytes, size_t count) {
  for (size_t column = 0; column < count; ++column) {
    bytes[3 * column] = blue[column];
    bytes[3 * column + 1] = green[column];
    bytes[3 * column + 2] = red[column];
  }
}

#ifdef QUILLORN_X86_KERNELS
// Shuffle masks that gather channel bytes of 16 pixels (48 bytes, three
// vectors) into one vector: kMasks[channel][vector][position] is the byte of
// that vector that lands at position, or 0x80 (a zero) when it lies in
// another vector.
struct SplitMasks {
  alignas(16) uint8_t bytes[3][3][16];
};

constexpr SplitMasks makeSplitMasks() {
  SplitMasks masks{};
  for (int channel = 0; channel < 3; ++channel) {
    for (int vector = 0; vector < 3; ++vector) {
      for (int position = 0; position < 16; ++position) {
        int source = 3 * position + channel;
        masks.bytes[channel][vector][position] =
            static_cast<uint8_t>(source / 16 == vector ? source % 16 : 0x80);
      }
    }
  }
  return masks;
}

constexpr SplitMasks kSplitMasks = makeSplitMasks();

QUILLORN_TARGET("ssse3")
__m128i gatherChannel(__m128i a, __m128i b, __m128i c, int channel) {
  auto mask = [channel](int vector) {
    return _mm_load_si128(
        reinterpret_cast<const __m128i*>(kSplitMasks.bytes[channel][vector]));
  };
  return _mm_or_si128(
      _mm_or_si128(_mm_shuffle_epi8(a, mask(0)), _mm_shuffle_epi8(b, mask(1))),
      _mm_shuffle_epi8(c, mask(2)));
}

QUILLORN_TARGET("ssse3")
void splitBgrSsse3(const uint8_t* QUILLORN_RESTRICT bytes,
                   uint8_t* QUILLORN_RESTRICT red,
                   uint8_t* QUILLORN_RESTRICT green,
                   uint8_t* QUILLORN_RESTRICT blue, size_t count) {
  size_t column = 0;
  for (; column + 16 <= count; column += 16) {
    const uint8_t* from = bytes + 3 * column;
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 16));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 32));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + column),
                     gatherChannel(a, b, c, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(green + column),
                     gatherChannel(a, b, c, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(red + column),
                     gatherChannel(a, b, c, 2));
  }
  splitBgrScalar(bytes + 3 * column, red + column, green + column,
                 blue + column, count - column);
}

// The join's masks, the split's turned round: kJoinMasks[channel][vector]
// [position] is the pixel of the channel's 16 whose byte lands at position
// of that output vector, or 0x80 where another channel's does.
constexpr SplitMasks makeJoinMasks() {
  SplitMasks masks{};
  for (int channel = 0; channel < 3; ++channel) {
    for (int vector = 0; vector < 3; ++vector) {
      for (int position = 0; position < 16; ++position) {
        int byte = 16 * vector + position;
        masks.bytes[channel][vector][position] =
            static_cast<uint8_t>(byte % 3 == channel ? byte / 3 : 0x80);
      }
    }
  }
  return masks;
}

constexpr SplitMasks kJoinMasks = makeJoinMasks();

QUILLORN_TARGET("ssse3")
__m128i scatterChannels(__m128i blue, __m128i green, __m128i red, int vector) {
  auto mask = [vector](int channel) {
    return _mm_load_si128(
        reinterpret_cast<const __m128i*>(kJoinMasks.bytes[channel][vector]));
  };
  return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(blue, mask(0)),
                                   _mm_shuffle_epi8(green, mask(1))),
                      _mm_shuffle_epi8(red, mask(2)));
}

QUILLORN_TARGET("ssse3")
void joinBgrSsse3(const uint8_t* QUILLORN_RESTRICT red,
                  const uint8_t* QUILLORN_RESTRICT green,
                  const uint8_t* QUILLORN_RESTRICT blue,
                  uint8_t* QUILLORN_RESTRICT bytes, size_t count) {
  size_t column = 0;
  for (; column + 16 <= count; column += 16) {
    __m128i b =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + column));
    __m128i g =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(green + column));
    __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(red + column));
    uint8_t* to = bytes + 3 * column;
    for (int vector = 0; vector < 3; ++vector) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * vector),
                       scatterChannels(b, g, r, vector));
    }
  }
  joinBgrScalar(red + column, green + column, blue + column, bytes + 3 * column,
                count - column);
}
#endif

#ifdef QUILLORN_WASM_KERNELS
// The bytes of channel kChannel of 16 pixels (48 bytes in a, b and c): those
// of a and b first, then the rest from c. A shuffle's lanes must be
// constants, so every lane's source is spelled out.
#define QUILLORN_FROM_AB(p) (3 * (p) + kChannel < 32 ? 3 * (p) + kChannel : 0)
#define QUILLORN_FROM_C(p) \
  (3 * (p) + kChannel < 32 ? (p) : 3 * (p) + kChannel - 16)
template <int kChannel>
v128_t gatherChannelWasm(v128_t a, v128_t b, v128_t c) {
  v128_t ab = wasm_i8x16_shuffle(
      a, b, QUILLORN_FROM_AB(0), QUILLORN_FROM_AB(1), QUILLORN_FROM_AB(2),
      QUILLORN_FROM_AB(3), QUILLORN_FROM_AB(4), QUILLORN_FROM_AB(5),
      QUILLORN_FROM_AB(6), QUILLORN_FROM_AB(7), QUILLORN_FROM_AB(8),
      QUILLORN_FROM_AB(9), QUILLORN_FROM_AB(10), QUILLORN_FROM_AB(11),
      QUILLORN_FROM_AB(12), QUILLORN_FROM_AB(13), QUILLORN_FROM_AB(14),
      QUILLORN_FROM_AB(15));
  return wasm_i8x16_shuffle(
      ab, c, QUILLORN_FROM_C(0), QUILLORN_FROM_C(1), QUILLORN_FROM_C(2),
      QUILLORN_FROM_C(3), QUILLORN_FROM_C(4), QUILLORN_FROM_C(5),
      QUILLORN_FROM_C(6), QUILLORN_FROM_C(7), QUILLORN_FROM_C(8),
      QUILLORN_FROM_C(9), QUILLORN_FROM_C(10), QUILLORN_FROM_C(11),
      QUILLORN_FROM_C(12), QUILLORN_FROM_C(13), QUILLORN_FROM_C(14),
      QUILLORN_FROM_C(15));
}
#undef QUILLORN_FROM_AB
#undef QUILLORN_FROM_C

void splitBgrWasm(const uint8_t* QUILLORN_RESTRICT bytes,
                  uint8_t* QUILLORN_RESTRICT red,
                  uint8_t* QUILLORN_RESTRICT green,
                  uint8_t* QUILLORN_RESTRICT blue, size_t count) {
  size_t column = 0;
  for (; column + 16 <= count; column += 16) {
    const uint8_t* from = bytes + 3 * column;
    v128_t a = wasm_v128_load(from);
    v128_t b = wasm_v128_load(from + 16);
    v128_t c = wasm_v128_load(from + 32);
    wasm_v128_store(blue + column, gatherChannelWasm<0>(a, b, c));
    wasm_v128_store(green + column, gatherChannelWasm<1>(a, b, c));
    wasm_v128_store(red + column, gatherChannelWasm<2>(a, b, c));
  }
  splitBgrScalar(bytes + 3 * column, red + column, green + column,
                 blue + column, count - column);
}

// Bytes 16 * kPart ... 16 * kPart + 15 of 16 pixels joined as blue, green,
// red: blue and green first, then red among them.
#define QUILLORN_BYTE(k) (16 * kPart + (k))
#define QUILLORN_FROM_BG(k)                                \
  (QUILLORN_BYTE(k) % 3 == 0   ? QUILLORN_BYTE(k) / 3      \
   : QUILLORN_BYTE(k) % 3 == 1 ? 16 + QUILLORN_BYTE(k) / 3 \
                               : 0)
#define QUILLORN_FROM_R(k) \
  (QUILLORN_BYTE(k) % 3 == 2 ? 16 + QUILLORN_BYTE(k) / 3 : (k))
template <int kPart>
v128_t joinPartWasm(v128_t red, v128_t green, v128_t blue) {
  v128_t bg = wasm_i8x16_shuffle(
      blue, green, QUILLORN_FROM_BG(0), QUILLORN_FROM_BG(1),
      QUILLORN_FROM_BG(2), QUILLORN_FROM_BG(3), QUILLORN_FROM_BG(4),
      QUILLORN_FROM_BG(5), QUILLORN_FROM_BG(6), QUILLORN_FROM_BG(7),
      QUILLORN_FROM_BG(8), QUILLORN_FROM_BG(9), QUILLORN_FROM_BG(10),
      QUILLORN_FROM_BG(11), QUILLORN_FROM_BG(12), QUILLORN_FROM_BG(13),
      QUILLORN_FROM_BG(14), QUILLORN_FROM_BG(15));
  return wasm_i8x16_shuffle(
      bg, red, QUILLORN_FROM_R(0), QUILLORN_FROM_R(1), QUILLORN_FROM_R(2),
      QUILLORN_FROM_R(3), QUILLORN_FROM_R(4), QUILLORN_FROM_R(5),
      QUILLORN_FROM_R(6), QUILLORN_FROM_R(7), QUILLORN_FROM_R(8),
      QUILLORN_FROM_R(9), QUILLORN_FROM_R(10), QUILLORN_FROM_R(11),
      QUILLORN_FROM_R(12), QUILLORN_FROM_R(13), QUILLORN_FROM_R(14),
      QUILLORN_FROM_R(15));
}
#undef QUILLORN_BYTE
#undef QUILLORN_FROM_BG
#undef QUILLORN_FROM_R
#endif

}  // namespace

void splitBgrRow(const uint8_t* bytes, uint8_t* red, uint8_t* green,
                 uint8_t* blue, size_t count) {
#ifdef QUILLORN_X86_KERNELS
  if (processorHasSsse3()) {
    splitBgrSsse3(bytes, red, green, blue, count);
    return;
  }
#endif
#ifdef QUILLORN_WASM_KERNELS
  splitBgrWasm(bytes, red, green, blue, count);
#else
  splitBgrScalar(bytes, red, green, blue, count);
#endif
}

// The compiler's own vectorization of the interleave (its AVX2 clone) took
// twice the split's time; the shuffles mirror the split's.
void joinBgrRow(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                uint8_t* bytes, size_t count) {
#ifdef QUILLORN_X86_KERNELS
  if (processorHasSsse3()) {
    joinBgrSsse3(red, green, blue, bytes, count);
    return;
  }
#endif
  size_t column = 0;
#ifdef QUILLORN_WASM_KERNELS
  for (; column + 16 <= count; column += 16) {
    v128_t r = wasm_v128_load(red + column);
    v128_t g = wasm_v128_load(green + column);
    v128_t b = wasm_v128_load(blue + column);
    uint8_t* to = bytes + 3 * column;
    wasm_v128_store(to, joinPartWasm<0>(r, g, b));
    wasm_v128_store(to + 16, joinPartWasm<1>(r, g, b));
    wasm_v128_store(to + 32, joinPartWasm<2>(r, g, b));
  }
#endif
  joinBgrScalar(red + column, green + column, blue + column, bytes + 3 * column,
                count - column);
}

QUILLORN_VECTORIZED
void splitPairRow(const uint8_t* QUILLORN_RESTRICT bytes,
                  uint8_t* QUILLORN_RESTRICT first,
                  uint8_t* QUILLORN_RESTRICT second, size_t count) {
  size_t column = 0;
#ifdef QUILLORN_WASM_KERNELS
  for (; column + 16 <= count; column += 16) {
    v128_t a = wasm_v128_load(bytes + 2 * column);
    v128_t b = wasm_v128_load(bytes + 2 * column + 16);
    wasm_v128_store(first + column,
                    wasm_i8x16_shuffle(a, b, 0, 2, 4, 6, 8, 10, 12, 14, 16, 18,
                                       20, 22, 24, 26, 28, 30));
    wasm_v128_store(second + column,
                    wasm_i8x16_shuffle(a, b, 1, 3, 5, 7, 9, 11, 13, 15, 17, 19,
                                       21, 23, 25, 27, 29, 31));
  }
#endif
  for (; column < count; ++column) {
    first[column] = bytes[2 * column];
    second[column] = bytes[2 * column + 1];
  }
}

QUILLORN_VECTORIZED
void joinPairRow(const uint8_t* QUILLORN_RESTRICT first,
                 const uint8_t* QUILLORN_RESTRICT second,
                 uint8_t* QUILLORN_RESTRICT bytes, size_t count) {
  size_t column = 0;
#ifdef QUILLORN_WASM_KERNELS
  for (; column + 16 <= count; column += 16) {
    v128_t a = wasm_v128_load(first + column);
    v128_t b = wasm_v128_load(second + column);
    wasm_v128_store(bytes + 2 * column,
                    wasm_i8x16_shuffle(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20,
                                       5, 21, 6, 22, 7, 23));
    wasm_v128_store(bytes + 2 * column + 16,
                    wasm_i8x16_shuffle(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12,
                                       28, 13, 29, 14, 30, 15, 31));
  }
#endif
  for (; column < count; ++column) {
    bytes[2 * column] = first[column];
    bytes[2 * column + 1] = second[column];
  }
}

QUILLORN_VECTORIZED
void widenRow(uint8_t* red, uint8_t* green, size_t count) {
  for (size_t column = 0; column < count; ++column) {
    uint32_t value = static_cast<uint32_t>(
        decodeHeightIn<kHeightBase>(red[column], green[column]));
    encodeSmallHeightIn<kWideBase>(value, &red[column], &green[column]);
  }
}

QUILLORN_VECTORIZED
int64_t narrowBgrRow(const uint8_t* QUILLORN_RESTRICT red,
                     const uint8_t* QUILLORN_RESTRICT green,
                     uint8_t* QUILLORN_RESTRICT bytes, size_t count) {
  int64_t clamped = 0;
  for (size_t column = 0; column < count; ++column) {
    uint32_t value = static_cast<uint32_t>(
        decodeHeightIn<kWideBase>(red[column], green[column]));
    bool over = value > kLargestStoredHeight;
    clamped += over;
    value = over ? static_cast<uint32_t>(kLargestStoredHeight) : value;
    bytes[3 * column] = 0;
    encodeSmallHeight(value, &bytes[3 * column + 2], &bytes[3 * column + 1]);
  }
  return clamped;
}
