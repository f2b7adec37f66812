#include "image/pixel_rows.h"

#include "image/height_planes.h"
#include "platform/compiler.h"

#ifdef QUILLORN_X86_KERNELS
#include <immintrin.h>
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

}  // namespace

void splitBgrRow(const uint8_t* bytes, uint8_t* red, uint8_t* green,
                 uint8_t* blue, size_t count) {
#ifdef QUILLORN_X86_KERNELS
  if (processorHasSsse3()) {
    splitBgrSsse3(bytes, red, green, blue, count);
    return;
  }
#endif
  splitBgrScalar(bytes, red, green, blue, count);
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
  joinBgrScalar(red, green, blue, bytes, count);
}

QUILLORN_VECTORIZED
void splitPairRow(const uint8_t* QUILLORN_RESTRICT bytes,
                  uint8_t* QUILLORN_RESTRICT first,
                  uint8_t* QUILLORN_RESTRICT second, size_t count) {
  for (size_t column = 0; column < count; ++column) {
    first[column] = bytes[2 * column];
    second[column] = bytes[2 * column + 1];
  }
}

QUILLORN_VECTORIZED
void joinPairRow(const uint8_t* QUILLORN_RESTRICT first,
                 const uint8_t* QUILLORN_RESTRICT second,
                 uint8_t* QUILLORN_RESTRICT bytes, size_t count) {
  for (size_t column = 0; column < count; ++column) {
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
