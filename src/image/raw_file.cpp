#include "image/raw_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/pixel_rows.h"
#include "image/row_stream.h"
#include "image/zip_tile.h"

namespace {

// Rows sampled for the byte-order check: enough for a clear answer, few
// enough to cost nothing on large maps.
constexpr int64_t kOrderCheckPixels = int64_t{1} << 22;

// True when the heights, read with their two bytes swapped, differ far less
// from their left neighbours than as read: noise one way, terrain the other.
bool swappedIsSmoother(const PlaneSet& planes, int32_t width, int32_t height) {
  if (width < 2) return false;
  int64_t rows = std::max<int64_t>(1, kOrderCheckPixels / width);
  int64_t step = std::max<int64_t>(1, height / rows);
  uint64_t asRead = 0, swapped = 0;
  for (int64_t row = 0; row < height; row += step) {
    const uint8_t* low = planes.inRed[static_cast<int32_t>(row)];
    const uint8_t* high = planes.inGreen[static_cast<int32_t>(row)];
    for (int32_t column = 1; column < width; ++column) {
      int32_t a = low[column] | high[column] << 8;
      int32_t b = low[column - 1] | high[column - 1] << 8;
      int32_t c = high[column] | low[column] << 8;
      int32_t d = high[column - 1] | low[column - 1] << 8;
      asRead += static_cast<uint64_t>(a > b ? a - b : b - a);
      swapped += static_cast<uint64_t>(c > d ? c - d : d - c);
    }
  }
  return asRead > 0 && swapped * 4 < asRead;
}

// An SRTM tile's samples, read as stored 16-bit codes, become heights in
// place: one table of every code's height.
void mapHgtSamples(InputImage* image, PlaneSet* planes) {
  constexpr int32_t kVoid = -32768;
  SampleSurvey survey;
  std::vector<int64_t> counts(65536, 0);
  for (int32_t row = 0; row < image->height; ++row) {
    const uint8_t* low = planes->inRed[row];
    const uint8_t* high = planes->inGreen[row];
    for (int32_t column = 0; column < image->width; ++column) {
      ++counts[static_cast<size_t>(low[column] | high[column] << 8)];
    }
  }
  for (int32_t code = 0; code < 65536; ++code) {
    int64_t count = counts[static_cast<size_t>(code)];
    if (count == 0) continue;
    int32_t sample = static_cast<int16_t>(static_cast<uint16_t>(code));
    if (sample == kVoid) {
      survey.nodata += count;
      continue;
    }
    survey.add(sample, count);
  }
  SampleType type;
  type.kind = SampleKind::kSigned;
  type.bits = 16;
  image->mapping = planSampleMapping(type, survey, image->request.mapping);
  std::vector<uint16_t> heights(65536);
  for (int32_t code = 0; code < 65536; ++code) {
    int32_t sample = static_cast<int16_t>(static_cast<uint16_t>(code));
    StoreCount clamped;
    HeightValue height = sample == kVoid
                             ? image->mapping.nodataHeight
                             : mapSample(image->mapping, sample, &clamped);
    heights[static_cast<size_t>(code)] = static_cast<uint16_t>(height);
    image->unitClamped.low += clamped.low * counts[static_cast<size_t>(code)];
    image->unitClamped.high += clamped.high * counts[static_cast<size_t>(code)];
  }
  for (int32_t row = 0; row < image->height; ++row) {
    uint8_t* low = planes->inRed[row];
    uint8_t* high = planes->inGreen[row];
    uint8_t* marks = planes->inBlue[row];
    for (int32_t column = 0; column < image->width; ++column) {
      const int32_t code = low[column] | high[column] << 8;
      // Voids are marked for the fill (the plane is zeros: planes of
      // BlueUse::kMarks).
      if (code == 0x8000) {
        marks[column] = 1;
        planes->blueZero = false;
      }
      uint16_t height = heights[static_cast<size_t>(code)];
      low[column] = static_cast<uint8_t>(height);
      high[column] = static_cast<uint8_t>(height >> 8);
    }
  }
}

}  // namespace

