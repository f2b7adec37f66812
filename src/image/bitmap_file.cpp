#include "image/bitmap_file.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "image/file_stream.h"
#include "image/little_endian.h"

namespace {

// Header and tail are copied through a buffer of at most this many bytes.
constexpr int64_t kCopyChunk = 1 << 16;

int64_t paddedStride(int64_t rowBytes) { return (rowBytes + 3) / 4 * 4; }

std::unique_ptr<uint8_t[]> allocateBuffer(int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > PTRDIFF_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow)
                                        uint8_t[static_cast<size_t>(size)]);
}

std::string withReason(const std::string& what) {
  std::string reason = lastSystemError();
  return reason.empty() ? what : what + ": " + reason;
}

std::string readError() { return withReason("Cannot read the input file"); }
std::string writeError() { return withReason("Cannot write the output file"); }

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
    *error = readError();
    return false;
  }
  for (int64_t done = 0; done < length;) {
    int64_t step = length - done < chunk ? length - done : chunk;
    errno = 0;
    if (!readExact(input, buffer.get(), static_cast<size_t>(step))) {
      *error = readError();
      return false;
    }
    patch(buffer.get(), done, step);
    errno = 0;
    if (!writeExact(output, buffer.get(), static_cast<size_t>(step))) {
      *error = writeError();
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
    *error = readError();
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
    *error = readError();
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

bool readPixels(FILE* input, const BitmapInfo& info, const PlaneSet& planes,
                std::string* error) {
  std::unique_ptr<uint8_t[]> row = allocateBuffer(info.inputRowStride);
  if (!row) {
    *error = "Not enough memory for a row of " +
             std::to_string(info.inputRowStride) + " bytes";
    return false;
  }
  errno = 0;
  if (!seekTo(input, info.pixelDataOffset)) {
    *error = readError();
    return false;
  }
  for (int32_t fileRow = 0; fileRow < info.rowCount; ++fileRow) {
    errno = 0;
    if (!readExact(input, row.get(),
                   static_cast<size_t>(info.inputRowStride))) {
      *error = readError();
      return false;
    }
    int32_t planeRow = planeRowOf(info, fileRow);
    uint8_t* red = planes.inRed[planeRow];
    uint8_t* green = planes.inGreen[planeRow];
    uint8_t* blue = planes.inBlue[planeRow];
    const uint8_t* bytes = row.get();
    if (info.bitsPerPixel == 8) {
      std::memcpy(red, bytes, static_cast<size_t>(info.width));
      std::memset(green, 0, static_cast<size_t>(info.width));
      std::memset(blue, 0, static_cast<size_t>(info.width));
    } else {
      for (int32_t column = 0; column < info.width; ++column) {
        blue[column] = bytes[3 * column];
        green[column] = bytes[3 * column + 1];
        red[column] = bytes[3 * column + 2];
      }
    }
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
                 std::string* error) {
  std::unique_ptr<uint8_t[]> row = allocateBuffer(info.outputRowStride);
  if (!row) {
    *error = "Not enough memory for a row of " +
             std::to_string(info.outputRowStride) + " bytes";
    return false;
  }
  uint8_t* bytes = row.get();
  // The padding stays zero: only the pixel bytes are rewritten per row.
  std::memset(bytes, 0, static_cast<size_t>(info.outputRowStride));
  for (int32_t fileRow = 0; fileRow < info.rowCount; ++fileRow) {
    int32_t planeRow = planeRowOf(info, fileRow);
    const uint8_t* red = planes.outRed[planeRow];
    const uint8_t* green = planes.outGreen[planeRow];
    const uint8_t* blue = planes.outBlue[planeRow];
    for (int32_t column = 0; column < info.width; ++column) {
      bytes[3 * column] = blue[column];
      bytes[3 * column + 1] = green[column];
      bytes[3 * column + 2] = red[column];
    }
    errno = 0;
    if (!writeExact(output, bytes, static_cast<size_t>(info.outputRowStride))) {
      *error = writeError();
      return false;
    }
  }
  return true;
}

bool copyTail(FILE* input, FILE* output, const BitmapInfo& info,
              std::string* error) {
  return copyRange(input, output, info.tailOffset,
                   info.fileSize - info.tailOffset, error,
                   [](uint8_t*, int64_t, int64_t) {});
}
