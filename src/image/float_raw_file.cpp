#include "image/float_raw_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "image/little_endian.h"
#include "image/row_stream.h"

namespace {

// A PFM header is a few dozen bytes; more than this is no PFM.
constexpr size_t kPfmHeaderLimit = 256;

bool isPfmSpace(uint8_t byte) {
  return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n';
}

// The 32-bit value at bytes, stored big- or little-endian.
uint32_t loadBits(const uint8_t* bytes, bool big) {
  if (!big) return loadLe32(bytes);
  return static_cast<uint32_t>(bytes[0]) << 24 |
         static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

void storeBits(uint8_t* bytes, uint32_t bits, bool big) {
  if (!big) {
    storeLe32(bytes, bits);
    return;
  }
  bytes[0] = static_cast<uint8_t>(bits >> 24);
  bytes[1] = static_cast<uint8_t>(bits >> 16);
  bytes[2] = static_cast<uint8_t>(bits >> 8);
  bytes[3] = static_cast<uint8_t>(bits);
}

}  // namespace

bool inspectPfm(FileStream* input, int64_t fileSize, InputImage* image,
                std::string* error) {
  uint8_t header[kPfmHeaderLimit] = {};
  const size_t known = static_cast<size_t>(
      std::min<int64_t>(fileSize, static_cast<int64_t>(kPfmHeaderLimit)));
  if (!seekTo(input, 0) || !readExact(input, header, known)) {
    *error = inputReadError(*input);
    return false;
  }
  // Three fields after "Pf", each after whitespace; one whitespace byte ends
  // the scale, and the samples follow it.
  std::string fields[3];
  size_t at = 2;
  for (std::string& field : fields) {
    const size_t start = at;
    while (at < known && isPfmSpace(header[at])) ++at;
    if (at == start) break;
    while (at < known && !isPfmSpace(header[at]) && field.size() < 40) {
      field += static_cast<char>(header[at++]);
    }
  }
  char* end = nullptr;
  const long long width = std::strtoll(fields[0].c_str(), &end, 10);
  const bool widthRead = !fields[0].empty() && *end == '\0';
  const long long height = std::strtoll(fields[1].c_str(), &end, 10);
  const bool heightRead = !fields[1].empty() && *end == '\0';
  const double scale = std::strtod(fields[2].c_str(), &end);
  const bool scaleRead = !fields[2].empty() && *end == '\0';
  if (!widthRead || !heightRead || !scaleRead || at >= known ||
      !isPfmSpace(header[at])) {
    *error =
        "Malformed PFM: its header is not \"Pf\", the width, the height and "
        "the scale, each after whitespace";
    return false;
  }
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX ||
      !std::isfinite(scale) || scale == 0) {
    *error = "Malformed PFM: it is " + fields[0] + " x " + fields[1] +
             " pixels at scale " + fields[2];
    return false;
  }
  // Below 2^64, as width and height are 31-bit.
  const uint64_t needed =
      4 * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  int64_t dataOffset = static_cast<int64_t>(at) + 1;
  // A header written with CR LF line ends has its samples after the LF.
  if (header[at] == '\r' && at + 1 < known && header[at + 1] == '\n' &&
      static_cast<uint64_t>(fileSize - dataOffset - 1) == needed) {
    ++dataOffset;
  }
  const uint64_t has = static_cast<uint64_t>(fileSize - dataOffset);
  if (has != needed) {
    *error = std::string(has < needed ? "PFM file is truncated"
                                      : "PFM file is too long") +
             ": its " + fields[0] + " x " + fields[1] + " samples need " +
             std::to_string(needed) + " bytes after the header, it has " +
             std::to_string(has);
    return false;
  }
  image->dataOffset = dataOffset;
  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  // A negative scale marks little-endian samples.
  image->bigEndianFloats = scale > 0;
  return true;
}

