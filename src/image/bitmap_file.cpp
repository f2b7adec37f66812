#include "image/bitmap_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "image/little_endian.h"
#include "image/pixel_rows.h"

namespace {

// Header and tail are copied through a buffer of at most this many bytes.
constexpr int64_t kCopyChunk = 1 << 16;

// Pixel rows go through buffers of about this many bytes: few enough system
// calls, small enough to stay in the processor's cache.
constexpr int64_t kRowChunk = 1 << 18;

// Whole rows per pixel buffer: at least one, at most rowCount.
int32_t rowsPerChunk(int64_t stride, int32_t rowCount) {
  int64_t rows = kRowChunk / stride;
  if (rows < 1) rows = 1;
  return static_cast<int32_t>(std::min<int64_t>(rows, rowCount));
}

int64_t paddedStride(int64_t rowBytes) { return (rowBytes + 3) / 4 * 4; }

std::unique_ptr<uint8_t[]> allocateBuffer(int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > PTRDIFF_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow)
                                        uint8_t[static_cast<size_t>(size)]);
}

// Copies length input bytes from offset to the output's current position;
// patch, when given, may change each chunk (with its offset) before it is
// written.
template <typename Patch>
bool copyRange(FILE* input, FILE* output, int64_t offset, int64_t length,
               std::string* error, Patch patch) {
  if (length <= 0) return true;
  int64_t chunk = length < kCopyChunk ? length : kCopyChunk;
  std::unique_ptr<uint8_t[]> buffer = allocateBuffer(chunk);
  if (!buffer) {
    *error = "Not enough memory for a copy buffer";
    return false;
  }
  errno = 0;
  if (!seekTo(input, offset)) {
    *error = inputReadError();
    return false;
  }
  for (int64_t done = 0; done < length;) {
    int64_t step = length - done < chunk ? length - done : chunk;
    errno = 0;
    if (!readExact(input, buffer.get(), static_cast<size_t>(step))) {
      *error = inputReadError();
      return false;
    }
    patch(buffer.get(), done, step);
    errno = 0;
    if (!writeExact(output, buffer.get(), static_cast<size_t>(step))) {
      *error = outputWriteError();
      return false;
    }
    done += step;
  }
  return true;
}

// Stores a field if it lies inside the chunk [chunkStart, chunkStart+size).
void patchLe32(uint8_t* chunk, int64_t chunkStart, int64_t size,
               int64_t fieldOffset, uint32_t value) {
  if (fieldOffset >= chunkStart && fieldOffset + 4 <= chunkStart + size) {
    storeLe32(chunk + (fieldOffset - chunkStart), value);
  }
}

}  // namespace

bool inspectBitmap(FILE* input, BitmapInfo* info, std::string* error) {
  *info = BitmapInfo();
  errno = 0;
  int64_t fileSize = streamLength(input);
  if (fileSize < 0) {
    *error = inputReadError();
    return false;
  }
  if (fileSize < kMinimumHeaderSize) {
    *error = "Input file is not a bitmap: " + std::to_string(fileSize) +
             " bytes is too short for a bitmap header";
    return false;
  }
  uint8_t header[kMinimumHeaderSize];
  errno = 0;
  if (!seekTo(input, 0) || !readExact(input, header, sizeof header)) {
    *error = inputReadError();
    return false;
  }
  if (header[0] != 'B' || header[1] != 'M') {
    *error = "Input file is not a bitmap: it does not start with \"BM\"";
    return false;
  }

  int16_t bitsPerPixel =
      static_cast<int16_t>(loadLe16(header + kBitsPerPixelOffset));
  if (bitsPerPixel != 8 && bitsPerPixel != 24) {
    *error = "Invalid bit rate";
    return false;
  }

  uint32_t infoHeaderSize = loadLe32(header + kInfoHeaderSizeOffset);
  uint32_t compression = loadLe32(header + kCompressionOffset);
  int32_t width = static_cast<int32_t>(loadLe32(header + kWidthOffset));
  int32_t height = static_cast<int32_t>(loadLe32(header + kHeightOffset));
  uint32_t pixelDataOffset = loadLe32(header + kPixelDataOffsetOffset);
  int64_t headersEnd = 14 + static_cast<int64_t>(infoHeaderSize);
  if (infoHeaderSize < kMinimumInfoHeaderSize) {
    *error = "Unsupported bitmap header: its info header has " +
             std::to_string(infoHeaderSize) + " bytes, at least " +
             std::to_string(kMinimumInfoHeaderSize) + " are needed";
    return false;
  }
  if (compression != 0) {
    *error = "Compressed bitmaps are not supported (compression type " +
             std::to_string(compression) + ")";
    return false;
  }
  if (width <= 0) {
    *error = "Invalid bitmap width " + std::to_string(width);
    return false;
  }
  // The most negative height has no positive row count in 32 bits.
  if (height == 0 || height == INT32_MIN) {
    *error = "Invalid bitmap height " + std::to_string(height);
    return false;
  }
  if (pixelDataOffset < headersEnd || pixelDataOffset > fileSize) {
    *error = "Invalid pixel data offset " + std::to_string(pixelDataOffset) +
             " (the headers end at " + std::to_string(headersEnd) +
             ", the file has " + std::to_string(fileSize) + " bytes)";
    return false;
  }

  int32_t rowCount = height < 0 ? -height : height;
  int64_t bytesPerPixel = bitsPerPixel / 8;
  int64_t inputRowStride = paddedStride(bytesPerPixel * width);
  int64_t available = fileSize - pixelDataOffset;
  // Divide rather than multiply: stride * rows can exceed 63 bits.
  if (rowCount > available / inputRowStride) {
    *error = "Input file is truncated: " + std::to_string(rowCount) +
             " rows of " + std::to_string(inputRowStride) +
             " bytes do not fit in the " + std::to_string(available) +
             " bytes after the pixel data offset";
    return false;
  }
  int64_t tailOffset = pixelDataOffset + inputRowStride * rowCount;
  int64_t outputRowStride = paddedStride(3 * static_cast<int64_t>(width));
  int64_t outputFileSize = static_cast<int64_t>(pixelDataOffset) +
                           outputRowStride * rowCount + (fileSize - tailOffset);
  if (outputFileSize > kMaximumBitmapFileSize) {
    *error = "The output bitmap would have " + std::to_string(outputFileSize) +
             " bytes, more than a bitmap file can hold";
    return false;
  }

  info->pixelDataOffset = pixelDataOffset;
  info->width = width;
  info->height = height;
  info->bitsPerPixel = bitsPerPixel;
  info->rowCount = rowCount;
  info->topDown = height < 0;
  info->imageSizeGiven = loadLe32(header + kImageSizeOffset) != 0;
  info->fileSize = fileSize;
  info->inputRowStride = inputRowStride;
  info->outputRowStride = outputRowStride;
  info->tailOffset = tailOffset;
  info->outputFileSize = outputFileSize;
  return true;
}

