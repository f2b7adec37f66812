#include "image/height_formats.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "image/little_endian.h"
#include "image/pixel_rows.h"
#include "image/row_stream.h"

namespace {

bool endsWith(const std::string& path, const char* ending) {
  size_t length = std::strlen(ending);
  if (path.size() < length) return false;
  for (size_t index = 0; index < length; ++index) {
    char got = path[path.size() - length + index];
    if (std::tolower(static_cast<unsigned char>(got)) != ending[index]) {
      return false;
    }
  }
  return true;
}

// Raw heights: the file's size gives the square's side, or must match the
// size the user gave.
bool inspectRaw(int64_t fileSize, const RasterSize* size, InputImage* image,
                std::string* error) {
  const std::string has =
      "Raw height file has " + std::to_string(fileSize) + " bytes";
  if (size != nullptr) {
    int64_t expected = 2 * static_cast<int64_t>(size->width) * size->height;
    if (fileSize != expected) {
      *error = has + ", but -dim " + std::to_string(size->width) + "x" +
               std::to_string(size->height) + " needs " +
               std::to_string(expected) + " (2 bytes a height)";
      return false;
    }
    image->width = size->width;
    image->height = size->height;
    return true;
  }
  int64_t side = 0;
  // The integer square root of fileSize / 2, without floating point.
  for (int64_t step = int64_t{1} << 31; step > 0; step >>= 1) {
    int64_t next = side + step;
    if (next <= INT32_MAX && 2 * next * next <= fileSize) side = next;
  }
  if (side == 0 || 2 * side * side != fileSize) {
    *error = has +
             ", not 2 x n x n for a square map (2 bytes a height); "
             "give its size with -dim <width>x<height>";
    return false;
  }
  image->width = image->height = static_cast<int32_t>(side);
  return true;
}

RowLayout sampleLayout(int32_t width, int32_t height, int64_t sampleBytes) {
  return RowLayout{width, height, sampleBytes, sampleBytes * width};
}

}  // namespace

HeightFormat outputFormatOf(const std::string& path) {
  if (hasRawName(path)) return HeightFormat::kRaw;
  if (endsWith(path, ".pgm")) return HeightFormat::kPgm;
  if (endsWith(path, ".png")) return HeightFormat::kPng;
  return HeightFormat::kBmp;
}

bool hasRawName(const std::string& path) {
  return endsWith(path, ".r16") || endsWith(path, ".raw");
}

bool parseRasterSize(const char* text, RasterSize* size) {
  int64_t parts[2] = {0, 0};
  int part = 0;
  int digits = 0;
  for (const char* at = text;; ++at) {
    if (*at >= '0' && *at <= '9') {
      parts[part] = parts[part] * 10 + (*at - '0');
      if (parts[part] > INT32_MAX) return false;
      ++digits;
    } else if ((*at == 'x' || *at == 'X') && part == 0 && digits > 0) {
      part = 1;
      digits = 0;
    } else {
      if (*at != '\0' || part != 1 || digits == 0) return false;
      break;
    }
  }
  if (parts[0] < 1 || parts[1] < 1) return false;
  size->width = static_cast<int32_t>(parts[0]);
  size->height = static_cast<int32_t>(parts[1]);
  return true;
}

bool inspectInput(FileStream* input, bool raw, const RasterSize* rawSize,
                  InputImage* image, std::string* error) {
  releaseInput(image);
  *image = InputImage();
  if (raw) {
    image->format = HeightFormat::kRaw;
    int64_t fileSize = streamLength(input);
    if (fileSize < 0) {
      *error = inputReadError(*input);
      return false;
    }
    return inspectRaw(fileSize, rawSize, image, error);
  }
  int64_t fileSize = streamLength(input);
  if (fileSize < 0) {
    *error = inputReadError(*input);
    return false;
  }
  uint8_t start[8] = {};
  size_t known = static_cast<size_t>(fileSize < 8 ? fileSize : 8);
  if (!seekTo(input, 0) || !readExact(input, start, known)) {
    *error = inputReadError(*input);
    return false;
  }
  if (known >= 2 && start[0] == 'P' && (start[1] == '5' || start[1] == '2')) {
    image->format = HeightFormat::kPgm;
    return inspectPgm(input, fileSize, image, error);
  }
  if (known == 8 && std::memcmp(start, kPngSignature, 8) == 0) {
    image->format = HeightFormat::kPng;
    if (!havePng()) {
      *error = kNoPngSupport;
      return false;
    }
    if (!openPngDecoder(input, &image->pngDecoder, &image->png, error)) {
      return false;
    }
    image->width = image->png.width;
    image->height = image->png.height;
    return true;
  }
  bool bitmap = known >= 2 && start[0] == 'B' && start[1] == 'M';
  if (!bitmap && fileSize >= kMinimumHeaderSize) {
    *error =
        "Input file is not a bitmap, PGM or PNG: it starts with none of "
        "their signatures (raw heights need a name ending in .r16 or .raw)";
    return false;
  }
  // A bitmap, or too short to be one: its own checks say which.
  image->format = HeightFormat::kBmp;
  if (!inspectBitmap(input, &image->bitmap, error)) return false;
  image->width = image->bitmap.width;
  image->height = image->bitmap.rowCount;
  return true;
}

