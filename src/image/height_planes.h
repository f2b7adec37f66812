// The in-memory image: byte planes, the two-channel height encoding and the
// range scan that every processing step shares.
#ifndef QUILLORN_IMAGE_HEIGHT_PLANES_H_
#define QUILLORN_IMAGE_HEIGHT_PLANES_H_

#include <cstdint>
#include <string>

// One height: green * kHeightBase + red of a pixel. Decoded heights lie in
// 0 ... 65280; processing may produce any 32-bit value.
using HeightValue = int32_t;

// The base of the two-channel encoding: 255, not 256.
constexpr HeightValue kHeightBase = 255;

// The largest height stored exactly (red 254, green 255); from 65280 up the
// green byte wraps.
constexpr HeightValue kLargestStoredHeight = 65279;

// Planes that carry 16-bit heights (from or for a 16-bit file format) use
// base 256: red the low byte, green the high byte, heights 0 ... 65535, and
// values beyond that range saturate when stored instead of wrapping.
constexpr HeightValue kWideBase = 256;
constexpr HeightValue kLargestWideHeight = 65535;

// The nodata height of a 16-bit output without one: no height of the map is
// written in place of nodata.
constexpr int32_t kNoNodata = -1;

// The largest height a plane pair of base (255 or 256) stores exactly.
constexpr HeightValue largestStoredHeight(HeightValue base) {
  return base == kHeightBase ? kLargestStoredHeight : kLargestWideHeight;
}

// The height of one pixel: green * 255 + red, in 0 ... 65280.
inline HeightValue decodeHeight(uint8_t red, uint8_t green) {
  return green * kHeightBase + red;
}

// Stores value as red = value % 255 and green = value / 255 (both truncating
// toward zero), each kept as its low 8 bits: 0 ... 65279 round-trip exactly,
// green wraps from 65280 up, and negative values keep their low bytes. Any
// 64-bit value follows the same rule.
inline void encodeHeight(int64_t value, uint8_t* red, uint8_t* green) {
  *red = static_cast<uint8_t>(value % kHeightBase);
  *green = static_cast<uint8_t>(value / kHeightBase);
}

// value / 255, truncated, for every value in 0 ... 65535, without a division
// (so that vector loops can use it).
inline uint32_t divideBy255(uint32_t value) { return (value * 32897u) >> 23; }

// encodeHeight for a value known to lie in 0 ... 65535, in the form the
// vector loops compile well.
inline void encodeSmallHeight(uint32_t value, uint8_t* red, uint8_t* green) {
  uint32_t quotient = divideBy255(value);
  *red = static_cast<uint8_t>(value - quotient * 255u);
  *green = static_cast<uint8_t>(quotient);
}

// The height of a pixel of planes in base kBase (255 or 256), for kernels
// that are built once per base.
template <HeightValue kBase>
inline HeightValue decodeHeightIn(uint8_t red, uint8_t green) {
  if (kBase == kWideBase) return red | green << 8;
  return decodeHeight(red, green);
}

// Stores a value known to lie in 0 ... 65535 in base kBase (base 255 as
// encodeSmallHeight does).
template <HeightValue kBase>
inline void encodeSmallHeightIn(uint32_t value, uint8_t* red, uint8_t* green) {
  if (kBase == kWideBase) {
    *red = static_cast<uint8_t>(value);
    *green = static_cast<uint8_t>(value >> 8);
  } else {
    encodeSmallHeight(value, red, green);
  }
}

// Stores any value in base (255 or 256): base 255 by the encoding's rule,
// base 256 saturated to 0 ... 65535.
inline void storeHeight(HeightValue base, int64_t value, uint8_t* red,
                        uint8_t* green) {
  if (base == kHeightBase) {
    encodeHeight(value, red, green);
    return;
  }
  int64_t stored = value < 0                    ? 0
                   : value > kLargestWideHeight ? kLargestWideHeight
                                                : value;
  encodeSmallHeightIn<kWideBase>(static_cast<uint32_t>(stored), red, green);
}

