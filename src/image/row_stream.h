// Rows of pixels between a file and the planes, through one buffer of a few
// hundred kilobytes whatever the image's shape: several whole rows at a
// time, or, for rows longer than the buffer, one row in pieces. Every file
// format's pixel reader and writer goes through here.
#ifndef QUILLORN_IMAGE_ROW_STREAM_H_
#define QUILLORN_IMAGE_ROW_STREAM_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "image/byte_buffer.h"
#include "image/progress.h"
#include "platform/files.h"

// Rows go through buffers of about this many bytes: few enough system calls,
// small enough to stay in the processor's cache.
constexpr int64_t kRowChunk = 1 << 18;

// The layout of a file's rows: width pixels of pixelBytes bytes each, then
// padding up to stride bytes.
struct RowLayout {
  int32_t width = 0;
  int32_t rows = 0;
  int64_t pixelBytes = 0;
  int64_t stride = 0;
};

// How the rows go through the buffer.
struct RowChunks {
  int32_t rows = 1;     // whole rows per buffer (1 for pieces)
  int32_t columns = 0;  // pixels per piece; the width for whole rows
  int64_t bufferBytes = 0;
};

inline RowChunks planRowChunks(const RowLayout& layout) {
  RowChunks plan;
  if (layout.stride <= kRowChunk) {
    plan.rows = static_cast<int32_t>(std::min<int64_t>(
        kRowChunk / std::max<int64_t>(layout.stride, 1), layout.rows));
    plan.rows = std::max(plan.rows, 1);
    plan.columns = layout.width;
    plan.bufferBytes = std::max<int64_t>(layout.stride * plan.rows, 1);
  } else {
    plan.columns = static_cast<int32_t>(kRowChunk / layout.pixelBytes);
    // Room for the row's padding too.
    plan.bufferBytes = kRowChunk;
  }
  return plan;
}

// The buffer for layout's rows as plan passes them, zeroed (so that padding
// written from it is zero); nullptr, with error set, without the memory.
inline std::unique_ptr<uint8_t[]> allocateRowBuffer(const RowLayout& layout,
                                                    const RowChunks& plan,
                                                    std::string* error) {
  std::unique_ptr<uint8_t[]> buffer = allocateBytes(plan.bufferBytes);
  if (!buffer) {
    *error = "Not enough memory for a row of " + std::to_string(layout.stride) +
             " bytes";
    return nullptr;
  }
  std::memset(buffer.get(), 0, static_cast<size_t>(plan.bufferBytes));
  return buffer;
}

// Reads layout.rows rows from the stream's position; store(fileRow, column,
// count, bytes) takes each run of count pixels of file row fileRow from
// column on. Reports rows to progress. False with error set (by
// readError(*input)) on a failed read or no memory for the buffer.
template <typename Store>
bool readRows(FileStream* input, const RowLayout& layout, Store store,
              std::string (*readError)(const FileStream&), std::string* error,
              const Progress* progress) {
  RowChunks plan = planRowChunks(layout);
  std::unique_ptr<uint8_t[]> buffer = allocateRowBuffer(layout, plan, error);
  if (!buffer) return false;
  const bool wholeRows = plan.columns == layout.width;
  for (int32_t first = 0; first < layout.rows; first += plan.rows) {
    int32_t count = std::min(plan.rows, layout.rows - first);
    bool read = true;
    if (wholeRows) {
      read = readExact(input, buffer.get(),
                       static_cast<size_t>(layout.stride * count));
      for (int32_t index = 0; read && index < count; ++index) {
        store(first + index, 0, layout.width,
              buffer.get() + layout.stride * index);
      }
    } else {
      for (int32_t column = 0; read && column < layout.width;
           column += plan.columns) {
        int32_t pixels = std::min(plan.columns, layout.width - column);
        read = readExact(input, buffer.get(),
                         static_cast<size_t>(layout.pixelBytes * pixels));
        if (read) store(first, column, pixels, buffer.get());
      }
      int64_t padding = layout.stride - layout.pixelBytes * layout.width;
      read =
          read && readExact(input, buffer.get(), static_cast<size_t>(padding));
    }
    if (!read) {
      *error = readError(*input);
      return false;
    }
    reportProgress(progress, first + count, layout.rows);
  }
  return true;
}

// Writes layout.rows rows at the stream's position; load(fileRow, column,
// count, bytes) fills each run of count pixels of file row fileRow from
// column on. Padding is written as zero bytes. Reports rows to progress.
template <typename Load>
bool writeRows(FileStream* output, const RowLayout& layout, Load load,
               std::string (*writeError)(const FileStream&), std::string* error,
               const Progress* progress) {
  RowChunks plan = planRowChunks(layout);
  // The padding stays zero: only the pixel bytes are rewritten.
  std::unique_ptr<uint8_t[]> buffer = allocateRowBuffer(layout, plan, error);
  if (!buffer) return false;
  const bool wholeRows = plan.columns == layout.width;
  for (int32_t first = 0; first < layout.rows; first += plan.rows) {
    int32_t count = std::min(plan.rows, layout.rows - first);
    bool wrote = true;
    if (wholeRows) {
      for (int32_t index = 0; index < count; ++index) {
        load(first + index, 0, layout.width,
             buffer.get() + layout.stride * index);
      }
      wrote = writeExact(output, buffer.get(),
                         static_cast<size_t>(layout.stride * count));
    } else {
      for (int32_t column = 0; wrote && column < layout.width;
           column += plan.columns) {
        int32_t pixels = std::min(plan.columns, layout.width - column);
        load(first, column, pixels, buffer.get());
        wrote = writeExact(output, buffer.get(),
                           static_cast<size_t>(layout.pixelBytes * pixels));
      }
      static const uint8_t kPadding[3] = {0, 0, 0};
      int64_t padding = layout.stride - layout.pixelBytes * layout.width;
      wrote =
          wrote && writeExact(output, kPadding, static_cast<size_t>(padding));
    }
    if (!wrote) {
      *error = writeError(*output);
      return false;
    }
    reportProgress(progress, first + count, layout.rows);
  }
  return true;
}

#endif  // QUILLORN_IMAGE_ROW_STREAM_H_
