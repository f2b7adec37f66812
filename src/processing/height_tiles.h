// Cutting a map into tiles of one size that share their edges ("-tiles"): a
// tile's last column is its right neighbour's first and its last row the
// first of the tile below, as adjoining terrains share their edge vertices.
#ifndef QUILLORN_PROCESSING_HEIGHT_TILES_H_
#define QUILLORN_PROCESSING_HEIGHT_TILES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/height_planes.h"

// How many tiles across and down ("-tiles <columns>x<rows>").
struct TileGrid {
  int32_t columns = 1;
  int32_t rows = 1;
};

// The tiles of a map: tileWidth x tileHeight each, tile (i, j) starting at
// column i (tileWidth - 1) and row j (tileHeight - 1), so that the whole is
// columns (tileWidth - 1) + 1 wide and rows (tileHeight - 1) + 1 high.
struct TilePlan {
  TileGrid grid;
  int32_t tileWidth = 1;
  int32_t tileHeight = 1;
};

// The whole map's width and height under plan.
int32_t planWidth(const TilePlan& plan);
int32_t planHeight(const TilePlan& plan);

// The tiles of a width x height map as it is: false, with a reason naming
// the nearest sizes that would cut evenly, when width - 1 is not a multiple
// of the columns or height - 1 of the rows (a single tile always fits), or
// when there are more tiles than pixels to share.
bool planTiles(int32_t width, int32_t height, TileGrid grid, TilePlan* plan,
               std::string* error);

// Which corner the tile numbers count from, and how the names read.
enum class TileNaming {
  kFromTop,     // <name>_x<i>_y<j>: i from the left, j from the top
  kFromBottom,  // <name>_x<i>_y<j>: j from the bottom (World Composition's
                // Flip Tile Y Coordinate, World Machine's tiles)
  kUnity,       // <name>_<i>_<j>: j (Unity's z) from the bottom, both
                // zero-padded to the widest index, as the Terrain Toolbox
                // sorts names as text
};

// The file of tile (column, row) of grid, counted from the top left,
// beside outputPath: the suffix goes before the extension of the last path
// component ("out/tiles.png" gives "out/tiles_x1_y0.png").
std::string tileFileName(const std::string& outputPath, TileNaming naming,
                         TileGrid grid, int32_t column, int32_t row);

// True when name (a file's name, without its folder) reads as a tile of
// prefix to an importer that takes every such file: prefix, "_x", digits,
// "_y", digits, then an extension, in any case.
bool isTileName(const std::string& name, const std::string& prefix);

// The place a tile's name gives, read back: "<prefix>_x<i>_y<j>.<ext>"
// (as kFromTop and kFromBottom write them; which one, the name cannot
// tell) or "<prefix>_<i>_<j>.<ext>" (kUnity: unity set, j from the
// bottom), in any case, in any folder; the prefix in lower case. False for
// any other name.
bool tilePlaceOfName(const std::string& path, std::string* prefix,
                     int32_t* column, int32_t* row, bool* unity);

// The tiles' names as a pattern for a reader: "out/tiles_x<i>_y<j>.png",
// "out/t_<x>_<z>.raw".
std::string tileNamePattern(const std::string& outputPath, TileNaming naming);

// One tile of a whole map's planes, read in place: its planes are row tables
// into the whole's memory, so cutting costs no copy. Valid while the
// whole's planes live; never released with releasePlanes. Its planes point
// into its own rows: cut into the object that is used, not into a copy.
struct TilePlanes {
  PlaneSet planes;  // width and height the tile's
  std::vector<uint8_t*> rows;
};

// Points tile at tile (column, row), counted from the top left, of the
// whole's planes under plan.
void cutTile(const PlaneSet& whole, const TilePlan& plan, int32_t column,
             int32_t row, TilePlanes* tile);

#endif  // QUILLORN_PROCESSING_HEIGHT_TILES_H_
