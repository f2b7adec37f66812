// The pixel rows of a bitmap, between the file and the planes, and the new
// bitmaps made for inputs of other formats.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "image/bitmap_file.h"
#include "image/little_endian.h"
#include "image/pixel_rows.h"
#include "image/row_stream.h"
#include "platform/compiler.h"

namespace {

RowLayout inputLayout(const BitmapInfo& info) {
  return RowLayout{info.width, info.rowCount, info.bitsPerPixel / 8,
                   info.inputRowStride};
}

RowLayout outputLayout(int32_t width, int32_t rows) {
  return RowLayout{width, rows, 3, bitmapRowStride(width)};
}

// The bytes of 16 pixels that are followed by another byte of the same
// pixel: a grey pixel's first byte equals its second, its second its third.
constexpr int kGreyBlock = 48;
struct GreyMask {
  uint8_t within[kGreyBlock];
};
constexpr GreyMask makeGreyMask() {
  GreyMask mask{};
  for (int index = 0; index < kGreyBlock; ++index) {
    mask.within[index] = index % 3 == 2 ? 0 : 0xff;
  }
  return mask;
}
constexpr GreyMask kGreyMask = makeGreyMask();

}  // namespace

int64_t bitmapRowStride(int32_t width) {
  return (3 * static_cast<int64_t>(width) + 3) / 4 * 4;
}

bool readPixels(FileStream* input, const BitmapInfo& info, PlaneSet* planes,
                std::string* error, const Progress* progress) {
  if (!seekTo(input, info.pixelDataOffset)) {
    *error = inputReadError(*input);
    return false;
  }
  auto store = [&](int32_t fileRow, int32_t column, int32_t count,
                   const uint8_t* bytes) {
    int32_t row = planeRowOf(info, fileRow);
    size_t length = static_cast<size_t>(count);
    if (info.bitsPerPixel == 8) {
      std::memcpy(planes->inRed[row] + column, bytes, length);
      std::memset(planes->inGreen[row] + column, 0, length);
      std::memset(planes->inBlue[row] + column, 0, length);
    } else {
      splitBgrRow(bytes, planes->inRed[row] + column,
                  planes->inGreen[row] + column, planes->inBlue[row] + column,
                  length);
    }
  };
  return readRows(input, inputLayout(info), store, inputReadError, error,
                  progress);
}

bool writePixels(FileStream* output, const BitmapInfo& info,
                 const PlaneSet& planes, std::string* error,
                 const Progress* progress) {
  auto load = [&](int32_t fileRow, int32_t column, int32_t count,
                  uint8_t* bytes) {
    int32_t row = planeRowOf(info, fileRow);
    joinBgrRow(planes.outRed[row] + column, planes.outGreen[row] + column,
               planes.outBlue[row] + column, bytes, static_cast<size_t>(count));
  };
  return writeRows(output, outputLayout(info.width, info.rowCount), load,
                   outputWriteError, error, progress);
}

QUILLORN_VECTORIZED
bool bgrRowIsGrey(const uint8_t* bytes, size_t count, bool* black) {
  const size_t length = 3 * count;
  uint8_t differ = 0;
  uint8_t lit = 0;
  size_t index = 0;
  // Whole blocks with one byte past them, in lanes the compiler makes
  // vectors of: each byte against the next, no pixel at a time.
  if (length > kGreyBlock) {
    uint8_t differs[kGreyBlock] = {};
    uint8_t lits[kGreyBlock] = {};
    for (; index + kGreyBlock < length; index += kGreyBlock) {
      const uint8_t* block = bytes + index;
      for (int lane = 0; lane < kGreyBlock; ++lane) {
        differs[lane] |=
            (block[lane] ^ block[lane + 1]) & kGreyMask.within[lane];
        lits[lane] |= block[lane];
      }
    }
    for (int lane = 0; lane < kGreyBlock; ++lane) {
      differ |= differs[lane];
      lit |= lits[lane];
    }
  }
  for (; index < length; index += 3) {
    differ |= (bytes[index] ^ bytes[index + 1]) |
              (bytes[index + 1] ^ bytes[index + 2]);
    lit |= bytes[index];
  }
  // Of grey pixels, any lit byte is a lit red.
  if (lit != 0) *black = false;
  return differ == 0;
}

