// Reading a mosaic's tiles one at a time into the whole's byte planes: each
// tile's samples kept as they stand (16-bit codes) until every tile is in,
// then the whole's samples mapped into heights as one map's.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/diagnostics.h"
#include "app/mosaic_input.h"
#include "app/mosaic_tiles.h"
#include "image/height_formats.h"
#include "image/input_reading.h"
#include "platform/files.h"

namespace {

// A signed 16-bit sample is kept as sample + 32768, so that every code of
// the planes is a 16-bit unsigned number.
int32_t codeOffset(const SampleType& type) {
  return type.kind == SampleKind::kSigned ? 32768 : 0;
}

// Row tables of the part rect of whole's planes, for a tile read in place.
struct PartPlanes {
  PlaneSet planes;
  std::vector<uint8_t*> rows;
};

void viewPart(const PlaneSet& whole, const TileRect& rect, PartPlanes* part) {
  const BytePlane* sources[] = {&whole.inRed, &whole.inGreen, &whole.inBlue};
  const size_t rows = static_cast<size_t>(rect.height);
  part->rows.assign(3 * rows, nullptr);
  for (size_t plane = 0; plane < 3; ++plane) {
    for (size_t index = 0; index < rows; ++index) {
      part->rows[plane * rows + index] =
          sources[plane]->rows[static_cast<size_t>(rect.top) + index] +
          rect.left;
    }
  }
  PlaneSet& planes = part->planes;
  planes.inRed.rows = planes.outRed.rows = &part->rows[0];
  planes.inGreen.rows = planes.outGreen.rows = &part->rows[rows];
  planes.inBlue.rows = planes.outBlue.rows = &part->rows[2 * rows];
  planes.width = rect.width;
  planes.height = rect.height;
  planes.base = whole.base;
  planes.blueZero = true;
}

uint16_t codeAt(const PlaneSet& planes, int32_t row, int32_t column) {
  return static_cast<uint16_t>(planes.inRed[row][column] |
                               planes.inGreen[row][column] << 8);
}

void storeCode(PlaneSet* planes, int32_t row, int32_t column, uint32_t code) {
  planes->inRed[row][column] = static_cast<uint8_t>(code);
  planes->inGreen[row][column] = static_cast<uint8_t>(code >> 8);
}

// The code of each height a tile's reader made: its sample as it stands,
// offset.
std::vector<uint16_t> codesOfHeights(const SampleMapping& mapping,
                                     const BandValues& values, int32_t offset) {
  std::vector<uint16_t> codes(65536);
  for (int32_t height = 0; height < 65536; ++height) {
    double value = mapping.rule == MappingRule::kAsStored
                       ? height
                       : mapping.lowest + height * mapping.step;
    if (values.known) value = (value - values.offset) / values.scale;
    const double code = std::round(value) + offset;
    codes[static_cast<size_t>(height)] =
        static_cast<uint16_t>(std::clamp(code, 0.0, 65535.0));
  }
  return codes;
}

std::vector<SavedPart> saveCodes(PlaneSet* planes,
                                 const std::vector<TileRect>& parts) {
  return saveParts(parts, [&](SavedPart* part, int32_t row, int32_t column) {
    part->codes.push_back(codeAt(*planes, row, column));
    part->marks.push_back(planes->inBlue[row][column]);
    // The tile's reader marks only its own nodata.
    if (planes->inBlue[row][column] != 0) planes->inBlue[row][column] = 0;
  });
}

// Joins what lay under a tile with what the tile has there.
void mergeCodes(PlaneSet* planes, const std::vector<TileRect>& parts,
                const std::vector<SavedPart>& saved, double step,
                EdgeDifference* edges) {
  for (size_t index = 0; index < saved.size(); ++index) {
    const SavedPart& part = saved[index];
    size_t at = 0;
    const TileRect& rect = part.rect;
    for (int32_t row = rect.top; row < rect.top + rect.height; ++row) {
      for (int32_t column = rect.left; column < rect.left + rect.width;
           ++column) {
        if (inEarlierPart(parts, index, row, column)) continue;
        ++at;
        const bool oldValid = part.marks[at - 1] == 0;
        const bool newValid = planes->inBlue[row][column] == 0;
        const uint32_t old = part.codes[at - 1];
        const uint32_t now = codeAt(*planes, row, column);
        if (oldValid && newValid) {
          ++edges->shared;
          if (old != now) {
            ++edges->differing;
            edges->largest = std::max(
                edges->largest, step * std::abs(static_cast<int32_t>(old) -
                                                static_cast<int32_t>(now)));
            const double mean =
                meanWith(old, earlierCover(parts, row, column), now);
            storeCode(planes, row, column,
                      static_cast<uint32_t>(std::floor(mean + 0.5)));
          }
        } else if (oldValid) {
          storeCode(planes, row, column, old);
          planes->inBlue[row][column] = 0;
        } else if (!newValid) {
          planes->inBlue[row][column] = 1;
        }
      }
    }
  }
}

}  // namespace

