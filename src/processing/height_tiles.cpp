#include "processing/height_tiles.h"

#include <algorithm>

namespace {

std::string text(int32_t value) { return std::to_string(value); }

// Whether side pixels cut into count tiles sharing their edges, and the
// nearest sides that do (below may be 0 when none is smaller).
struct SideCut {
  bool even = false;
  int32_t below = 0;
  int32_t above = 0;
};

// A tiled map's side of one pixel has no span for even one tile to cover:
// its tiles would be lines, not patches.
SideCut cutSide(int32_t side, int32_t count, bool tiled) {
  SideCut cut;
  if (count == 1 && (side > 1 || !tiled)) {
    cut.even = true;
    cut.below = cut.above = side;
    return cut;
  }
  const int64_t spans = int64_t{side} - 1;
  cut.even = spans >= count && spans % count == 0;
  int64_t below = spans / count * count + 1;
  if (cut.even) {
    cut.below = cut.above = side;
    return cut;
  }
  cut.below = below > count ? static_cast<int32_t>(below) : 0;
  cut.above = static_cast<int32_t>(below + count);
  return cut;
}

}  // namespace

int32_t planWidth(const TilePlan& plan) {
  return plan.grid.columns * (plan.tileWidth - 1) + 1;
}

int32_t planHeight(const TilePlan& plan) {
  return plan.grid.rows * (plan.tileHeight - 1) + 1;
}

bool planTiles(int32_t width, int32_t height, TileGrid grid, TilePlan* plan,
               std::string* error) {
  if (grid.columns < 1 || grid.rows < 1) {
    *error = "A tiling needs at least one tile each way";
    return false;
  }
  const bool tiled = grid.columns > 1 || grid.rows > 1;
  const SideCut across = cutSide(width, grid.columns, tiled);
  const SideCut down = cutSide(height, grid.rows, tiled);
  if (across.even && down.even) {
    plan->grid = grid;
    plan->tileWidth =
        grid.columns == 1 ? width : (width - 1) / grid.columns + 1;
    plan->tileHeight = grid.rows == 1 ? height : (height - 1) / grid.rows + 1;
    return true;
  }
  const std::string tiles = text(grid.columns) + "x" + text(grid.rows);
  *error = "-tiles " + tiles + " cannot cut " + text(width) + " x " +
           text(height) +
           " pixels into tiles sharing their edges (that takes " +
           text(grid.columns) + " x n + 1 by " + text(grid.rows) +
           " x n + 1 pixels); the nearest sizes that can: ";
  if (across.below > 0 && down.below > 0) {
    *error += text(across.below) + " x " + text(down.below) + " and ";
  }
  *error += text(across.above) + " x " + text(down.above) +
            " (resample with -size, or pick an engine's with -fit)";
  return false;
}

namespace {

// Where a suffix goes in outputPath: before the extension of its last
// component. A dot that starts the name (".png") or sits in a folder is no
// extension.
size_t suffixPlace(const std::string& outputPath) {
  const size_t folder = outputPath.find_last_of("/\\");
  const size_t nameStart = folder == std::string::npos ? 0 : folder + 1;
  size_t dot = outputPath.find_last_of('.');
  if (dot == std::string::npos || dot <= nameStart) dot = outputPath.size();
  return dot;
}

// value in decimal, zero-padded to width digits.
std::string padded(int32_t value, size_t width) {
  std::string digits = text(value);
  return std::string(width > digits.size() ? width - digits.size() : 0, '0') +
         digits;
}

}  // namespace

std::string tileFileName(const std::string& outputPath, TileNaming naming,
                         TileGrid grid, int32_t column, int32_t row) {
  const size_t dot = suffixPlace(outputPath);
  const int32_t fromBottom = grid.rows - 1 - row;
  std::string suffix;
  switch (naming) {
    case TileNaming::kFromTop:
      suffix = "_x" + text(column) + "_y" + text(row);
      break;
    case TileNaming::kFromBottom:
      suffix = "_x" + text(column) + "_y" + text(fromBottom);
      break;
    case TileNaming::kUnity: {
      const size_t width = text(std::max(grid.columns, grid.rows) - 1).size();
      suffix = "_" + padded(column, width) + "_" + padded(fromBottom, width);
      break;
    }
  }
  return outputPath.substr(0, dot) + suffix + outputPath.substr(dot);
}

