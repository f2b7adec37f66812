#include "image/output_image.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "image/bitmap_file.h"
#include "image/byte_buffer.h"
#include "image/float_raw_file.h"
#include "image/little_endian.h"
#include "image/pgm_file.h"
#include "image/pixel_rows.h"
#include "image/raw_file.h"

namespace {

// Puts value (in the host's order) over each 16-bit sample of row whose
// mark is not 0.
void markNodata(const uint8_t* marks, int32_t width, uint16_t value,
                uint8_t* row) {
  for (int32_t column = 0; column < width; ++column) {
    if (marks[column] != 0) std::memcpy(row + 2 * column, &value, 2);
  }
}

// The pixels per metre the input records: a bitmap's header, a PNG's pHYs,
// a TIFF's resolution tags; none for the formats without a place for them.
PixelDensity densityOf(const InputImage& source) {
  switch (source.format) {
    case HeightFormat::kBmp:
      return source.bitmap.density;
    case HeightFormat::kPng:
      return source.png.density;
    case HeightFormat::kTiff:
      return source.tiff.density;
    default:
      return PixelDensity();
  }
}

}  // namespace

bool checkOutputSize(const InputImage& input, HeightFormat format,
                     int32_t width, int32_t height, bool sameGrid,
                     std::string* error) {
  // A bitmap from a bitmap of its grid was measured when its header was
  // checked.
  if (format != HeightFormat::kBmp ||
      (sameGrid && input.format == HeightFormat::kBmp)) {
    return true;
  }
  int64_t size = kMinimumHeaderSize +
                 bitmapRowStride(width) * static_cast<int64_t>(height);
  if (size <= kMaximumBitmapFileSize) return true;
  *error = "The output bitmap would have " + std::to_string(size) +
           " bytes, more than a bitmap file can hold";
  return false;
}

bool writeOutputHeader(FileStream* input, FileStream* output,
                       const InputImage& source, OutputImage* image,
                       std::string* error) {
  // Pixels per metre go where the format has a place for them, on the
  // input's grid only: a bitmap through a PNG or TIFF comes back the same.
  const PixelDensity density =
      image->sameGrid ? densityOf(source) : PixelDensity();
  switch (image->format) {
    case HeightFormat::kBmp:
      image->keepsBitmap =
          source.format == HeightFormat::kBmp && image->sameGrid;
      if (image->keepsBitmap) {
        return writeHeader(input, output, source.bitmap, error);
      }
      return writeNewBitmapHeader(output, image->width, image->height, density,
                                  error);
    case HeightFormat::kRaw:
    case HeightFormat::kR32:
      return true;
    case HeightFormat::kPgm:
      return writePgmHeader(output, image->width, image->height, error);
    case HeightFormat::kPng:
      return openPngEncoder(output, image->width, image->height,
                            PngPixels::kGrey16, density, &image->pngEncoder,
                            error);
    case HeightFormat::kTiff: {
      // A GIS places the result where its part of the source was, and
      // reads its heights in the source's units.
      const GeoTags* geo = image->geo.any() ? &image->geo : nullptr;
      return openTiffEncoder(
          output, image->width, image->height, image->floatSamples, geo,
          density, image->floatSamples ? BandValues() : image->bandValues,
          image->nodata, &image->tiffEncoder, error);
    }
    case HeightFormat::kExr:
      return openExrEncoder(output, image->width, image->height,
                            &image->exrEncoder, error);
    case HeightFormat::kHgt:
    case HeightFormat::kPfm:
      break;
  }
  *error = image->format == HeightFormat::kHgt ? "SRTM tiles are not written"
                                               : "PFM files are not written";
  return false;
}

namespace {

// Hands one row of floats to the OpenEXR or float TIFF encoder.
bool encodeFloatRow(OutputImage* image, float* row, std::string* error) {
  if (image->format == HeightFormat::kExr) {
    return encodeExrRow(image->exrEncoder, row, error);
  }
  return encodeTiffRow(image->tiffEncoder, reinterpret_cast<uint8_t*>(row),
                       error);
}

// Each height of base-256 planes as its value, row by row, to an OpenEXR or
// a float TIFF; a TIFF's nodata marks as NaN.
bool writeValueRows(const PlaneSet& planes, OutputImage* image,
                    std::string* error, const Progress* progress) {
  const int32_t width = image->width;
  std::unique_ptr<float[]> row = allocateFloats(width);
  if (!row) {
    *error =
        "Not enough memory for a row of " + std::to_string(width) + " floats";
    return false;
  }
  const bool marks =
      image->format == HeightFormat::kTiff && image->nodata != kNoNodata;
  for (int32_t index = 0; index < image->height; ++index) {
    const uint8_t* red = planes.outRed[index];
    const uint8_t* green = planes.outGreen[index];
    for (int32_t column = 0; column < width; ++column) {
      row[static_cast<size_t>(column)] =
          marks && planes.outBlue[index][column] != 0
              ? std::numeric_limits<float>::quiet_NaN()
              : valueOfHeight(image->values, red[column] | green[column] << 8);
    }
    if (!encodeFloatRow(image, row.get(), error)) return false;
    reportProgress(progress, index + 1, image->height);
  }
  return true;
}

}  // namespace