bool readInputHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress) {
  const size_t width = static_cast<size_t>(image->width);
  switch (image->format) {
    case HeightFormat::kBmp: {
      if (!readPixels(input, image->bitmap, planes, error, progress) ||
          !readTail(input, &image->bitmap, error)) {
        return false;
      }
      if (image->bitmap.bitsPerPixel == 8) {
        image->colourEntry = firstColourEntry(image->bitmap, *planes);
      } else {
        image->greyPixels = planesAreGrey(*planes, image->width, image->height);
      }
      if (planes->base == kWideBase) {
        for (int32_t row = 0; row < image->height; ++row) {
          widenRow(planes->inRed[row], planes->inGreen[row], width);
        }
      }
      return true;
    }
    case HeightFormat::kRaw: {
      if (!seekTo(input, 0)) {
        *error = inputReadError(*input);
        return false;
      }
      auto store = [&](int32_t row, int32_t column, int32_t count,
                       const uint8_t* bytes) {
        size_t length = static_cast<size_t>(count);
        splitPairRow(bytes, planes->inRed[row] + column,
                     planes->inGreen[row] + column, length);
        std::memset(planes->inBlue[row] + column, 0, length);
      };
      return readRows(input, sampleLayout(image->width, image->height, 2),
                      store, inputReadError, error, progress);
    }
    case HeightFormat::kPgm:
      return readPgmHeights(input, *image, planes, error, progress);
    case HeightFormat::kPng:
      return decodePngHeights(image->pngDecoder, image->png, planes, error,
                              progress);
  }
  return false;
}

void releaseInput(InputImage* image) {
  freePngDecoder(image->pngDecoder);
  image->pngDecoder = nullptr;
}

bool checkOutputSize(const InputImage& input, HeightFormat format,
                     std::string* error) {
  // A bitmap from a bitmap was measured when its header was checked.
  if (format != HeightFormat::kBmp || input.format == HeightFormat::kBmp) {
    return true;
  }
  int64_t size = kMinimumHeaderSize + bitmapRowStride(input.width) *
                                          static_cast<int64_t>(input.height);
  if (size <= kMaximumBitmapFileSize) return true;
  *error = "The output bitmap would have " + std::to_string(size) +
           " bytes, more than a bitmap file can hold";
  return false;
}

bool writeOutputHeader(FileStream* input, FileStream* output,
                       const InputImage& source, OutputImage* image,
                       std::string* error) {
  image->width = source.width;
  image->height = source.height;
  switch (image->format) {
    case HeightFormat::kBmp:
      image->keepsBitmap = source.format == HeightFormat::kBmp;
      if (image->keepsBitmap) {
        return writeHeader(input, output, source.bitmap, error);
      }
      return writeNewBitmapHeader(output, image->width, image->height, error);
    case HeightFormat::kRaw:
      return true;
    case HeightFormat::kPgm: {
      std::string header = "P5\n" + std::to_string(image->width) + " " +
                           std::to_string(image->height) + "\n65535\n";
      if (writeExact(output, reinterpret_cast<const uint8_t*>(header.data()),
                     header.size())) {
        return true;
      }
      *error = outputWriteError(*output);
      return false;
    }
    case HeightFormat::kPng:
      return openPngEncoder(output, image->width, image->height,
                            PngPixels::kGrey16, &image->pngEncoder, error);
  }
  return false;
}

bool writeOutputHeights(FileStream* output, const PlaneSet& planes,
                        const InputImage& source, OutputImage* image,
                        std::string* error, const Progress* progress) {
  const int32_t width = image->width;
  const int32_t height = image->height;
  switch (image->format) {
    case HeightFormat::kBmp:
      if (image->keepsBitmap) {
        return writePixels(output, source.bitmap, planes, error, progress);
      }
      return writeNewBitmapPixels(output, planes, width, height,
                                  &image->clamped, error, progress);
    case HeightFormat::kRaw:
    case HeightFormat::kPgm: {
      // Raw heights are little-endian, PGM samples big-endian.
      bool little = image->format == HeightFormat::kRaw;
      auto load = [&](int32_t row, int32_t column, int32_t count,
                      uint8_t* bytes) {
        const uint8_t* red = planes.outRed[row] + column;
        const uint8_t* green = planes.outGreen[row] + column;
        joinPairRow(little ? red : green, little ? green : red, bytes,
                    static_cast<size_t>(count));
      };
      return writeRows(output, sampleLayout(width, height, 2), load,
                       outputWriteError, error, progress);
    }
    case HeightFormat::kPng: {
      std::vector<uint8_t> row(2 * static_cast<size_t>(width));
      const bool little = hostIsLittleEndian();
      for (int32_t index = 0; index < height; ++index) {
        const uint8_t* red = planes.outRed[index];
        const uint8_t* green = planes.outGreen[index];
        joinPairRow(little ? red : green, little ? green : red, row.data(),
                    static_cast<size_t>(width));
        if (!encodePngRow(image->pngEncoder, row.data(), row.size(), error)) {
          return false;
        }
        reportProgress(progress, index + 1, height);
      }
      return true;
    }
  }
  return false;
}

bool finishOutputImage(FileStream* input, FileStream* output,
                       const InputImage& source, OutputImage* image,
                       std::string* error) {
  if (image->format == HeightFormat::kPng) {
    return finishPngEncoder(image->pngEncoder, error);
  }
  if (image->keepsBitmap) return copyTail(input, output, source.bitmap, error);
  return true;
}

void releaseOutput(OutputImage* image) {
  freePngEncoder(image->pngEncoder);
  image->pngEncoder = nullptr;
}