// Raw heights: the file's size gives the square's side, or must match the
// size the user gave.
bool inspectRaw(int64_t fileSize, const RasterSize* size, int64_t sampleBytes,
                InputImage* image, std::string* error) {
  const std::string has =
      std::string(sampleBytes == 4 ? "Raw float file" : "Raw height file") +
      " has " + std::to_string(fileSize) + " bytes";
  const std::string each =
      std::to_string(sampleBytes) +
      (sampleBytes == 4 ? " bytes a float" : " bytes a height");
  if (size != nullptr) {
    // Below 2^64, as both sides are 31-bit and a sample 4 bytes at most.
    const uint64_t expected = static_cast<uint64_t>(sampleBytes) *
                              static_cast<uint64_t>(size->width) *
                              static_cast<uint64_t>(size->height);
    if (static_cast<uint64_t>(fileSize) != expected) {
      *error = has + ", but -dim " + std::to_string(size->width) + "x" +
               std::to_string(size->height) + " needs " +
               std::to_string(expected) + " (" + each + ")";
      return false;
    }
    image->width = size->width;
    image->height = size->height;
    return true;
  }
  int64_t side = 0;
  // The integer square root of fileSize / sampleBytes, without floating
  // point.
  for (int64_t step = int64_t{1} << 31; step > 0; step >>= 1) {
    int64_t next = side + step;
    if (next <= INT32_MAX && next * next <= fileSize / sampleBytes) {
      side = next;
    }
  }
  if (side == 0 || sampleBytes * side * side != fileSize) {
    *error = has + ", not " + std::to_string(sampleBytes) +
             " x n x n for a square map (" + each +
             "); give its size with -dim <width>x<height>";
    return false;
  }
  image->width = image->height = static_cast<int32_t>(side);
  return true;
}

// An SRTM tile: the file's size gives the square's side.
bool inspectHgt(int64_t fileSize, InputImage* image, std::string* error) {
  std::string ignored;
  if (!inspectRaw(fileSize, nullptr, 2, image, &ignored)) {
    *error = "SRTM tile has " + std::to_string(fileSize) +
             " bytes, not 2 x n x n for a square tile (1201 x 1201 or 3601 "
             "x 3601, 2 bytes a height)";
    return false;
  }
  return true;
}

namespace {

// An SRTM tile's samples inflated from its zip archive, row after row as
// the file's are read.
bool readZippedRows(FileStream* input, const InputImage& image,
                    PlaneSet* planes, std::string* error,
                    const Progress* progress) {
  ZipReader* reader = nullptr;
  if (!openZipMember(input, image, &reader, error)) return false;
  auto transfer = [&](uint8_t* bytes, int64_t size) {
    return readZipExact(reader, bytes, static_cast<size_t>(size), error);
  };
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const uint8_t* bytes) {
    splitPairRow(bytes, planes->inGreen[row] + column,
                 planes->inRed[row] + column, static_cast<size_t>(count));
  };
  const bool read = streamRows(sampleRowLayout(image.width, image.height, 2),
                               false, transfer, store, error, progress);
  std::string closing;
  const bool closed = closeZipMember(reader, &closing);
  if (read && !closed) *error = closing;
  return read && closed;
}

}  // namespace

bool readRawHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                    std::string* error, const Progress* progress) {
  if (!image->zipMember.empty()) {
    if (!readZippedRows(input, *image, planes, error, progress)) return false;
    mapHgtSamples(image, planes);
    return true;
  }
  if (!seekTo(input, 0)) {
    *error = inputReadError(*input);
    return false;
  }
  // SRTM tiles are big-endian, raw heights as -order says.
  const bool big =
      image->format == HeightFormat::kHgt || image->request.bigEndian;
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const uint8_t* bytes) {
    size_t length = static_cast<size_t>(count);
    uint8_t* low = planes->inRed[row] + column;
    uint8_t* high = planes->inGreen[row] + column;
    splitPairRow(bytes, big ? high : low, big ? low : high, length);
  };
  if (!readRows(input, sampleRowLayout(image->width, image->height, 2), store,
                inputReadError, error, progress)) {
    return false;
  }
  if (image->format == HeightFormat::kHgt) {
    mapHgtSamples(image, planes);
  } else {
    image->otherOrderSmoother =
        swappedIsSmoother(*planes, image->width, image->height);
  }
  return true;
}

bool writeRawHeights(FileStream* output, const PlaneSet& planes, int32_t width,
                     int32_t height, bool bigEndian, bool southFirst,
                     std::string* error, const Progress* progress) {
  auto load = [&](int32_t row, int32_t column, int32_t count, uint8_t* bytes) {
    const int32_t from = southFirst ? height - 1 - row : row;
    const uint8_t* red = planes.outRed[from] + column;
    const uint8_t* green = planes.outGreen[from] + column;
    joinPairRow(bigEndian ? green : red, bigEndian ? red : green, bytes,
                static_cast<size_t>(count));
  };
  return writeRows(output, sampleRowLayout(width, height, 2), load,
                   outputWriteError, error, progress);
}
