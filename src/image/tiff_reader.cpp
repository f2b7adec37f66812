// Reading a TIFF's samples into heights: strips or tiles, one band or the
// one -channel picks, surveyed and then mapped by the sample's type.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "image/byte_buffer.h"
#include "image/little_endian.h"
#include "image/pixel_rows.h"
#include "image/tiff_file.h"
#include "image/tiff_stream.h"

namespace {

// A sample of the file's type at bytes, as a double, in the host's order
// (libtiff swaps the file's).
template <typename T>
double sampleAt(const uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return static_cast<double>(value);
}

using SampleReader = double (*)(const uint8_t*);

SampleReader readerFor(const SampleType& type) {
  switch (type.kind) {
    case SampleKind::kUnsigned:
      return type.bits == 8    ? sampleAt<uint8_t>
             : type.bits == 16 ? sampleAt<uint16_t>
                               : sampleAt<uint32_t>;
    case SampleKind::kSigned:
      return type.bits == 8    ? sampleAt<int8_t>
             : type.bits == 16 ? sampleAt<int16_t>
                               : sampleAt<int32_t>;
    case SampleKind::kFloat:
      return type.bits == 32 ? sampleAt<float> : sampleAt<double>;
  }
  return sampleAt<uint16_t>;
}

// The nodata value as a sample of the file's type would hold it, so that
// comparing with a widened sample is exact (a Float32 file's -3.4e38).
double nodataAsSample(const TiffInfo& info) {
  if (info.sample.kind == SampleKind::kFloat && info.sample.bits == 32) {
    return static_cast<double>(static_cast<float>(info.nodata));
  }
  return info.nodata;
}

// The largest strip decoded whole.
constexpr int64_t kWholeStripBytes = int64_t{8} << 20;

// Calls visit(row, column, count, bytes) for every run of samples of the
// image, top to bottom, through one row's or one tile's buffer; reports
// rows done (plus doneBefore) of total. False with error set on a failure.
template <typename Visit>
bool forEachSampleRun(TiffDecoder* decoder, const TiffInfo& info,
                      int64_t doneBefore, int64_t total, Visit visit,
                      std::string* error, const Progress* progress) {
  TIFF* tiff = decoder->tiff;
  // A run's bytes hold whole pixels, every sample of each.
  const int64_t sampleBytes = info.sample.bits / 8 * info.samples;
  auto fail = [&](const char* what) {
    *error = decoder->stream.file->systemFailure
                 ? inputReadError(*decoder->stream.file)
                 : tiffMalformed(decoder->stream, what);
    return false;
  };
  if (!info.tiled) {
    tmsize_t rowBytes = TIFFScanlineSize(tiff);
    if (rowBytes < sampleBytes * info.width) return fail("its rows are short");
    // Strips of a few megabytes are decoded whole, in one call the library
    // makes through libdeflate where it has it; larger ones a row at a time.
    uint32_t rowsPerStrip = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    const int64_t stripRows =
        std::min<int64_t>(std::max<uint32_t>(rowsPerStrip, 1), info.height);
    if (stripRows > 1 && stripRows * rowBytes <= kWholeStripBytes) {
      std::unique_ptr<uint8_t[]> strip =
          allocateBytes(static_cast<tmsize_t>(stripRows * rowBytes));
      if (!strip) {
        *error = "Not enough memory for a TIFF strip";
        return false;
      }
      for (int64_t top = 0; top < info.height; top += stripRows) {
        const int64_t rows = std::min<int64_t>(stripRows, info.height - top);
        const uint32_t index =
            TIFFComputeStrip(tiff, static_cast<uint32_t>(top), 0);
        if (TIFFReadEncodedStrip(tiff, index, strip.get(),
                                 static_cast<tmsize_t>(rows * rowBytes)) <
            static_cast<tmsize_t>(rows * rowBytes)) {
          return fail("a strip cannot be decoded");
        }
        for (int64_t row = 0; row < rows; ++row) {
          visit(static_cast<int32_t>(top + row), 0, info.width,
                strip.get() + row * rowBytes);
        }
        reportProgress(progress, doneBefore + top + rows, total);
      }
      return true;
    }
    std::unique_ptr<uint8_t[]> row = allocateBytes(rowBytes);
    if (!row) {
      *error = "Not enough memory for a TIFF row of " +
               std::to_string(rowBytes) + " bytes";
      return false;
    }
    for (int32_t index = 0; index < info.height; ++index) {
      if (TIFFReadScanline(tiff, row.get(), static_cast<uint32_t>(index), 0) !=
          1) {
        return fail("a row cannot be decoded");
      }
      visit(index, 0, info.width, row.get());
      reportProgress(progress, doneBefore + index + 1, total);
    }
    return true;
  }
  uint32_t tileWidth = 0, tileHeight = 0;
  TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
  TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
  // Only a tile's rows within the image are decoded: a tile far larger
  // than the image costs no more than the image's rows of it.
  const tmsize_t rowBytes = TIFFTileRowSize(tiff);
  const int64_t rowsRead = tiffTileRowsRead(tiff, info.height);
  if (tileWidth == 0 || tileHeight == 0 ||
      rowBytes < static_cast<tmsize_t>(sampleBytes * tileWidth)) {
    return fail("its tiles have no size");
  }
  const tmsize_t tileBytes = rowBytes * static_cast<tmsize_t>(rowsRead);
  std::unique_ptr<uint8_t[]> tile = allocateBytes(tileBytes);
  if (!tile) {
    *error = "Not enough memory for a TIFF tile of " +
             std::to_string(tileBytes) + " bytes";
    return false;
  }
  for (int64_t top = 0; top < info.height; top += tileHeight) {
    int32_t rows =
        static_cast<int32_t>(std::min<int64_t>(tileHeight, info.height - top));
    for (int64_t left = 0; left < info.width; left += tileWidth) {
      const uint32_t index = TIFFComputeTile(tiff, static_cast<uint32_t>(left),
                                             static_cast<uint32_t>(top), 0, 0);
      if (TIFFReadEncodedTile(tiff, index, tile.get(),
                              rowBytes * static_cast<tmsize_t>(rows)) < 0) {
        return fail("a tile cannot be decoded");
      }
      int32_t count =
          static_cast<int32_t>(std::min<int64_t>(tileWidth, info.width - left));
      for (int32_t row = 0; row < rows; ++row) {
        visit(static_cast<int32_t>(top) + row, static_cast<int32_t>(left),
              count, tile.get() + row * rowBytes);
      }
    }
    reportProgress(progress, doneBefore + top + rows, total);
  }
  return true;
}

// How one pixel of a TIFF's rows gives its height sample: its one sample,
// the channel -channel picked, or the luma (rounded to whole samples, as
// the file's integers are); and which samples are nodata.
struct PixelSamples {
  explicit PixelSamples(const TiffInfo& info)
      : readSample(readerFor(info.sample)),
        sampleBytes(static_cast<size_t>(info.sample.bits / 8)),
        pixelBytes(sampleBytes * static_cast<size_t>(info.samples)),
        floats(info.sample.kind == SampleKind::kFloat),
        // A grey TIFF has its one channel, whatever -channel asked for.
        channel(info.samples > 1 ? info.channel : ChannelChoice::kGrey),
        picked(channel == ChannelChoice::kGreen   ? 1
               : channel == ChannelChoice::kBlue  ? 2
               : channel == ChannelChoice::kAlpha ? 3
                                                  : 0),
        hasNodata(info.hasNodata),
        nodata(nodataAsSample(info)) {}

