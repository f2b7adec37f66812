#include "processing/tile_layout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr int64_t kLargestSide = std::numeric_limits<int32_t>::max();

// A spacing or a place off by this share of a sample is the same.
constexpr double kGridTolerance = 0.01;

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

// The model coordinates of a tile's first sample's centre.
void firstCentre(const GeoTile& tile, double* x, double* y) {
  const double half = tile.pointSamples ? 0 : 0.5;
  *x = tile.toModel.c + tile.toModel.a * half;
  *y = tile.toModel.f + tile.toModel.e * half;
}

bool sameSpacing(double a, double b) {
  return std::fabs(a - b) <= kGridTolerance * 1e-3 * std::fabs(b);
}

// The whole's size from the tiles' places (left and top from any origin),
// which are then moved so that the whole starts at 0.
bool closeLayout(std::vector<int64_t> lefts, std::vector<int64_t> tops,
                 const std::vector<int32_t>& widths,
                 const std::vector<int32_t>& heights, TileLayout* layout,
                 TileMisfit* misfit) {
  const int64_t left = *std::min_element(lefts.begin(), lefts.end());
  const int64_t top = *std::min_element(tops.begin(), tops.end());
  int64_t right = 0, bottom = 0;
  for (size_t index = 0; index < lefts.size(); ++index) {
    right = std::max(right, lefts[index] - left + widths[index]);
    bottom = std::max(bottom, tops[index] - top + heights[index]);
  }
  if (right > kLargestSide || bottom > kLargestSide) {
    misfit->tile = 0;
    misfit->reason = "the tiles span " + std::to_string(right) + " x " +
                     std::to_string(bottom) +
                     " samples, more than a map holds (2147483647 a side)";
    return false;
  }
  layout->width = static_cast<int32_t>(right);
  layout->height = static_cast<int32_t>(bottom);
  layout->rects.clear();
  for (size_t index = 0; index < lefts.size(); ++index) {
    layout->rects.push_back({static_cast<int32_t>(lefts[index] - left),
                             static_cast<int32_t>(tops[index] - top),
                             widths[index], heights[index]});
  }
  return true;
}

// The distance from one coordinate to another in samples, when it is a
// whole number of them.
bool wholeSteps(double from, double to, double step, int64_t* steps) {
  const double exact = (to - from) / step;
  if (!(std::fabs(exact) < 4.0 * kLargestSide)) return false;
  const double rounded = std::round(exact);
  *steps = static_cast<int64_t>(rounded);
  return std::fabs(exact - rounded) <= kGridTolerance;
}

}  // namespace

bool placeGeoTiles(const std::vector<GeoTile>& tiles, TileLayout* layout,
                   TileMisfit* misfit) {
  if (tiles.empty()) return false;
  const Affine& grid = tiles[0].toModel;
  double originX = 0, originY = 0;
  firstCentre(tiles[0], &originX, &originY);
  std::vector<int64_t> lefts, tops;
  std::vector<int32_t> widths, heights;
  for (size_t index = 0; index < tiles.size(); ++index) {
    const GeoTile& tile = tiles[index];
    const Affine& model = tile.toModel;
    misfit->tile = index;
    if (model.b != 0 || model.d != 0 || !(model.a > 0) || !(model.e < 0)) {
      misfit->reason = "it is not laid north up, and tiles are joined only so";
      return false;
    }
    if (!sameSpacing(model.a, grid.a) || !sameSpacing(model.e, grid.e)) {
      misfit->reason = "its samples lie " + number(model.a) + " x " +
                       number(-model.e) + " apart, the first tile's " +
                       number(grid.a) + " x " + number(-grid.e);
      return false;
    }
    double x = 0, y = 0;
    firstCentre(tile, &x, &y);
    int64_t left = 0, top = 0;
    if (!wholeSteps(originX, x, grid.a, &left) ||
        !wholeSteps(originY, y, grid.e, &top)) {
      misfit->reason =
          "its samples lie between the first tile's, not on their grid";
      return false;
    }
    lefts.push_back(left);
    tops.push_back(top);
    widths.push_back(tile.width);
    heights.push_back(tile.height);
  }
  return closeLayout(lefts, tops, widths, heights, layout, misfit);
}