bool readPixels(FILE* input, const BitmapInfo& info, PlaneSet* planes,
                std::string* error, const Progress* progress) {
  int32_t chunkRows = rowsPerChunk(info.inputRowStride, info.rowCount);
  int64_t chunkBytes = info.inputRowStride * chunkRows;
  std::unique_ptr<uint8_t[]> chunk = allocateBuffer(chunkBytes);
  if (!chunk) {
    *error = "Not enough memory for a row of " +
             std::to_string(info.inputRowStride) + " bytes";
    return false;
  }
  errno = 0;
  if (!seekTo(input, info.pixelDataOffset)) {
    *error = inputReadError();
    return false;
  }
  size_t width = static_cast<size_t>(info.width);
  for (int32_t first = 0; first < info.rowCount; first += chunkRows) {
    int32_t count = std::min(chunkRows, info.rowCount - first);
    errno = 0;
    if (!readExact(input, chunk.get(),
                   static_cast<size_t>(info.inputRowStride * count))) {
      *error = inputReadError();
      return false;
    }
    for (int32_t index = 0; index < count; ++index) {
      int32_t planeRow = planeRowOf(info, first + index);
      const uint8_t* bytes = chunk.get() + info.inputRowStride * index;
      if (info.bitsPerPixel == 8) {
        std::memcpy(planes->inRed[planeRow], bytes, width);
        std::memset(planes->inGreen[planeRow], 0, width);
        std::memset(planes->inBlue[planeRow], 0, width);
      } else {
        splitBgrRow(bytes, planes->inRed[planeRow], planes->inGreen[planeRow],
                    planes->inBlue[planeRow], width);
      }
    }
    reportProgress(progress, first + count, info.rowCount);
  }
  return true;
}

bool writeHeader(FILE* input, FILE* output, const BitmapInfo& info,
                 std::string* error) {
  uint32_t imageSize =
      static_cast<uint32_t>(info.outputRowStride * info.rowCount);
  auto patch = [&](uint8_t* chunk, int64_t start, int64_t size) {
    patchLe32(chunk, start, size, kFileSizeOffset,
              static_cast<uint32_t>(info.outputFileSize));
    if (start <= kBitsPerPixelOffset &&
        kBitsPerPixelOffset + 2 <= start + size) {
      storeLe16(chunk + (kBitsPerPixelOffset - start), 24);
    }
    if (info.imageSizeGiven) {
      patchLe32(chunk, start, size, kImageSizeOffset, imageSize);
    }
  };
  return copyRange(input, output, 0, info.pixelDataOffset, error, patch);
}

bool writePixels(FILE* output, const BitmapInfo& info, const PlaneSet& planes,
                 std::string* error, const Progress* progress) {
  int32_t chunkRows = rowsPerChunk(info.outputRowStride, info.rowCount);
  int64_t chunkBytes = info.outputRowStride * chunkRows;
  std::unique_ptr<uint8_t[]> chunk = allocateBuffer(chunkBytes);
  if (!chunk) {
    *error = "Not enough memory for a row of " +
             std::to_string(info.outputRowStride) + " bytes";
    return false;
  }
  // The padding stays zero: only the pixel bytes are rewritten per row.
  std::memset(chunk.get(), 0, static_cast<size_t>(chunkBytes));
  size_t width = static_cast<size_t>(info.width);
  for (int32_t first = 0; first < info.rowCount; first += chunkRows) {
    int32_t count = std::min(chunkRows, info.rowCount - first);
    for (int32_t index = 0; index < count; ++index) {
      int32_t planeRow = planeRowOf(info, first + index);
      joinBgrRow(planes.outRed[planeRow], planes.outGreen[planeRow],
                 planes.outBlue[planeRow],
                 chunk.get() + info.outputRowStride * index, width);
    }
    errno = 0;
    if (!writeExact(output, chunk.get(),
                    static_cast<size_t>(info.outputRowStride * count))) {
      *error = outputWriteError();
      return false;
    }
    reportProgress(progress, first + count, info.rowCount);
  }
  return true;
}

bool copyTail(FILE* input, FILE* output, const BitmapInfo& info,
              std::string* error) {
  return copyRange(input, output, info.tailOffset,
                   info.fileSize - info.tailOffset, error,
                   [](uint8_t*, int64_t, int64_t) {});
}
