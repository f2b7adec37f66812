#include "image/pgm_file.h"

#include <cstring>
#include <vector>

#include "image/byte_buffer.h"
#include "image/pixel_rows.h"
#include "image/raw_file.h"
#include "image/row_stream.h"

namespace {

// No PGM header needs more: three numbers and a few comments.
constexpr int64_t kHeaderLimit = 4096;

const char kMalformed[] = "Malformed PGM header: ";

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Reads PGM text from a stream through a buffer: numbers separated by
// whitespace and comments (from '#' to the end of the line).
struct TextReader {
  FileStream* input = nullptr;
  int64_t remaining = 0;  // bytes of the file not yet buffered
  std::vector<uint8_t> buffer;
  size_t at = 0;
  size_t end = 0;
  int64_t consumed = 0;  // bytes taken from the file so far

  // The next byte, or -1 at the end of the file or a failed read.
  int next() {
    if (at == end) {
      if (remaining == 0) return -1;
      size_t step = static_cast<size_t>(
          std::min<int64_t>(remaining, static_cast<int64_t>(buffer.size())));
      if (!readExact(input, buffer.data(), step)) return -1;
      remaining -= static_cast<int64_t>(step);
      at = 0;
      end = step;
    }
    ++consumed;
    return buffer[at++];
  }
  // Puts back the byte just taken (only one).
  void back() {
    --at;
    --consumed;
  }
};

// The next number: skips whitespace and comments, then reads decimal digits
// (at most limit). The byte after the digits is left unread. False with why
// set when there is no number there or it exceeds limit.
bool readNumber(TextReader* text, int64_t limit, int64_t* value,
                std::string* why) {
  int c = text->next();
  for (;;) {
    if (c == '#') {
      while (c != '\n' && c != '\r' && c != -1) c = text->next();
    } else if (!isSpace(c)) {
      break;
    }
    c = text->next();
  }
  if (c < '0' || c > '9') {
    *why = c == -1 ? "it ends too early" : "a number is expected";
    return false;
  }
  *value = 0;
  while (c >= '0' && c <= '9') {
    *value = *value * 10 + (c - '0');
    if (*value > limit) {
      *why = "a number is larger than " + std::to_string(limit);
      return false;
    }
    c = text->next();
  }
  if (c != -1) text->back();
  return true;
}

}  // namespace

bool inspectPgm(FileStream* input, int64_t fileSize, InputImage* image,
                std::string* error) {
  TextReader text;
  text.input = input;
  text.remaining = std::min(fileSize, kHeaderLimit);
  text.buffer.resize(static_cast<size_t>(std::max<int64_t>(text.remaining, 1)));
  if (!seekTo(input, 0)) {
    *error = inputReadError(*input);
    return false;
  }
  text.next();
  image->text = text.next() == '2';
  int64_t width = 0;
  int64_t height = 0;
  int64_t maxval = 0;
  std::string why;
  if (!readNumber(&text, INT32_MAX, &width, &why) ||
      !readNumber(&text, INT32_MAX, &height, &why) ||
      !readNumber(&text, 1 << 20, &maxval, &why)) {
    *error = kMalformed + why;
    return false;
  }
  if (width < 1 || height < 1) {
    *error = kMalformed + std::string("the image has no pixels");
    return false;
  }
  if (maxval < 1 || maxval > 65535) {
    *error = kMalformed + std::string("its maxval ") + std::to_string(maxval) +
             " is not in 1 ... 65535";
    return false;
  }
  // Exactly one whitespace byte ends the header.
  if (!isSpace(text.next())) {
    *error = kMalformed + std::string("no whitespace after the maxval");
    return false;
  }
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->maxval = static_cast<int32_t>(maxval);
  image->dataOffset = text.consumed;
  int64_t available = fileSize - image->dataOffset;
  if (image->text) {
    // Every sample but the last takes a digit and a separator at least: a
    // size the file cannot hold is refused before the planes are made.
    if (height > (available + 1) / 2 / width) {
      *error = "Malformed PGM: its " + std::to_string(width) + " x " +
               std::to_string(height) + " samples cannot fit in the " +
               std::to_string(available) + " bytes after its header";
      return false;
    }
    return true;
  }
  int64_t sampleBytes = maxval < 256 ? 1 : 2;
  // Divide rather than multiply: the product can exceed 63 bits.
  if (height > available / (sampleBytes * width)) {
    *error = "Malformed PGM: its " + std::to_string(width) + " x " +
             std::to_string(height) + " samples of " +
             std::to_string(sampleBytes) + " byte" +
             (sampleBytes == 1 ? "" : "s") + " do not fit in the " +
             std::to_string(available) + " bytes after its header";
    return false;
  }
  return true;
}