bool placeGridTiles(const std::vector<GridTile>& tiles, int32_t overlap,
                    TileLayout* layout, TileMisfit* misfit) {
  if (tiles.empty()) return false;
  int32_t lastColumn = 0, lastRow = 0;
  for (const GridTile& tile : tiles) {
    lastColumn = std::max(lastColumn, tile.column);
    lastRow = std::max(lastRow, tile.row);
  }
  // The size of a tile of a full column and of a full row: the first such
  // tile's, else (one column or row) the last's.
  int32_t width = 0, height = 0;
  for (const GridTile& tile : tiles) {
    if (width == 0 && (tile.column < lastColumn || lastColumn == 0)) {
      width = tile.width;
    }
    if (height == 0 && (tile.row < lastRow || lastRow == 0)) {
      height = tile.height;
    }
  }
  // Only last ones: their size is the grid's.
  const bool fullColumn = width != 0, fullRow = height != 0;
  for (const GridTile& tile : tiles) {
    if (!fullColumn) width = std::max(width, tile.width);
    if (!fullRow) height = std::max(height, tile.height);
  }
  std::vector<int64_t> lefts, tops;
  std::vector<int32_t> widths, heights;
  for (size_t index = 0; index < tiles.size(); ++index) {
    const GridTile& tile = tiles[index];
    misfit->tile = index;
    for (size_t other = 0; other < index; ++other) {
      if (tiles[other].column == tile.column && tiles[other].row == tile.row) {
        misfit->reason = "its name gives the place of another tile";
        return false;
      }
    }
    const bool lastAcross = tile.column == lastColumn && lastColumn > 0;
    const bool lastDown = tile.row == lastRow && lastRow > 0;
    if ((lastAcross ? tile.width > width : tile.width != width) ||
        (lastDown ? tile.height > height : tile.height != height) ||
        tile.width <= overlap || tile.height <= overlap) {
      misfit->reason = "it is " + std::to_string(tile.width) + " x " +
                       std::to_string(tile.height) +
                       " samples, and its place in the grid needs " +
                       std::to_string(width) + " x " + std::to_string(height);
      return false;
    }
    lefts.push_back(int64_t{tile.column} * (width - overlap));
    tops.push_back(int64_t{tile.row} * (height - overlap));
    widths.push_back(tile.width);
    heights.push_back(tile.height);
  }
  // The grid starts at (0, 0), whether its first tiles are there or not.
  lefts.push_back(0);
  tops.push_back(0);
  widths.push_back(1);
  heights.push_back(1);
  const bool closed = closeLayout(lefts, tops, widths, heights, layout, misfit);
  if (closed) layout->rects.pop_back();
  return closed;
}

std::vector<TileRect> earlierOverlaps(const TileLayout& layout, size_t index) {
  std::vector<TileRect> parts;
  const TileRect& tile = layout.rects[index];
  for (size_t other = 0; other < index; ++other) {
    const TileRect& earlier = layout.rects[other];
    const int32_t left = std::max(tile.left, earlier.left);
    const int32_t top = std::max(tile.top, earlier.top);
    const int64_t right = std::min(int64_t{tile.left} + tile.width,
                                   int64_t{earlier.left} + earlier.width);
    const int64_t bottom = std::min(int64_t{tile.top} + tile.height,
                                    int64_t{earlier.top} + earlier.height);
    if (right > left && bottom > top) {
      parts.push_back({left, top, static_cast<int32_t>(right - left),
                       static_cast<int32_t>(bottom - top)});
    }
  }
  return parts;
}

std::vector<std::pair<int32_t, int32_t>> gapsInRow(const TileLayout& layout,
                                                   int32_t row) {
  std::vector<std::pair<int32_t, int32_t>> covered;
  for (const TileRect& rect : layout.rects) {
    if (row >= rect.top && row - rect.top < rect.height) {
      covered.emplace_back(rect.left, rect.left + rect.width);
    }
  }
  std::sort(covered.begin(), covered.end());
  std::vector<std::pair<int32_t, int32_t>> gaps;
  int32_t at = 0;
  for (const auto& span : covered) {
    if (span.first > at) gaps.emplace_back(at, span.first - at);
    at = std::max(at, span.second);
  }
  if (at < layout.width) gaps.emplace_back(at, layout.width - at);
  return gaps;
}
