#include "image/picture_file.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "image/bitmap_file.h"
#include "image/png_file.h"
#include "image/row_stream.h"

namespace {

// Pieces of rows are made this many pixels at a time at most.
constexpr int32_t kPiecePixels = static_cast<int32_t>(kRowChunk / 3);

bool writePng(FileStream* output, int32_t width, int32_t height,
              const PictureRow& makeRow, std::string* error) {
  std::vector<uint8_t> row(3 * static_cast<size_t>(width));
  PngEncoder* encoder = nullptr;
  bool done = openPngEncoder(output, width, height, PngPixels::kRgb8,
                             PixelDensity(), &encoder, error);
  for (int32_t index = 0; done && index < height; ++index) {
    for (int32_t column = 0; column < width; column += kPiecePixels) {
      makeRow(index, column, std::min(kPiecePixels, width - column),
              row.data() + 3 * static_cast<size_t>(column));
    }
    done = encodePngRow(encoder, row.data(), row.size(), error);
  }
  done = done && finishPngEncoder(encoder, error);
  freePngEncoder(encoder);
  return done;
}

}  // namespace

bool writePicture(FileStream* output, bool png, int32_t width, int32_t height,
                  const PictureRow& makeRow, std::string* error) {
  if (png) return writePng(output, width, height, makeRow, error);
  if (!writeNewBitmapHeader(output, width, height, PixelDensity(), error))
    return false;
  // Bitmap rows run bottom-up, in blue, green, red order, padded to 4.
  RowLayout layout{width, height, 3, bitmapRowStride(width)};
  auto load = [&](int32_t fileRow, int32_t column, int32_t count,
                  uint8_t* bytes) {
    makeRow(height - 1 - fileRow, column, count, bytes);
    for (size_t pixel = 0; pixel < static_cast<size_t>(count); ++pixel) {
      std::swap(bytes[3 * pixel], bytes[3 * pixel + 2]);
    }
  };
  return writeRows(output, layout, load, outputWriteError, error, nullptr);
}