bool readPgmHeights(FileStream* input, const InputImage& image,
                    PlaneSet* planes, std::string* error,
                    const Progress* progress) {
  const size_t width = static_cast<size_t>(image.width);
  if (!seekTo(input, image.dataOffset)) {
    *error = inputReadError(*input);
    return false;
  }
  if (!image.text) {
    const int64_t sampleBytes = image.maxval < 256 ? 1 : 2;
    auto store = [&](int32_t row, int32_t column, int32_t count,
                     const uint8_t* bytes) {
      size_t length = static_cast<size_t>(count);
      if (sampleBytes == 1) {
        std::memcpy(planes->inRed[row] + column, bytes, length);
        std::memset(planes->inGreen[row] + column, 0, length);
      } else {
        // Big-endian: the high byte comes first.
        splitPairRow(bytes, planes->inGreen[row] + column,
                     planes->inRed[row] + column, length);
      }
    };
    RowLayout layout{image.width, image.height, sampleBytes,
                     sampleBytes * image.width};
    return readRows(input, layout, store, inputReadError, error, progress);
  }
  TextReader text;
  text.input = input;
  text.remaining = streamLength(input) - image.dataOffset;
  text.buffer.resize(static_cast<size_t>(kRowChunk));
  if (text.remaining < 0 || !seekTo(input, image.dataOffset)) {
    *error = inputReadError(*input);
    return false;
  }
  int64_t total = static_cast<int64_t>(width) * image.height;
  for (int32_t row = 0; row < image.height; ++row) {
    for (size_t column = 0; column < width; ++column) {
      int64_t value = 0;
      std::string why;
      if (!readNumber(&text, 65535, &value, &why)) {
        int64_t read = static_cast<int64_t>(row) * image.width +
                       static_cast<int64_t>(column);
        *error = "Malformed PGM: " + why + " after " + std::to_string(read) +
                 " of its " + std::to_string(total) + " samples";
        return false;
      }
      // A sample above the file's own maxval would be a height outside the
      // range the file claims.
      if (value > image.maxval) {
        *error = "Malformed PGM: the sample at row " + std::to_string(row + 1) +
                 ", column " + std::to_string(column + 1) + " is " +
                 std::to_string(value) + ", above its maxval " +
                 std::to_string(image.maxval);
        return false;
      }
      planes->inRed[row][column] = static_cast<uint8_t>(value);
      planes->inGreen[row][column] = static_cast<uint8_t>(value >> 8);
    }
    reportProgress(progress, row + 1, image.height);
  }
  return true;
}

bool writePgmHeader(FileStream* output, int32_t width, int32_t height,
                    std::string* error) {
  std::string header = "P5\n" + std::to_string(width) + " " +
                       std::to_string(height) + "\n65535\n";
  if (writeExact(output, reinterpret_cast<const uint8_t*>(header.data()),
                 header.size())) {
    return true;
  }
  *error = outputWriteError(*output);
  return false;
}

bool writePgmHeights(FileStream* output, const PlaneSet& planes, int32_t width,
                     int32_t height, std::string* error,
                     const Progress* progress) {
  // After the header, the samples are raw big-endian heights.
  return writeRawHeights(output, planes, width, height, true, false, error,
                         progress);
}