bool isTileName(const std::string& name, const std::string& prefix) {
  auto lower = [](std::string text) {
    for (char& letter : text) {
      if (letter >= 'A' && letter <= 'Z')
        letter = static_cast<char>(letter + 32);
    }
    return text;
  };
  const std::string low = lower(name);
  const std::string start = lower(prefix) + "_x";
  if (low.compare(0, start.size(), start) != 0) return false;
  size_t at = start.size();
  auto digits = [&] {
    size_t first = at;
    while (at < low.size() && low[at] >= '0' && low[at] <= '9') ++at;
    return at > first;
  };
  if (!digits() || low.compare(at, 2, "_y") != 0) return false;
  at += 2;
  return digits() && at < low.size() && low[at] == '.';
}

std::string tileNamePattern(const std::string& outputPath, TileNaming naming) {
  const size_t dot = suffixPlace(outputPath);
  const char* suffix = naming == TileNaming::kUnity ? "_<x>_<z>" : "_x<i>_y<j>";
  return outputPath.substr(0, dot) + suffix + outputPath.substr(dot);
}

void cutTile(const PlaneSet& whole, const TilePlan& plan, int32_t column,
             int32_t row, TilePlanes* tile) {
  const int32_t left = column * (plan.tileWidth - 1);
  const int32_t top = row * (plan.tileHeight - 1);
  const BytePlane* sources[] = {&whole.outRed, &whole.outGreen, &whole.outBlue};
  const size_t rows = static_cast<size_t>(plan.tileHeight);
  tile->rows.assign(3 * rows, nullptr);
  for (size_t plane = 0; plane < 3; ++plane) {
    for (size_t index = 0; index < rows; ++index) {
      tile->rows[plane * rows + index] =
          sources[plane]->rows[static_cast<size_t>(top) + index] + left;
    }
  }
  PlaneSet& planes = tile->planes;
  planes.inRed.rows = planes.outRed.rows = &tile->rows[0];
  planes.inGreen.rows = planes.outGreen.rows = &tile->rows[rows];
  planes.inBlue.rows = planes.outBlue.rows = &tile->rows[2 * rows];
  planes.width = plan.tileWidth;
  planes.height = plan.tileHeight;
  planes.base = whole.base;
}

namespace {

// Reads a decimal index at name[*at], moving past it.
bool readIndex(const std::string& name, size_t* at, int32_t* index) {
  const size_t first = *at;
  int64_t value = 0;
  while (*at < name.size() && name[*at] >= '0' && name[*at] <= '9') {
    value = value * 10 + (name[*at] - '0');
    if (value > 1000000) return false;
    ++*at;
  }
  *index = static_cast<int32_t>(value);
  return *at > first;
}

}  // namespace

bool tilePlaceOfName(const std::string& path, std::string* prefix,
                     int32_t* column, int32_t* row, bool* unity) {
  const size_t separator = path.find_last_of("/\\");
  std::string name =
      separator == std::string::npos ? path : path.substr(separator + 1);
  const size_t dot = name.find('.');
  if (dot == std::string::npos || dot == 0) return false;
  name = name.substr(0, dot);
  for (char& letter : name) {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter + 32);
  }
  // The last two "_" before the indices.
  const size_t second = name.find_last_of('_');
  if (second == std::string::npos || second == 0) return false;
  const size_t first = name.find_last_of('_', second - 1);
  if (first == std::string::npos || first == 0) return false;
  size_t at = first + 1;
  const bool lettered = name[at] == 'x';
  if (lettered) ++at;
  if (!readIndex(name, &at, column) || at != second) return false;
  at = second + 1;
  if (lettered && (at >= name.size() || name[at++] != 'y')) return false;
  if (!readIndex(name, &at, row) || at != name.size()) return false;
  *prefix = name.substr(0, first);
  *unity = !lettered;
  return true;
}