bool copiesAsPixels(const BitmapInfo& info) {
  return info.bitsPerPixel == 24 &&
         info.inputRowStride == bitmapRowStride(info.width);
}

bool copyPixels(FileStream* input, FileStream* output, const BitmapInfo& info,
                bool* grey, std::string* error, const Progress* progress) {
  if (!seekTo(input, info.pixelDataOffset)) {
    *error = inputReadError(*input);
    return false;
  }
  const RowLayout layout = inputLayout(info);
  // Whole rows only, however long: each row's padding is cleared in place.
  const int32_t rows = static_cast<int32_t>(std::clamp<int64_t>(
      kRowChunk / layout.stride, 1, std::max(layout.rows, 1)));
  std::unique_ptr<uint8_t[]> buffer = allocateBytes(layout.stride * rows);
  if (!buffer) {
    *error = "Not enough memory for a row of " + std::to_string(layout.stride) +
             " bytes";
    return false;
  }
  const size_t rowBytes = 3 * static_cast<size_t>(info.width);
  const size_t padding = static_cast<size_t>(layout.stride) - rowBytes;
  bool stillGrey = true;
  bool black = true;
  for (int32_t first = 0; first < layout.rows; first += rows) {
    const int32_t count = std::min(rows, layout.rows - first);
    const size_t size = static_cast<size_t>(layout.stride * count);
    if (!readExact(input, buffer.get(), size)) {
      *error = inputReadError(*input);
      return false;
    }
    for (int32_t index = 0; index < count; ++index) {
      uint8_t* row = buffer.get() + layout.stride * index;
      // A map's first colour settles it: no later row is looked at.
      if (stillGrey)
        stillGrey = bgrRowIsGrey(row, static_cast<size_t>(info.width), &black);
      std::memset(row + rowBytes, 0, padding);
    }
    if (!writeExact(output, buffer.get(), size)) {
      *error = outputWriteError(*output);
      return false;
    }
    reportProgress(progress, first + count, layout.rows);
  }
  *grey = stillGrey && !black;
  return true;
}

bool writeNewBitmapHeader(FileStream* output, int32_t width, int32_t height,
                          const PixelDensity& density, std::string* error) {
  uint8_t header[kMinimumHeaderSize] = {'B', 'M'};
  int64_t imageSize = bitmapRowStride(width) * height;
  storeLe32(header + kFileSizeOffset,
            static_cast<uint32_t>(kMinimumHeaderSize + imageSize));
  storeLe32(header + kPixelDataOffsetOffset, kMinimumHeaderSize);
  storeLe32(header + kInfoHeaderSizeOffset, kMinimumInfoHeaderSize);
  storeLe32(header + kWidthOffset, static_cast<uint32_t>(width));
  storeLe32(header + kHeightOffset, static_cast<uint32_t>(height));
  storeLe16(header + 26, 1);  // one colour plane
  storeLe16(header + kBitsPerPixelOffset, 24);
  storeLe32(header + kImageSizeOffset, static_cast<uint32_t>(imageSize));
  const bool known = density.known();
  storeLe32(header + kPixelsPerMetreAcrossOffset,
            known ? density.across : kDefaultPixelsPerMetre);
  storeLe32(header + kPixelsPerMetreDownOffset,
            known ? density.down : kDefaultPixelsPerMetre);
  if (!writeExact(output, header, sizeof header)) {
    *error = outputWriteError(*output);
    return false;
  }
  return true;
}

bool writeNewBitmapPixels(FileStream* output, const PlaneSet& planes,
                          int32_t width, int32_t height, int64_t* clamped,
                          std::string* error, const Progress* progress) {
  auto load = [&](int32_t fileRow, int32_t column, int32_t count,
                  uint8_t* bytes) {
    // Bottom-up: the first row stored is the image's bottom row.
    int32_t row = height - 1 - fileRow;
    *clamped +=
        narrowBgrRow(planes.outRed[row] + column, planes.outGreen[row] + column,
                     bytes, static_cast<size_t>(count));
  };
  return writeRows(output, outputLayout(width, height), load, outputWriteError,
                   error, progress);
}
