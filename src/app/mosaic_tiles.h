// What reading a mosaic's tiles into the whole shares between its byte
// planes and its float plane: a tile opened again for its reading, what
// lay where it is read over, and the means where tiles meet.
#ifndef QUILLORN_APP_MOSAIC_TILES_H_
#define QUILLORN_APP_MOSAIC_TILES_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "image/input_image.h"
#include "platform/files.h"
#include "processing/tile_layout.h"

// Opens and inspects a tile again for its reading (its samples as they
// stand, its kind by its name); false with error set and the tile's reason
// told.
bool openTile(const std::string& path, const ReadRequest& whole,
              FileStream* stream, InputImage* image, std::string* error,
              std::ostream& diagnostics);

// What lay in a part of the whole before a tile was read over it.
struct SavedPart {
  TileRect rect;
  std::vector<uint16_t> codes;
  std::vector<uint8_t> marks;
  std::vector<float> floats;
};

// Where tiles met and did not agree.
struct EdgeDifference {
  int64_t shared = 0;
  int64_t differing = 0;
  double largest = 0;
};

// The warning for a tile whose shared samples differ from the tiles'
// before it; nothing when none did.
void warnAboutEdges(const std::string& path, const EdgeDifference& edges,
                    std::ostream& diagnostics);

// True when (row, column) lies in one of the parts before parts[index]:
// a corner that several tiles share is saved and joined once.
bool inEarlierPart(const std::vector<TileRect>& parts, size_t index,
                   int32_t row, int32_t column);

// What lies under each of parts before its tile is read, a SavedPart each:
// take(&part, row, column) saves one sample, for every sample of the part
// but those an earlier part holds.
template <typename Take>
std::vector<SavedPart> saveParts(const std::vector<TileRect>& parts,
                                 Take take) {
  std::vector<SavedPart> saved;
  for (size_t index = 0; index < parts.size(); ++index) {
    const TileRect& rect = parts[index];
    SavedPart part;
    part.rect = rect;
    for (int32_t row = rect.top; row < rect.top + rect.height; ++row) {
      for (int32_t column = rect.left; column < rect.left + rect.width;
           ++column) {
        if (!inEarlierPart(parts, index, row, column)) {
          take(&part, row, column);
        }
      }
    }
    saved.push_back(part);
  }
  return saved;
}

// How many earlier tiles hold (row, column): the weight of what lies
// there in a mean with the tile read now.
int32_t earlierCover(const std::vector<TileRect>& parts, int32_t row,
                     int32_t column);

// The mean of n samples whose mean is old and of now.
inline double meanWith(double old, int32_t n, double now) {
  return (old * n + now) / (n + 1);
}

#endif  // QUILLORN_APP_MOSAIC_TILES_H_
