#include "app/mosaic_tiles.h"

#include <cstdio>

#include "app/diagnostics.h"
#include "image/height_formats.h"
#include "image/input_reading.h"

bool openTile(const std::string& path, const ReadRequest& whole,
              FileStream* stream, InputImage* image, std::string* error,
              std::ostream& diagnostics) {
  ReadRequest request = whole;
  request.raw = hasRawName(path);
  request.hgt = !request.raw && hasHgtName(path);
  request.r32 = hasR32Name(path);
  request.mapping = MappingRequest();
  if (!openInputFile(path.c_str(), stream)) {
    *error = "Input file not found";
    reportFailure(*stream, diagnostics);
    return false;
  }
  if (!inspectInput(stream, request, image, error)) {
    diagnostics << "quillorn: " << path
                << ": the tile changed since it was checked" << std::endl;
    releaseInput(image);
    closeInputFile(stream);
    return false;
  }
  return true;
}

void warnAboutEdges(const std::string& path, const EdgeDifference& edges,
                    std::ostream& diagnostics) {
  if (edges.differing == 0) return;
  char largest[32];
  std::snprintf(largest, sizeof largest, "%.6g", edges.largest);
  warn(diagnostics, path + ": " + std::to_string(edges.differing) + " of the " +
                        std::to_string(edges.shared) +
                        " samples it shares with the tiles before it differ "
                        "from theirs (by up to " +
                        largest + "); the mean of the tiles' samples is taken");
}

bool inEarlierPart(const std::vector<TileRect>& parts, size_t index,
                   int32_t row, int32_t column) {
  for (size_t other = 0; other < index; ++other) {
    const TileRect& rect = parts[other];
    if (row >= rect.top && row - rect.top < rect.height &&
        column >= rect.left && column - rect.left < rect.width) {
      return true;
    }
  }
  return false;
}

int32_t earlierCover(const std::vector<TileRect>& parts, int32_t row,
                     int32_t column) {
  int32_t count = 0;
  for (const TileRect& rect : parts) {
    count += row >= rect.top && row - rect.top < rect.height &&
             column >= rect.left && column - rect.left < rect.width;
  }
  return count;
}