namespace {

// Reads tile index into its part of planes as codes, joined with the
// tiles before it where they meet; false with error set.
bool readTileCodes(const InputMosaic& mosaic, size_t index, InputImage* whole,
                   PlaneSet* planes, EdgeDifference* edges, std::string* error,
                   std::ostream& diagnostics, const Progress* progress) {
  const std::string& path = mosaic.tiles[index];
  const TileRect& rect = mosaic.layout.rects[index];
  FileStream stream;
  InputImage tile;
  if (!openTile(path, mosaic.request, &stream, &tile, error, diagnostics)) {
    return false;
  }
  const std::vector<TileRect> parts = earlierOverlaps(mosaic.layout, index);
  const std::vector<SavedPart> saved = saveCodes(planes, parts);
  PartPlanes part;
  viewPart(*planes, rect, &part);
  const bool read =
      readInputHeights(&stream, &tile, &part.planes, error, progress);
  if (!read) reportFailure(stream, diagnostics);
  releaseInput(&tile);
  closeInputFile(&stream);
  if (!read) return false;
  if (!part.planes.blueZero) planes->blueZero = false;
  if (mosaic.southFirst) {
    for (int32_t row = 0; row < rect.height / 2; ++row) {
      const int32_t other = rect.height - 1 - row;
      for (BytePlane* plane :
           {&part.planes.inRed, &part.planes.inGreen, &part.planes.inBlue}) {
        std::swap_ranges((*plane)[row], (*plane)[row] + rect.width,
                         (*plane)[other]);
      }
    }
  }
  whole->otherOrderSmoother =
      whole->otherOrderSmoother || tile.otherOrderSmoother;
  const BandValues& values = tile.tiff.values;
  const std::vector<uint16_t> codes =
      codesOfHeights(tile.mapping, values, codeOffset(mosaic.sample));
  for (int32_t row = rect.top; row < rect.top + rect.height; ++row) {
    for (int32_t column = rect.left; column < rect.left + rect.width;
         ++column) {
      if (planes->inBlue[row][column] != 0) continue;
      storeCode(planes, row, column, codes[codeAt(*planes, row, column)]);
    }
  }
  mergeCodes(planes, parts, saved, values.known ? std::fabs(values.scale) : 1,
             edges);
  return true;
}

// Marks what no tile covers as nodata.
void markGaps(const TileLayout& layout, PlaneSet* planes) {
  for (int32_t row = 0; row < layout.height; ++row) {
    for (const auto& gap : gapsInRow(layout, row)) {
      std::fill_n(planes->inBlue[row] + gap.first, gap.second, uint8_t{1});
      planes->blueZero = false;
    }
  }
}

// The whole's samples, kept as codes, become heights by one mapping.
void mapWholeCodes(const InputMosaic& mosaic, InputImage* whole,
                   PlaneSet* planes) {
  const int32_t offset = codeOffset(mosaic.sample);
  std::vector<int64_t> counts(65536, 0);
  SampleSurvey survey;
  for (int32_t row = 0; row < whole->height; ++row) {
    for (int32_t column = 0; column < whole->width; ++column) {
      if (planes->inBlue[row][column] != 0) {
        ++survey.nodata;
      } else {
        ++counts[codeAt(*planes, row, column)];
      }
    }
  }
  for (int32_t code = 0; code < 65536; ++code) {
    const int64_t count = counts[static_cast<size_t>(code)];
    if (count > 0) survey.add(code - offset, count);
  }
  const BandValues& values = whole->tiff.values;
  MappingRequest request = whole->request.mapping;
  if (values.known) request.unit /= std::fabs(values.scale);
  const SampleMapping samples =
      planSampleMapping(mosaic.sample, survey, request);
  std::vector<uint16_t> heights(65536);
  for (int32_t code = 0; code < 65536; ++code) {
    const int64_t count = counts[static_cast<size_t>(code)];
    StoreCount clamped;
    heights[static_cast<size_t>(code)] =
        static_cast<uint16_t>(mapSample(samples, code - offset, &clamped));
    whole->unitClamped.low += clamped.low * count;
    whole->unitClamped.high += clamped.high * count;
  }
  for (int32_t row = 0; row < whole->height; ++row) {
    for (int32_t column = 0; column < whole->width; ++column) {
      storeCode(planes, row, column,
                planes->inBlue[row][column] != 0
                    ? static_cast<uint32_t>(samples.nodataHeight)
                    : heights[codeAt(*planes, row, column)]);
    }
  }
  whole->mapping = mappingInValues(samples, values);
}

}  // namespace

bool readMosaicHeights(const InputMosaic& mosaic, InputImage* whole,
                       PlaneSet* planes, std::string* error,
                       std::ostream& diagnostics, const Progress* progress) {
  const int64_t count = static_cast<int64_t>(mosaic.tiles.size());
  for (size_t index = 0; index < mosaic.tiles.size(); ++index) {
    PassProgress pass;
    startPass(&pass, progress, static_cast<int64_t>(index), count);
    EdgeDifference edges;
    if (!readTileCodes(mosaic, index, whole, planes, &edges, error, diagnostics,
                       &pass.progress)) {
      return false;
    }
    warnAboutEdges(mosaic.tiles[index], edges, diagnostics);
  }
  markGaps(mosaic.layout, planes);
  if (isElevationFormat(whole->format)) mapWholeCodes(mosaic, whole, planes);
  return true;
}