  // The height sample of the pixel at bytes.
  double read(const uint8_t* pixel) const {
    if (channel != ChannelChoice::kLuma) {
      return readSample(pixel + sampleBytes * picked);
    }
    const double luma = kLumaRed * readSample(pixel) +
                        kLumaGreen * readSample(pixel + sampleBytes) +
                        kLumaBlue * readSample(pixel + 2 * sampleBytes);
    return floats ? luma : std::round(luma);
  }

  bool isNodata(double sample) const {
    return (floats && !std::isfinite(sample)) ||
           (hasNodata && sample == nodata);
  }

  SampleReader readSample;
  size_t sampleBytes;
  size_t pixelBytes;
  bool floats;
  ChannelChoice channel;
  size_t picked;
  bool hasNodata;
  double nodata;
};

}  // namespace

bool decodeTiffFloats(TiffDecoder* decoder, const TiffInfo& info,
                      FloatPlane* floats, int64_t* nodata, int64_t* rounded,
                      std::string* error, const Progress* progress) {
  const PixelSamples pixels(info);
  const BandValues& values = info.values;
  *nodata = 0;
  *rounded = 0;
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const uint8_t* bytes) {
    float* out = floats->row(row) + column;
    for (int32_t index = 0; index < count; ++index) {
      const double sample =
          pixels.read(bytes + pixels.pixelBytes * static_cast<size_t>(index));
      if (pixels.isNodata(sample)) {
        out[index] = std::numeric_limits<float>::quiet_NaN();
        ++*nodata;
        continue;
      }
      // The file's own units: what a band's scale and offset make of it.
      const double value =
          values.known ? values.offset + values.scale * sample : sample;
      out[index] = static_cast<float>(value);
      // Floats become floats, but none beyond a float's range; an integer
      // the float cannot hold exactly may meet another at the same float.
      if (pixels.floats ? std::isinf(out[index])
                        : static_cast<double>(out[index]) != value) {
        ++*rounded;
      }
    }
  };
  return forEachSampleRun(decoder, info, 0, info.height, store, error,
                          progress);
}

