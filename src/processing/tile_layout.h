// Where the tiles of a mosaic lie in the one map they make: placed by
// their georeference on the grid of the first, or by the column and row
// their names give. Neighbours may share edge samples; what no tile covers
// is a gap.
#ifndef QUILLORN_PROCESSING_TILE_LAYOUT_H_
#define QUILLORN_PROCESSING_TILE_LAYOUT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/geo_reference.h"

// A part of the whole: its top left and its size, in samples.
struct TileRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// One georeferenced tile: its raster's map to model coordinates, whether
// its samples lie on whole raster coordinates (else each covers the area
// to the next), and its size.
struct GeoTile {
  Affine toModel;
  bool pointSamples = false;
  int32_t width = 0;
  int32_t height = 0;
};

// One tile named for its place: column i from the left, row j from the
// top (already turned from a name that counts from the bottom), its size.
struct GridTile {
  int32_t column = 0;
  int32_t row = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The whole and each tile's part of it, in the tiles' order.
struct TileLayout {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<TileRect> rects;
};

// Why a tile does not fit: its index and what differs, in words that
// follow "<tile>: ".
struct TileMisfit {
  size_t tile = 0;
  std::string reason;
};

// Places georeferenced tiles on the first one's grid: every tile north up,
// with the first one's spacing, its samples on that grid. False with the
// misfit otherwise, or when the whole would exceed 2^31 - 1 samples a side.
bool placeGeoTiles(const std::vector<GeoTile>& tiles, TileLayout* layout,
                   TileMisfit* misfit);

// Places tiles by their names: tile (i, j) at column i (width - overlap),
// row j (height - overlap), each tile of one size but the last column's
// and the last row's, which may be narrower, as a cut that did not come
// out even leaves them. False with the misfit when a size does not fit
// the grid or two tiles name one place.
bool placeGridTiles(const std::vector<GridTile>& tiles, int32_t overlap,
                    TileLayout* layout, TileMisfit* misfit);

// Where tile index overlaps the tiles before it, one part per earlier
// tile it meets.
std::vector<TileRect> earlierOverlaps(const TileLayout& layout, size_t index);

// The runs of row row that no tile covers, as (left, count) pairs.
std::vector<std::pair<int32_t, int32_t>> gapsInRow(const TileLayout& layout,
                                                   int32_t row);

#endif  // QUILLORN_PROCESSING_TILE_LAYOUT_H_