bool readFloatHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress) {
  const bool big = image->bigEndianFloats;
  // A PFM's first row is the bottom one.
  const bool bottomUp = image->format == HeightFormat::kPfm;
  const int32_t rows = image->height;
  FloatHeights heights;
  std::vector<float> samples;
  auto decode = [&](int32_t count, const uint8_t* bytes) {
    samples.resize(static_cast<size_t>(count));
    for (int32_t index = 0; index < count; ++index) {
      samples[static_cast<size_t>(index)] =
          floatFromBits(loadBits(bytes + 4 * static_cast<size_t>(index), big));
    }
  };
  auto survey = [&](int32_t, int32_t, int32_t count, const uint8_t* bytes) {
    decode(count, bytes);
    surveyFloats(samples.data(), samples.size(), &heights);
  };
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const uint8_t* bytes) {
    decode(count, bytes);
    storeFloatHeights(samples.data(), count, bottomUp ? rows - 1 - row : row,
                      column, planes, &heights);
  };
  const RowLayout layout = sampleRowLayout(image->width, rows, 4);
  PassProgress pass;
  startPass(&pass, progress, 0, 2);
  if (!seekTo(input, image->dataOffset) ||
      !readRows(input, layout, survey, inputReadError, error, &pass.progress)) {
    if (error->empty()) *error = inputReadError(*input);
    return false;
  }
  planFloatHeights(image->request.mapping, &heights);
  startPass(&pass, progress, 1, 2);
  if (!seekTo(input, image->dataOffset) ||
      !readRows(input, layout, store, inputReadError, error, &pass.progress)) {
    if (error->empty()) *error = inputReadError(*input);
    return false;
  }
  image->mapping = heights.mapping;
  image->unitClamped = heights.clamped;
  return true;
}

bool readFloatPlane(FileStream* input, InputImage* image, FloatPlane* floats,
                    std::string* error, const Progress* progress) {
  const bool big = image->bigEndianFloats;
  // A PFM's first row is the bottom one.
  const bool bottomUp = image->format == HeightFormat::kPfm;
  const int32_t rows = image->height;
  int64_t nodata = 0;
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const uint8_t* bytes) {
    float* values = floats->row(bottomUp ? rows - 1 - row : row) + column;
    for (int32_t index = 0; index < count; ++index) {
      const float value =
          floatFromBits(loadBits(bytes + 4 * static_cast<size_t>(index), big));
      // Kept bit for bit: a copy writes what it read.
      values[index] = value;
      if (!std::isfinite(value)) ++nodata;
    }
  };
  if (!seekTo(input, image->dataOffset) ||
      !readRows(input, sampleRowLayout(image->width, rows, 4), store,
                inputReadError, error, progress)) {
    if (error->empty()) *error = inputReadError(*input);
    return false;
  }
  image->mapping.nodata = nodata;
  return true;
}

bool writeFloatPlane(FileStream* output, const FloatPlane& floats,
                     bool bigEndian, std::string* error,
                     const Progress* progress) {
  auto load = [&](int32_t row, int32_t column, int32_t count, uint8_t* bytes) {
    const float* values = floats.row(row) + column;
    for (int32_t index = 0; index < count; ++index) {
      storeBits(bytes + 4 * static_cast<size_t>(index),
                bitsOfFloat(values[index]), bigEndian);
    }
  };
  return writeRows(output, sampleRowLayout(floats.width, floats.height, 4),
                   load, outputWriteError, error, progress);
}

bool writeFloatHeights(FileStream* output, const PlaneSet& planes,
                       int32_t width, int32_t height,
                       const WrittenValues& values, bool bigEndian,
                       std::string* error, const Progress* progress) {
  auto load = [&](int32_t row, int32_t column, int32_t count, uint8_t* bytes) {
    const uint8_t* red = planes.outRed[row] + column;
    const uint8_t* green = planes.outGreen[row] + column;
    for (int32_t index = 0; index < count; ++index) {
      const HeightValue stored = red[index] | green[index] << 8;
      storeBits(bytes + 4 * static_cast<size_t>(index),
                bitsOfFloat(valueOfHeight(values, stored)), bigEndian);
    }
  };
  return writeRows(output, sampleRowLayout(width, height, 4), load,
                   outputWriteError, error, progress);
}