bool holdsFloats(const OutputImage& image) {
  return writesValues(image.format) ||
         (image.format == HeightFormat::kTiff && image.floatSamples);
}

bool writeOutputFloats(FileStream* output, const FloatPlane& floats,
                       OutputImage* image, std::string* error,
                       const Progress* progress) {
  if (image->format == HeightFormat::kR32) {
    return writeFloatPlane(output, floats, image->bigEndian, error, progress);
  }
  const int32_t width = image->width;
  std::unique_ptr<float[]> row = allocateFloats(width);
  if (!row) {
    *error =
        "Not enough memory for a row of " + std::to_string(width) + " floats";
    return false;
  }
  // The encoders may change what they are given (the TIFF's predictor).
  for (int32_t index = 0; index < image->height; ++index) {
    std::copy(floats.row(index), floats.row(index) + width, row.get());
    if (!encodeFloatRow(image, row.get(), error)) return false;
    reportProgress(progress, index + 1, image->height);
  }
  return true;
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
      if (planes.base == kHeightBase) {
        // A bitmap's bytes on a new grid: written as they are, bottom-up.
        BitmapInfo layout;
        layout.width = width;
        layout.rowCount = height;
        return writePixels(output, layout, planes, error, progress);
      }
      return writeNewBitmapPixels(output, planes, width, height,
                                  &image->clamped, error, progress);
    case HeightFormat::kRaw:
      return writeRawHeights(output, planes, width, height, image->bigEndian,
                             image->southFirst, error, progress);
    case HeightFormat::kPgm:
      return writePgmHeights(output, planes, width, height, error, progress);
    case HeightFormat::kTiff:
      if (image->floatSamples) {
        return writeValueRows(planes, image, error, progress);
      }
      [[fallthrough]];
    case HeightFormat::kPng: {
      // Both libraries take rows of 16-bit samples in the host's order.
      std::vector<uint8_t> row(2 * static_cast<size_t>(width));
      const bool little = hostIsLittleEndian();
      for (int32_t index = 0; index < height; ++index) {
        const uint8_t* red = planes.outRed[index];
        const uint8_t* green = planes.outGreen[index];
        joinPairRow(little ? red : green, little ? green : red, row.data(),
                    static_cast<size_t>(width));
        if (image->nodata != kNoNodata) {
          markNodata(planes.outBlue[index], width,
                     static_cast<uint16_t>(image->nodata), row.data());
        }
        bool encoded =
            image->format == HeightFormat::kPng
                ? encodePngRow(image->pngEncoder, row.data(), row.size(), error)
                : encodeTiffRow(image->tiffEncoder, row.data(), error);
        if (!encoded) return false;
        reportProgress(progress, index + 1, height);
      }
      return true;
    }
    case HeightFormat::kR32:
      return writeFloatHeights(output, planes, width, height, image->values,
                               image->bigEndian, error, progress);
    case HeightFormat::kExr:
      return writeValueRows(planes, image, error, progress);
    case HeightFormat::kHgt:
    case HeightFormat::kPfm:
      break;
  }
  return false;
}

bool copiesInputPixels(const InputImage& source, HeightFormat format) {
  return source.format == HeightFormat::kBmp && format == HeightFormat::kBmp &&
         copiesAsPixels(source.bitmap);
}

bool copyOutputPixels(FileStream* input, FileStream* output, InputImage* source,
                      std::string* error, const Progress* progress) {
  return copyPixels(input, output, source->bitmap, &source->greyPixels, error,
                    progress);
}

bool finishOutputImage(FileStream* input, FileStream* output,
                       const InputImage& source, OutputImage* image,
                       std::string* error) {
  if (image->format == HeightFormat::kPng) {
    return finishPngEncoder(image->pngEncoder, error);
  }
  if (image->format == HeightFormat::kTiff) {
    return finishTiffEncoder(image->tiffEncoder, error);
  }
  if (image->format == HeightFormat::kExr) {
    return finishExrEncoder(image->exrEncoder, error);
  }
  if (image->keepsBitmap) return copyTail(input, output, source.bitmap, error);
  return true;
}

void releaseOutput(OutputImage* image) {
  freePngEncoder(image->pngEncoder);
  image->pngEncoder = nullptr;
  freeTiffEncoder(image->tiffEncoder);
  image->tiffEncoder = nullptr;
  freeExrEncoder(image->exrEncoder);
  image->exrEncoder = nullptr;
}