// The height of a pixel of planes in base (255 or 256).
inline HeightValue decodeHeightIn(HeightValue base, uint8_t red,
                                  uint8_t green) {
  return base == kHeightBase ? decodeHeight(red, green)
                             : decodeHeightIn<kWideBase>(red, green);
}

// How many stored values left the range a plane pair holds exactly, at each
// end: heights that wrapped (base 255) or were clamped (base 256).
struct StoreCount {
  int64_t low = 0;   // below 0
  int64_t high = 0;  // above largestStoredHeight(base)
};

// height rows x width columns of bytes, reached as plane[row][column]. The
// plane does not know its size: width and height travel beside it. A const
// plane gives read-only rows.
struct BytePlane {
  uint8_t** rows = nullptr;

  uint8_t* operator[](int32_t row) { return rows[row]; }
  const uint8_t* operator[](int32_t row) const { return rows[row]; }
};

// The source planes (as read) and the target planes (as written). Red carries
// the low part of a height, green the high part; blue is passed through.
// Plane row 0 is the image's top row. Every conversion computes a target
// pixel from the same source pixel alone, and nothing reads the source after
// the conversion, so each target plane shares its source plane's memory:
// the set owns the blocks of planes and one of row tables, which
// releasePlanes frees once.
struct PlaneSet {
  BytePlane inRed;
  BytePlane inGreen;
  BytePlane inBlue;
  BytePlane outRed;
  BytePlane outGreen;
  BytePlane outBlue;
  int32_t width = 0;  // as allocated, for the release
  int32_t height = 0;
  HeightValue base = kHeightBase;  // 255, or kWideBase for 16-bit heights
  // Blue holds zeros alone (no marks), its memory made only where written:
  // whoever writes a byte there other than 0 clears it.
  bool blueZero = false;
  // The bytes of the block red and green's rows lie in, where it is not
  // one made for them (a float map's, taken over): 0 for their own.
  size_t heightBlockBytes = 0;
};

// The smallest and the largest height of a plane pair.
struct HeightRange {
  HeightValue min = 0;
  HeightValue max = 0;
};

// What the blue plane of a set carries.
enum class BlueUse {
  kPixels,  // a bitmap's blue bytes: made with the others, unspecified
  kMarks,   // marks, mostly none: zeros, its memory made only where written
};

// Allocates the planes for width x height pixels (both >= 1), red and green
// in one block, blue in another, each plane's rows width bytes apart, the
// target planes sharing them with the source planes, so that the target is
// the source byte for byte (red 255 stays 255) until something rewrites it.
// Red and green are unspecified until written; blue as blue says
// (blueZero set for kMarks). On
// failure nothing stays allocated, planes is left empty and error says why.
bool allocatePlanes(PlaneSet* planes, int32_t width, int32_t height,
                    std::string* error, BlueUse blue = BlueUse::kPixels);

// Makes planes (base and blueZero to be set by the caller: blue is zeros,
// made only where written) of width x height pixels whose red and green
// rows lie in block, a large block of bytes (at least 2 per pixel) that the
// set then owns and releases: row r's red and green take bytes
// 2 r width ... 2 (r + 1) width, so that a map of 4 bytes a pixel or more
// in the block can be read row by row, from the top, while its rows are
// written. On failure nothing is taken, error says why.
bool adoptHeightBlock(PlaneSet* planes, uint8_t* block, size_t bytes,
                      int32_t width, int32_t height, std::string* error);

// Frees every plane of the set and leaves it empty; safe on an empty set.
void releasePlanes(PlaneSet* planes);

// The range of the heights of the pair (low plane red, high plane green) in
// base (255 or 256), scanned from pixel [0][0] row by row. An image without
// pixels gives 0, 0.
HeightRange findHeightRange(const BytePlane& lowPlane,
                            const BytePlane& highPlane, int32_t width,
                            int32_t height, HeightValue base = kHeightBase);

#endif  // QUILLORN_IMAGE_HEIGHT_PLANES_H_
