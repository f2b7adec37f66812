// Reading a mosaic's float tiles one at a time into the whole's float
// plane, gaps and nodata NaN.
#include <algorithm>
#include <cmath>

#include "app/diagnostics.h"
#include "app/mosaic_input.h"
#include "app/mosaic_tiles.h"
#include "image/height_formats.h"
#include "image/input_reading.h"

namespace {

std::vector<SavedPart> saveFloats(const FloatPlane& floats,
                                  const std::vector<TileRect>& parts) {
  return saveParts(parts, [&](SavedPart* part, int32_t row, int32_t column) {
    part->floats.push_back(floats.row(row)[column]);
  });
}

void mergeFloats(FloatPlane* floats, const std::vector<TileRect>& parts,
                 const std::vector<SavedPart>& saved, EdgeDifference* edges) {
  for (size_t index = 0; index < saved.size(); ++index) {
    const SavedPart& part = saved[index];
    const TileRect& rect = part.rect;
    size_t at = 0;
    for (int32_t row = rect.top; row < rect.top + rect.height; ++row) {
      for (int32_t column = rect.left; column < rect.left + rect.width;
           ++column) {
        if (inEarlierPart(parts, index, row, column)) continue;
        const float old = part.floats[at++];
        float& now = floats->row(row)[column];
        if (isNodata(old)) continue;
        if (isNodata(now)) {
          now = old;
          continue;
        }
        ++edges->shared;
        if (old != now) {
          ++edges->differing;
          edges->largest = std::max(edges->largest,
                                    std::fabs(static_cast<double>(old) - now));
          now = static_cast<float>(
              meanWith(old, earlierCover(parts, row, column), now));
        }
      }
    }
  }
}

// Reads float tile index into its part of floats, joined with the tiles
// before it; false with error set.
bool readTileFloats(const InputMosaic& mosaic, size_t index, InputImage* whole,
                    FloatPlane* floats, EdgeDifference* edges,
                    std::string* error, std::ostream& diagnostics,
                    const Progress* progress) {
  const std::string& path = mosaic.tiles[index];
  const TileRect& rect = mosaic.layout.rects[index];
  FileStream stream;
  InputImage tile;
  if (!openTile(path, mosaic.request, &stream, &tile, error, diagnostics)) {
    return false;
  }
  const std::vector<TileRect> parts = earlierOverlaps(mosaic.layout, index);
  const std::vector<SavedPart> saved = saveFloats(*floats, parts);
  FloatPlane part =
      floatPlaneView(*floats, rect.left, rect.top, rect.width, rect.height);
  const bool read = readInputFloats(&stream, &tile, &part, error, progress);
  if (!read) reportFailure(stream, diagnostics);
  releaseInput(&tile);
  closeInputFile(&stream);
  if (!read) return false;
  whole->floatsRounded += tile.floatsRounded;
  whole->samplesRounded += tile.samplesRounded;
  mergeFloats(floats, parts, saved, edges);
  return true;
}

}  // namespace

bool readMosaicFloats(const InputMosaic& mosaic, InputImage* whole,
                      FloatPlane* floats, std::string* error,
                      std::ostream& diagnostics, const Progress* progress) {
  whole->mapping = SampleMapping();
  const float nodata = std::nanf("");
  for (int32_t row = 0; row < whole->height; ++row) {
    for (const auto& gap : gapsInRow(mosaic.layout, row)) {
      std::fill_n(floats->row(row) + gap.first, gap.second, nodata);
    }
  }
  const int64_t count = static_cast<int64_t>(mosaic.tiles.size());
  for (size_t index = 0; index < mosaic.tiles.size(); ++index) {
    PassProgress pass;
    startPass(&pass, progress, static_cast<int64_t>(index), count);
    EdgeDifference edges;
    if (!readTileFloats(mosaic, index, whole, floats, &edges, error,
                        diagnostics, &pass.progress)) {
      return false;
    }
    warnAboutEdges(mosaic.tiles[index], edges, diagnostics);
  }
  for (int32_t row = 0; row < whole->height; ++row) {
    const float* values = floats->row(row);
    for (int32_t column = 0; column < whole->width; ++column) {
      if (isNodata(values[column])) ++whole->mapping.nodata;
    }
  }
  return true;
}
