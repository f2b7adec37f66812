#include "image/bitmap_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "image/byte_buffer.h"
#include "image/little_endian.h"

namespace {

// Header and tail not kept are copied through a buffer of this many bytes.
constexpr int64_t kCopyChunk = 1 << 16;

int64_t paddedStride(int64_t rowBytes) { return (rowBytes + 3) / 4 * 4; }

// "1 byte", "54 bytes".
std::string byteCount(int64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The input as inspected is still the input: the same size and time.
bool unchangedSinceInspected(const FileStream& input, const BitmapInfo& info,
                             FileStream* report) {
  FileStamp now = stampOf(input);
  if (now.size == info.stamp.size && now.modified == info.stamp.modified &&
      now.size >= 0) {
    return true;
  }
  report->failure = "the file was rewritten after it was read";
  report->systemFailure = false;
  return false;
}

// Fixes the fields that differ between the input's header and the output's
// in a stretch of the header that starts at offset start.
void patchHeader(const BitmapInfo& info, uint8_t* bytes, int64_t start,
                 int64_t size) {
  auto patch32 = [&](int64_t field, uint32_t value) {
    if (field >= start && field + 4 <= start + size) {
      storeLe32(bytes + (field - start), value);
    }
  };
  patch32(kFileSizeOffset, static_cast<uint32_t>(info.outputFileSize));
  if (info.imageSizeGiven) {
    patch32(kImageSizeOffset,
            static_cast<uint32_t>(info.outputRowStride * info.rowCount));
  }
  if (start <= kBitsPerPixelOffset && kBitsPerPixelOffset + 2 <= start + size) {
    storeLe16(bytes + (kBitsPerPixelOffset - start), 24);
  }
}

// Copies length input bytes from offset to the output's current position,
// patching header bytes with patch when it is set.
bool copyRange(FileStream* input, FileStream* output, const BitmapInfo& info,
               int64_t offset, int64_t length, bool patch, std::string* error) {
  if (length <= 0) return true;
  if (!unchangedSinceInspected(*input, info, input)) {
    *error = kInputChanged;
    return false;
  }
  int64_t chunk = std::min(length, kCopyChunk);
  std::unique_ptr<uint8_t[]> buffer = allocateBytes(chunk);
  if (!buffer) {
    *error = "Not enough memory for a copy buffer";
    return false;
  }
  if (!seekTo(input, offset)) {
    *error = inputReadError(*input);
    return false;
  }
  for (int64_t done = 0; done < length;) {
    int64_t step = std::min(length - done, chunk);
    if (!readExact(input, buffer.get(), static_cast<size_t>(step))) {
      *error = inputReadError(*input);
      return false;
    }
    if (patch) patchHeader(info, buffer.get(), done, step);
    if (!writeExact(output, buffer.get(), static_cast<size_t>(step))) {
      *error = outputWriteError(*output);
      return false;
    }
    done += step;
  }
  return true;
}

// The name of a bitmap's compression field, as the format defines it: OS/2
// 2.x headers (64 bytes) give 3 and 4 meanings of their own.
std::string compressionName(uint32_t compression, uint32_t infoHeaderSize) {
  if (infoHeaderSize == 64 && compression == 3) return "OS/2 Huffman 1D";
  if (infoHeaderSize == 64 && compression == 4) return "OS/2 RLE24";
  switch (compression) {
    case 1:
      return "RLE8, run-length encoded 8-bit";
    case 2:
      return "RLE4, run-length encoded 4-bit";
    case 3:
      return "bit fields";
    case 4:
      return "an embedded JPEG";
    case 5:
      return "an embedded PNG";
    case 6:
      return "bit fields with alpha";
    default:
      return "compression type " + std::to_string(compression);
  }
}

// How to save a bitmap the tool reads: uncompressed, 8 or 24 bits.
constexpr const char* kSaveAdvice =
    "save it as an uncompressed 24-bit or 8-bit grey bitmap (ImageMagick 6: "
    "convert map.bmp -compress none -type TrueColor BMP3:plain.bmp; in an "
    "image editor, the BMP export's uncompressed, 24-bit option)";

// The same for an 8-bit bitmap (RLE8): -type TrueColor would turn its grey
// into 24-bit grey, which reads 256 times higher; without it ImageMagick
// keeps the 8 bits and the grey palette, so the heights stay.
constexpr const char* kSaveEightBitAdvice =
    "save it as an uncompressed 8-bit bitmap, which keeps its heights "
    "(ImageMagick 6: convert map.bmp -compress none BMP3:plain.bmp; in an "
    "image editor, the BMP export's uncompressed, 8-bit option)";

}  // namespace

bool inspectBitmap(FileStream* input, BitmapInfo* info, std::string* error) {
  *info = BitmapInfo();
  info->stamp = stampOf(*input);
  int64_t fileSize = streamLength(input);
  if (fileSize < 0) {
    *error = inputReadError(*input);
    return false;
  }
  uint8_t header[kMinimumHeaderSize] = {};
  size_t known = static_cast<size_t>(std::min(fileSize, kMinimumHeaderSize));
  if (!seekTo(input, 0) || !readExact(input, header, known)) {
    *error = inputReadError(*input);
    return false;
  }
  bool signature = known >= 2 && header[0] == 'B' && header[1] == 'M';
  // An OS/2 1.x header (12 bytes) keeps its depth elsewhere, and may end
  // before 54 bytes: its size is checked before any field after it is read.
  uint32_t infoHeaderSize = loadLe32(header + kInfoHeaderSizeOffset);
  if (signature && static_cast<int64_t>(known) >= kInfoHeaderSizeOffset + 4 &&
      infoHeaderSize < kMinimumInfoHeaderSize) {
    *error = "Unsupported bitmap header: its info header has " +
             std::to_string(infoHeaderSize) + " bytes, at least " +
             std::to_string(kMinimumInfoHeaderSize) + " are needed";
    return false;
  }
  if (fileSize < kMinimumHeaderSize) {
    *error = "Input file is not a bitmap: " + byteCount(fileSize) +
             " is too short for a bitmap header";
    return false;
  }
  if (!signature) {
    *error = "Input file is not a bitmap: it does not start with \"BM\"";
    return false;
  }

  int16_t bitsPerPixel =
      static_cast<int16_t>(loadLe16(header + kBitsPerPixelOffset));
  uint32_t compression = loadLe32(header + kCompressionOffset);
  if (bitsPerPixel != 8 && bitsPerPixel != 24) {
    *error = "Invalid bit rate";
    info->advice =
        "its pixels have " + std::to_string(bitsPerPixel) + " bits each" +
        (compression != 0
             ? " (" + compressionName(compression, infoHeaderSize) + ")"
             : std::string()) +
        "; Quillorn reads 8-bit and 24-bit bitmaps: " + kSaveAdvice;
    return false;
  }

  int32_t width = static_cast<int32_t>(loadLe32(header + kWidthOffset));
  int32_t height = static_cast<int32_t>(loadLe32(header + kHeightOffset));
  uint32_t pixelDataOffset = loadLe32(header + kPixelDataOffsetOffset);
  int64_t headersEnd = 14 + static_cast<int64_t>(infoHeaderSize);
  if (compression != 0) {
    *error = "Compressed bitmaps are not supported (compression type " +
             std::to_string(compression) + ")";
    info->advice = "it is compressed (" +
                   compressionName(compression, infoHeaderSize) +
                   "), which Quillorn does not read: " +
                   (bitsPerPixel == 8 ? kSaveEightBitAdvice : kSaveAdvice);
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
  // Signed in the header; a negative density is no density.
  const int32_t across =
      static_cast<int32_t>(loadLe32(header + kPixelsPerMetreAcrossOffset));
  const int32_t down =
      static_cast<int32_t>(loadLe32(header + kPixelsPerMetreDownOffset));
  info->density.across = across > 0 ? static_cast<uint32_t>(across) : 0;
  info->density.down = down > 0 ? static_cast<uint32_t>(down) : 0;
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
  // The header is read once, here; the pixels follow it.
  info->headerKept = pixelDataOffset <= kKeptBytes;
  if (info->headerKept) {
    info->header.resize(pixelDataOffset);
    if (!seekTo(input, 0) ||
        !readExact(input, info->header.data(), info->header.size())) {
      *error = inputReadError(*input);
      return false;
    }
  }
  return true;
}

bool readTail(FileStream* input, BitmapInfo* info, std::string* error) {
  int64_t length = info->fileSize - info->tailOffset;
  info->tailKept = length <= kKeptBytes;
  if (!info->tailKept || length == 0) return true;
  info->tail.resize(static_cast<size_t>(length));
  // The rows were just read: the input is positioned at the tail.
  if (!seekTo(input, info->tailOffset) ||
      !readExact(input, info->tail.data(), info->tail.size())) {
    *error = inputReadError(*input);
    return false;
  }
  return true;
}

bool writeHeader(FileStream* input, FileStream* output, const BitmapInfo& info,
                 std::string* error) {
  if (!info.headerKept) {
    return copyRange(input, output, info, 0, info.pixelDataOffset, true, error);
  }
  std::vector<uint8_t> header = info.header;
  patchHeader(info, header.data(), 0, static_cast<int64_t>(header.size()));
  if (!writeExact(output, header.data(), header.size())) {
    *error = outputWriteError(*output);
    return false;
  }
  return true;
}

bool copyTail(FileStream* input, FileStream* output, const BitmapInfo& info,
              std::string* error) {
  if (!info.tailKept) {
    return copyRange(input, output, info, info.tailOffset,
                     info.fileSize - info.tailOffset, false, error);
  }
  if (!info.tail.empty() &&
      !writeExact(output, info.tail.data(), info.tail.size())) {
    *error = outputWriteError(*output);
    return false;
  }
  return true;
}

int32_t firstColourEntry(const BitmapInfo& info, const PlaneSet& planes) {
  if (!info.headerKept) return -1;
  bool used[256] = {};
  for (int32_t row = 0; row < info.rowCount; ++row) {
    const uint8_t* indices = planes.inRed[row];
    for (int32_t column = 0; column < info.width; ++column) {
      used[indices[column]] = true;
    }
  }
  int64_t paletteStart =
      14 + loadLe32(info.header.data() + kInfoHeaderSizeOffset);
  int64_t entries =
      (static_cast<int64_t>(info.pixelDataOffset) - paletteStart) / 4;
  for (int64_t index = 0; index < 256; ++index) {
    if (!used[index]) continue;
    // An index past the palette has no colour at all.
    if (index >= entries) return static_cast<int32_t>(index);
    const uint8_t* entry =
        info.header.data() + paletteStart + 4 * index;  // blue, green, red
    if (entry[0] != index || entry[1] != index || entry[2] != index) {
      return static_cast<int32_t>(index);
    }
  }
  return -1;
}

bool planesAreGrey(const PlaneSet& planes, int32_t width, int32_t height) {
  bool black = true;
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* red = planes.inRed[row];
    const uint8_t* green = planes.inGreen[row];
    const uint8_t* blue = planes.inBlue[row];
    for (int32_t column = 0; column < width; ++column) {
      if (red[column] != green[column] || green[column] != blue[column]) {
        return false;
      }
      black = black && red[column] == 0;
    }
  }
  return !black;
}
