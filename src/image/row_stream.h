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

// The layout of width x rows samples of sampleBytes each, without padding.
inline RowLayout sampleRowLayout(int32_t width, int32_t rows,
                                 int64_t sampleBytes) {
  return RowLayout{width, rows, sampleBytes, sampleBytes * width};
}

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

// Bytes kept past a piece of a row for its padding (at most 3 bytes), which
// stay zero for writing.
constexpr int64_t kPaddingRoom = 4;

// The loop both directions share. transfer(bytes, size) moves bytes between
// the buffer and the file (false, with the error set, on failure);
// convert(fileRow, column, count, bytes) moves count pixels between the
// buffer and the planes. toFile converts before it transfers, reading
// transfers before it converts. False also without memory for the buffer.
template <typename Transfer, typename Convert>
bool streamRows(const RowLayout& layout, bool toFile, Transfer transfer,
                Convert convert, std::string* error, const Progress* progress) {
  RowChunks plan = planRowChunks(layout);
  // Zeroed, so that padding written from it is zero.
  std::unique_ptr<uint8_t[]> buffer =
      allocateBytes(plan.bufferBytes + kPaddingRoom);
  if (!buffer) {
    *error = "Not enough memory for a row of " + std::to_string(layout.stride) +
             " bytes";
    return false;
  }
  std::memset(buffer.get(), 0,
              static_cast<size_t>(plan.bufferBytes + kPaddingRoom));
  uint8_t* bytes = buffer.get();
  const bool wholeRows = plan.columns == layout.width;
  for (int32_t first = 0; first < layout.rows; first += plan.rows) {
    int32_t count = std::min(plan.rows, layout.rows - first);
    bool moved = true;
    if (wholeRows) {
      int64_t size = layout.stride * count;
      if (!toFile) moved = transfer(bytes, size);
      for (int32_t index = 0; moved && index < count; ++index) {
        convert(first + index, 0, layout.width, bytes + layout.stride * index);
      }
      if (toFile) moved = transfer(bytes, size);
    } else {
      for (int32_t column = 0; moved && column < layout.width;
           column += plan.columns) {
        int32_t pixels = std::min(plan.columns, layout.width - column);
        int64_t size = layout.pixelBytes * pixels;
        if (!toFile) moved = transfer(bytes, size);
        if (moved) convert(first, column, pixels, bytes);
        if (toFile) moved = transfer(bytes, size);
      }
      int64_t padding = layout.stride - layout.pixelBytes * layout.width;
      moved = moved && transfer(bytes + plan.bufferBytes, padding);
    }
    if (!moved) return false;
    reportProgress(progress, first + count, layout.rows);
  }
  return true;
}

// Reads layout.rows rows from the stream's position; store(fileRow, column,
// count, bytes) takes each run of count pixels of file row fileRow from
// column on. Reports rows to progress. False with error set (by
// readError(*input)) on a failed read or no memory for the buffer.
template <typename Store>
bool readRows(FileStream* input, const RowLayout& layout, Store store,
              std::string (*readError)(const FileStream&), std::string* error,
              const Progress* progress) {
  auto transfer = [&](uint8_t* bytes, int64_t size) {
    if (readExact(input, bytes, static_cast<size_t>(size))) return true;
    *error = readError(*input);
    return false;
  };
  return streamRows(layout, false, transfer, store, error, progress);
}

// Writes layout.rows rows at the stream's position; load(fileRow, column,
// count, bytes) fills each run of count pixels of file row fileRow from
// column on. Padding is written as zero bytes. Reports rows to progress.
template <typename Load>
bool writeRows(FileStream* output, const RowLayout& layout, Load load,
               std::string (*writeError)(const FileStream&), std::string* error,
               const Progress* progress) {
  auto transfer = [&](const uint8_t* bytes, int64_t size) {
    if (writeExact(output, bytes, static_cast<size_t>(size))) return true;
    *error = writeError(*output);
    return false;
  };
  return streamRows(layout, true, transfer, load, error, progress);
}

#endif  // QUILLORN_IMAGE_ROW_STREAM_H_
