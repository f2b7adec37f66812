// A picture of the terrain: hill-shaded with light from the north-west and
// tinted from low to high, for people to look at in any image viewer.
#ifndef QUILLORN_PROCESSING_SHADED_RELIEF_H_
#define QUILLORN_PROCESSING_SHADED_RELIEF_H_

#include <cstdint>
#include <vector>

#include "image/height_planes.h"

// How the heights of one map are drawn: the colour ramp spans range, and the
// relief is exaggerated by the same measure whatever the map's size.
struct ReliefStyle {
  HeightRange range;
  float heightScale = 0.0f;  // pixels of relief per unit of height
  // Every colour the picture uses, packed red | green << 8 | blue << 16:
  // the ramp's steps along the range (low first), each at every level of
  // light.
  std::vector<uint32_t> colours;
};

// The style for a map of width x height pixels whose heights span range (a
// flat map gets no relief and the ramp's middle colour).
ReliefStyle reliefStyle(HeightRange range, int32_t width, int32_t height);

// Working rows for shading one map, made once and reused for every piece of
// a row: as long as the longest piece.
struct ReliefRows {
  std::vector<float> heights;    // three rows, each padded by one column
  std::vector<int32_t> colours;  // each pixel's entry of style.colours
};

// Colours count pixels from column on of image row row of the target
// heights (planes in base) as red, green, blue byte triples in rgb. Slopes
// are measured across two pixels; past the edges the edge repeats. Rows may
// be shaded in pieces of any length: the colours do not depend on them.
void shadeReliefRow(const PlaneSet& planes, int32_t width, int32_t height,
                    const ReliefStyle& style, int32_t row, int32_t column,
                    int32_t count, uint8_t* rgb, ReliefRows* rows);

#endif  // QUILLORN_PROCESSING_SHADED_RELIEF_H_
