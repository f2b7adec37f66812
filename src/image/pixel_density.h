// How many pixels a metre of the picture holds, which a bitmap's header, a
// PNG's pHYs chunk and a TIFF's resolution tags each record: carried from
// one to another so that a map converted there and back keeps its bytes.
#ifndef QUILLORN_IMAGE_PIXEL_DENSITY_H_
#define QUILLORN_IMAGE_PIXEL_DENSITY_H_

#include <cstdint>

// Pixels per metre across and down; 0 where the file says none.
struct PixelDensity {
  uint32_t across = 0;
  uint32_t down = 0;
  // True when both are given.
  bool known() const { return across > 0 && down > 0; }
};

// What a bitmap's header holds when nothing else is known: 72 pixels per
// inch, as most programs write.
constexpr uint32_t kDefaultPixelsPerMetre = 2835;

#endif  // QUILLORN_IMAGE_PIXEL_DENSITY_H_
