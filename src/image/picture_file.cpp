#include "image/picture_file.h"

#include <utility>
#include <vector>

#include "image/bitmap_file.h"
#include "image/png_file.h"

namespace {

bool writePng(FileStream* output, int32_t width, int32_t height,
              const PictureRow& makeRow, std::vector<uint8_t>* row,
              std::string* error) {
  PngEncoder* encoder = nullptr;
  bool done =
      openPngEncoder(output, width, height, PngPixels::kRgb8, &encoder, error);
  for (int32_t index = 0; done && index < height; ++index) {
    makeRow(index, row->data());
    done = encodePngRow(encoder, row->data(), row->size(), error);
  }
  done = done && finishPngEncoder(encoder, error);
  freePngEncoder(encoder);
  return done;
}

}  // namespace

bool writePicture(FileStream* output, bool png, int32_t width, int32_t height,
                  const PictureRow& makeRow, std::string* error) {
  std::vector<uint8_t> row(3 * static_cast<size_t>(width));
  if (png) return writePng(output, width, height, makeRow, &row, error);
  if (!writeNewBitmapHeader(output, width, height, error)) return false;
  // Bitmap rows run bottom-up, in blue, green, red order, padded to 4.
  row.resize(static_cast<size_t>(bitmapRowStride(width)), 0);
  for (int32_t index = height - 1; index >= 0; --index) {
    makeRow(index, row.data());
    for (size_t pixel = 0; pixel < static_cast<size_t>(width); ++pixel) {
      std::swap(row[3 * pixel], row[3 * pixel + 2]);
    }
    if (!writeExact(output, row.data(), row.size())) {
      *error = outputWriteError(*output);
      return false;
    }
  }
  return true;
}
