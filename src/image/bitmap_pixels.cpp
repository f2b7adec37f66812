// The pixel rows of a bitmap, between the file and the planes, through one
// buffer of a few hundred kilobytes whatever the image's shape.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "image/bitmap_file.h"
#include "image/byte_buffer.h"
#include "image/pixel_rows.h"

namespace {

// Pixel rows go through buffers of about this many bytes: few enough system
// calls, small enough to stay in the processor's cache.
constexpr int64_t kRowChunk = 1 << 18;

// How file rows go through the buffer: several whole rows at a time, or,
// for rows longer than the buffer, one row in pieces.
struct RowChunks {
  int32_t rows = 1;     // rows per buffer, >= 1
  int32_t columns = 0;  // pixels per piece; the width for whole rows
  int64_t bufferBytes = 0;
};

RowChunks planChunks(int64_t stride, int64_t bytesPerPixel, int32_t width,
                     int32_t rowCount) {
  RowChunks plan;
  if (stride <= kRowChunk) {
    plan.rows =
        static_cast<int32_t>(std::min<int64_t>(kRowChunk / stride, rowCount));
    plan.columns = width;
    plan.bufferBytes = stride * plan.rows;
  } else {
    plan.columns = static_cast<int32_t>(kRowChunk / bytesPerPixel);
    // Room for the row's padding (at most 3 bytes) too.
    plan.bufferBytes = kRowChunk;
  }
  return plan;
}

// Stores count pixels of file bytes into the source planes' row at column.
void storePixels(const BitmapInfo& info, const uint8_t* bytes, PlaneSet* planes,
                 int32_t planeRow, int32_t column, int32_t count) {
  size_t length = static_cast<size_t>(count);
  if (info.bitsPerPixel == 8) {
    std::memcpy(planes->inRed[planeRow] + column, bytes, length);
    std::memset(planes->inGreen[planeRow] + column, 0, length);
    std::memset(planes->inBlue[planeRow] + column, 0, length);
  } else {
    splitBgrRow(bytes, planes->inRed[planeRow] + column,
                planes->inGreen[planeRow] + column,
                planes->inBlue[planeRow] + column, length);
  }
}

// Joins count pixels of the target planes' row from column into file bytes.
void loadPixels(const PlaneSet& planes, int32_t planeRow, int32_t column,
                int32_t count, uint8_t* bytes) {
  joinBgrRow(
      planes.outRed[planeRow] + column, planes.outGreen[planeRow] + column,
      planes.outBlue[planeRow] + column, bytes, static_cast<size_t>(count));
}

}  // namespace

bool readPixels(FileStream* input, const BitmapInfo& info, PlaneSet* planes,
                std::string* error, const Progress* progress) {
  const int64_t bytesPerPixel = info.bitsPerPixel / 8;
  const int64_t stride = info.inputRowStride;
  RowChunks plan = planChunks(stride, bytesPerPixel, info.width, info.rowCount);
  std::unique_ptr<uint8_t[]> buffer = allocateBytes(plan.bufferBytes);
  if (!buffer) {
    *error =
        "Not enough memory for a row of " + std::to_string(stride) + " bytes";
    return false;
  }
  if (!seekTo(input, info.pixelDataOffset)) {
    *error = inputReadError(*input);
    return false;
  }
  const bool wholeRows = plan.columns == info.width;
  for (int32_t first = 0; first < info.rowCount; first += plan.rows) {
    int32_t count = std::min(plan.rows, info.rowCount - first);
    bool read = true;
    if (wholeRows) {
      read =
          readExact(input, buffer.get(), static_cast<size_t>(stride * count));
      for (int32_t index = 0; read && index < count; ++index) {
        storePixels(info, buffer.get() + stride * index, planes,
                    planeRowOf(info, first + index), 0, info.width);
      }
    } else {
      int32_t planeRow = planeRowOf(info, first);
      for (int32_t column = 0; read && column < info.width;
           column += plan.columns) {
        int32_t pixels = std::min(plan.columns, info.width - column);
        read = readExact(input, buffer.get(),
                         static_cast<size_t>(bytesPerPixel * pixels));
        if (read) {
          storePixels(info, buffer.get(), planes, planeRow, column, pixels);
        }
      }
      int64_t padding = stride - bytesPerPixel * info.width;
      read =
          read && readExact(input, buffer.get(), static_cast<size_t>(padding));
    }
    if (!read) {
      *error = inputReadError(*input);
      return false;
    }
    reportProgress(progress, first + count, info.rowCount);
  }
  return true;
}

bool writePixels(FileStream* output, const BitmapInfo& info,
                 const PlaneSet& planes, std::string* error,
                 const Progress* progress) {
  const int64_t stride = info.outputRowStride;
  RowChunks plan = planChunks(stride, 3, info.width, info.rowCount);
  std::unique_ptr<uint8_t[]> buffer = allocateBytes(plan.bufferBytes);
  if (!buffer) {
    *error =
        "Not enough memory for a row of " + std::to_string(stride) + " bytes";
    return false;
  }
  // The padding stays zero: only the pixel bytes are rewritten.
  std::memset(buffer.get(), 0, static_cast<size_t>(plan.bufferBytes));
  const bool wholeRows = plan.columns == info.width;
  for (int32_t first = 0; first < info.rowCount; first += plan.rows) {
    int32_t count = std::min(plan.rows, info.rowCount - first);
    bool wrote = true;
    if (wholeRows) {
      for (int32_t index = 0; index < count; ++index) {
        loadPixels(planes, planeRowOf(info, first + index), 0, info.width,
                   buffer.get() + stride * index);
      }
      wrote =
          writeExact(output, buffer.get(), static_cast<size_t>(stride * count));
    } else {
      int32_t planeRow = planeRowOf(info, first);
      for (int32_t column = 0; wrote && column < info.width;
           column += plan.columns) {
        int32_t pixels = std::min(plan.columns, info.width - column);
        loadPixels(planes, planeRow, column, pixels, buffer.get());
        wrote =
            writeExact(output, buffer.get(), static_cast<size_t>(3 * pixels));
      }
      static const uint8_t kPadding[3] = {0, 0, 0};
      int64_t padding = stride - 3 * static_cast<int64_t>(info.width);
      wrote =
          wrote && writeExact(output, kPadding, static_cast<size_t>(padding));
    }
    if (!wrote) {
      *error = outputWriteError(*output);
      return false;
    }
    reportProgress(progress, first + count, info.rowCount);
  }
  return true;
}