bool decodeTiffHeights(TiffDecoder* decoder, const TiffInfo& info,
                       const MappingRequest& request, PlaneSet* planes,
                       SampleMapping* mapping, StoreCount* clamped,
                       std::string* error, const Progress* progress) {
  const PixelSamples pixels(info);
  const size_t pixelBytes = pixels.pixelBytes;
  // 16-bit (or narrower) unsigned samples without nodata are the heights
  // as they stand: one pass, no survey, the bytes split straight into the
  // planes.
  if (!unitApplies(info.sample) && !info.hasNodata && info.samples == 1) {
    const bool wide = info.sample.bits == 16;
    const bool little = hostIsLittleEndian();
    auto copyRun = [&](int32_t row, int32_t column, int32_t count,
                       const uint8_t* bytes) {
      uint8_t* red = planes->inRed[row] + column;
      uint8_t* green = planes->inGreen[row] + column;
      const size_t length = static_cast<size_t>(count);
      if (wide) {
        splitPairRow(bytes, little ? red : green, little ? green : red, length);
      } else {
        std::memcpy(red, bytes, length);
        std::memset(green, 0, length);
      }
    };
    if (!forEachSampleRun(decoder, info, 0, info.height, copyRun, error,
                          progress)) {
      return false;
    }
    *mapping = mappingInValues(
        planSampleMapping(info.sample, SampleSurvey(), request), info.values);
    return true;
  }
  const int64_t total = 2 * static_cast<int64_t>(info.height);
  SampleSurvey survey;
  auto surveyRun = [&](int32_t, int32_t, int32_t count, const uint8_t* bytes) {
    for (int32_t index = 0; index < count; ++index) {
      double sample =
          pixels.read(bytes + pixelBytes * static_cast<size_t>(index));
      if (pixels.isNodata(sample)) {
        ++survey.nodata;
      } else {
        survey.add(sample);
      }
    }
  };
  if (!forEachSampleRun(decoder, info, 0, total, surveyRun, error, progress)) {
    return false;
  }
  // Heights count the file's samples; a band's scale and offset then say
  // what they stand for (and -unit is in those units).
  MappingRequest inSamples = request;
  if (info.values.known) inSamples.unit /= std::fabs(info.values.scale);
  const SampleMapping samples =
      planSampleMapping(info.sample, survey, inSamples);
  const HeightValue nodataHeight = samples.nodataHeight;
  auto storeRun = [&](int32_t row, int32_t column, int32_t count,
                      const uint8_t* bytes) {
    uint8_t* red = planes->inRed[row] + column;
    uint8_t* green = planes->inGreen[row] + column;
    uint8_t* marks = planes->inBlue[row] + column;
    for (int32_t index = 0; index < count; ++index) {
      double sample =
          pixels.read(bytes + pixelBytes * static_cast<size_t>(index));
      const bool missing = pixels.isNodata(sample);
      // The plane is zeros (BlueUse::kMarks): only nodata is written.
      if (missing) {
        marks[index] = 1;
        planes->blueZero = false;
      }
      HeightValue height =
          missing ? nodataHeight : mapSample(samples, sample, clamped);
      red[index] = static_cast<uint8_t>(height);
      green[index] = static_cast<uint8_t>(height >> 8);
    }
  };
  *mapping = mappingInValues(samples, info.values);
  return forEachSampleRun(decoder, info, info.height, total, storeRun, error,
                          progress);
}
