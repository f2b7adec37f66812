#include "image/tiff_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image/byte_buffer.h"
#include "image/little_endian.h"
#include "image/pixel_rows.h"
#include "image/tiff_stream.h"

namespace {

// The most samples' bytes a compressed TIFF's bytes are taken to hold.
constexpr int64_t kPackingLimit = int64_t{1} << 16;

std::string malformed(const TiffStream& stream, const char* what) {
  return std::string("Malformed TIFF: ") +
         (stream.error.empty() ? what : stream.error.c_str());
}

template <typename T>
std::vector<T> fieldValues(TIFF* tiff, ttag_t tag) {
  uint16_t count = 0;
  T* values = nullptr;
  if (TIFFGetField(tiff, tag, &count, &values) != 1 || values == nullptr) {
    return {};
  }
  return std::vector<T>(values, values + count);
}

std::string textField(TIFF* tiff, ttag_t tag, bool* found) {
  char* text = nullptr;
  *found = TIFFGetField(tiff, tag, &text) == 1 && text != nullptr;
  return *found ? std::string(text) : std::string();
}

// What a sample format and width are, for messages.
std::string sampleName(uint16_t format, uint16_t bits) {
  const char* kind =
      format == SAMPLEFORMAT_INT      ? "signed integer"
      : format == SAMPLEFORMAT_IEEEFP ? "floating-point"
      : format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID
          ? "unsigned integer"
          : "complex";
  return std::to_string(bits) + "-bit " + kind;
}

// A sample of the file's type at bytes, as a double, in the host's order
// (libtiff swaps the file's).
template <typename T>
double sampleAt(const uint8_t* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return static_cast<double>(value);
}

using SampleReader = double (*)(const uint8_t*);

// Pixels per metre from the resolution tags, in inches or centimetres; none
// without a unit or with a value no bitmap field holds.
PixelDensity densityOf(TIFF* tiff) {
  float across = 0, down = 0;
  uint16_t unit = RESUNIT_NONE;
  PixelDensity density;
  if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &across) != 1 ||
      TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &down) != 1) {
    return density;
  }
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perMetre = unit == RESUNIT_CENTIMETER ? 100.0
                          : unit == RESUNIT_INCH     ? 1 / 0.0254
                                                     : 0.0;
  auto metre = [&](float value) -> uint32_t {
    const double pixels = std::round(static_cast<double>(value) * perMetre);
    return pixels >= 1 && pixels <= INT32_MAX ? static_cast<uint32_t>(pixels)
                                              : 0;
  };
  density.across = metre(across);
  density.down = metre(down);
  return density;
}

// The rows of a tile read at most: those of the image, below them nothing.
int64_t tileRowsRead(TIFF* tiff, int64_t height) {
  uint32_t tileHeight = 0;
  TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
  return std::min<int64_t>(tileHeight, height);
}

// What reading takes besides the planes: the largest strip or tile as stored
// (libtiff reads one whole, never past the file's end, and past 1 MiB no
// more than 10 times its decoded size + 4096) and the rows decoded from it
// at once (a scanline, or a tile's rows within the image; twice that where
// the floating-point predictor works on a copy).
int64_t readingBuffers(TIFF* tiff, int64_t height, int64_t fileSize) {
  const bool tiled = TIFFIsTiled(tiff) != 0;
  const uint32_t count =
      tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  const uint64_t chunk = std::min<uint64_t>(
      tiled ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff), uint64_t{1} << 40);
  int64_t stored = 0;
  for (uint32_t index = 0; index < count && stored < fileSize; ++index) {
    uint64_t bytes = TIFFGetStrileByteCount(tiff, index);
    if (bytes > (uint64_t{1} << 20) && chunk != 0 &&
        (bytes - 4096) / 10 > chunk) {
      bytes = chunk * 10 + 4096;
    }
    stored =
        std::max<int64_t>(stored, static_cast<int64_t>(std::min<uint64_t>(
                                      bytes, static_cast<uint64_t>(fileSize))));
  }
  const uint64_t rowBytes =
      tiled ? TIFFTileRowSize64(tiff) : TIFFScanlineSize64(tiff);
  const int64_t rows = tiled ? tileRowsRead(tiff, height) : 1;
  // 2^60 bytes is beyond any budget: saturating there, nothing below
  // overflows.
  constexpr int64_t kBeyond = int64_t{1} << 60;
  if (rows > 0 && rowBytes > static_cast<uint64_t>(kBeyond / rows)) {
    return kBeyond;
  }
  int64_t decoded = static_cast<int64_t>(rowBytes) * rows;
  uint16_t predictor = PREDICTOR_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PREDICTOR, &predictor);
  if (predictor == PREDICTOR_FLOATINGPOINT) decoded *= 2;
  return stored + decoded;
}

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

}  // namespace

struct TiffDecoder {
  TiffStream stream;
  TIFF* tiff = nullptr;
};

bool haveTiff() { return true; }

std::string tiffLibraryVersion() {
  // TIFFGetVersion() is "LIBTIFF, Version 4.5.0\n" and a copyright.
  std::string text = TIFFGetVersion();
  size_t at = text.find("Version ");
  if (at == std::string::npos) return "libtiff";
  size_t end = text.find_first_of("\r\n", at);
  return "libtiff " + text.substr(at + 8, end - at - 8);
}

bool openTiffDecoder(FileStream* input, TiffDecoder** decoder, TiffInfo* info,
                     std::string* error) {
  *decoder = nullptr;
  int64_t fileSize = streamLength(input);
  if (fileSize < 0 || !seekTo(input, 0)) {
    *error = inputReadError(*input);
    return false;
  }
  std::unique_ptr<TiffDecoder> made(new TiffDecoder);
  made->stream.file = input;
  made->tiff = openTiffStream(&made->stream, "r");
  if (made->tiff == nullptr) {
    *error = input->failure.empty() || !input->systemFailure
                 ? malformed(made->stream, "libtiff cannot open it")
                 : inputReadError(*input);
    return false;
  }
  TIFF* tiff = made->tiff;
  uint32_t width = 0, height = 0;
  uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  // Checked in this order: what the file is before how large it is, so
  // that a colour picture is named as one whatever its size.
  uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  const ChannelChoice channel = info->channel;
  if (samples != 1 && channel == ChannelChoice::kGrey) {
    *error = "Input file is a TIFF of " + std::to_string(samples) +
             " samples a pixel (colour, or with alpha); a one-band "
             "greyscale height map is expected: -channel red, green, blue or "
             "luma reads one, or save it from the editor's greyscale mode";
    freeTiffDecoder(made.release());
    return false;
  }
  const int needed = channel == ChannelChoice::kAlpha ? 4 : 3;
  if (samples != 1 && (photometric != PHOTOMETRIC_RGB || samples < needed ||
                       planar != PLANARCONFIG_CONTIG)) {
    *error = "Input file is a TIFF of " + std::to_string(samples) +
             " samples a pixel" +
             (planar != PLANARCONFIG_CONTIG ? " in separate planes" : "") +
             "; -channel " + channelChoiceName(channel) + " reads an RGB" +
             (needed == 4 ? "A" : "") + " TIFF of interleaved samples";
    freeTiffDecoder(made.release());
    return false;
  }
  if (photometric == PHOTOMETRIC_PALETTE) {
    *error = "Input file is a palette TIFF; a greyscale height map is expected";
    freeTiffDecoder(made.release());
    return false;
  }
  SampleType type;
  type.bits = bits;
  bool known = false;
  if (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID) {
    type.kind = SampleKind::kUnsigned;
    known = bits == 8 || bits == 16 || bits == 32;
  } else if (format == SAMPLEFORMAT_INT) {
    type.kind = SampleKind::kSigned;
    known = bits == 8 || bits == 16 || bits == 32;
  } else if (format == SAMPLEFORMAT_IEEEFP) {
    type.kind = SampleKind::kFloat;
    known = bits == 32 || bits == 64;
  }
  if (!known) {
    *error = "Input file is a TIFF of " + sampleName(format, bits) +
             " samples; heights are read from 8, 16 or 32-bit integers or "
             "32 or 64-bit floats";
    freeTiffDecoder(made.release());
    return false;
  }
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
    *error = "Malformed TIFF: it is " + std::to_string(width) + " x " +
             std::to_string(height) + " pixels";
    freeTiffDecoder(made.release());
    return false;
  }
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  // A codec this build's libtiff lacks would only fail at the first strip,
  // after the work began, and as if the file were damaged.
  if (!TIFFIsCODECConfigured(compression)) {
    const TIFFCodec* codec = TIFFFindCODEC(compression);
    *error = std::string("Unsupported TIFF compression: this build reads no ") +
             (codec != nullptr
                  ? std::string(codec->name) + "-compressed TIFF"
                  : "TIFF of compression " + std::to_string(compression)) +
             "; save it with deflate, LZW or no compression (GDAL: "
             "gdal_translate -co COMPRESS=DEFLATE in.tif plain.tif)";
    freeTiffDecoder(made.release());
    return false;
  }
  // No compression libtiff reads packs a map much tighter than 1 : 30,000
  // (zstd or LZMA on a flat map), nor tighter than kPackingLimit: a size
  // beyond that is forged, and is refused before the planes are made for it.
  const int64_t ratio = compression == COMPRESSION_NONE ? 1 : kPackingLimit;
  const int64_t rowBytes = static_cast<int64_t>(width) * (bits / 8) * samples;
  if (static_cast<int64_t>(height) > fileSize * ratio / rowBytes) {
    *error = "Malformed TIFF: its " + std::to_string(width) + " x " +
             std::to_string(height) + " samples cannot be in " +
             std::to_string(fileSize) + " bytes";
    freeTiffDecoder(made.release());
    return false;
  }
  // A strip or tile too large to read within the memory bound is refused
  // now, before the planes are made; a tile larger than the image is read
  // only as far as the image reaches.
  const int64_t buffers = readingBuffers(tiff, height, fileSize);
  const int64_t budget = tiffReadingBudget(width, height);
  if (buffers > budget) {
    const bool tiled = TIFFIsTiled(tiff) != 0;
    *error = std::string("TIFF ") + (tiled ? "tiles" : "strips") +
             " too large: reading one takes " + std::to_string(buffers) +
             " bytes, more than the " + std::to_string(budget) + " a " +
             std::to_string(width) + " x " + std::to_string(height) +
             " map allows; save it in smaller tiles (GDAL: gdal_translate -co "
             "TILED=YES in.tif tiled.tif)";
    freeTiffDecoder(made.release());
    return false;
  }
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->sample = type;
  info->tiled = TIFFIsTiled(tiff) != 0;
  info->samples = samples;
  bool found = false;
  std::string nodata = textField(tiff, kNodataTag, &found);
  if (found) {
    char* end = nullptr;
    double value = std::strtod(nodata.c_str(), &end);
    info->hasNodata = end != nodata.c_str();
    info->nodata = value;
  }
  info->geo.pixelScale = fieldValues<double>(tiff, kPixelScaleTag);
  info->geo.tiepoints = fieldValues<double>(tiff, kTiepointTag);
  info->geo.transformation = fieldValues<double>(tiff, kTransformationTag);
  info->geo.keyDirectory = fieldValues<uint16_t>(tiff, kKeyDirectoryTag);
  info->geo.doubleParams = fieldValues<double>(tiff, kDoubleParamsTag);
  info->geo.asciiParams = textField(tiff, kAsciiParamsTag, &found);
  info->density = densityOf(tiff);
  info->values = parseBandValues(textField(tiff, kMetadataTag, &found));
  *decoder = made.release();
  return true;
}

namespace {

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
                 : malformed(decoder->stream, what);
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
  const int64_t rowsRead = tileRowsRead(tiff, info.height);
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

}  // namespace

bool decodeTiffHeights(TiffDecoder* decoder, const TiffInfo& info,
                       const MappingRequest& request, PlaneSet* planes,
                       SampleMapping* mapping, StoreCount* clamped,
                       std::string* error, const Progress* progress) {
  const SampleReader readSample = readerFor(info.sample);
  const size_t sampleBytes = static_cast<size_t>(info.sample.bits / 8);
  const size_t pixelBytes = sampleBytes * static_cast<size_t>(info.samples);
  const bool floats = info.sample.kind == SampleKind::kFloat;
  // A grey TIFF has its one channel, whatever -channel asked for.
  const ChannelChoice channel =
      info.samples > 1 ? info.channel : ChannelChoice::kGrey;
  const size_t picked = channel == ChannelChoice::kGreen   ? 1
                        : channel == ChannelChoice::kBlue  ? 2
                        : channel == ChannelChoice::kAlpha ? 3
                                                           : 0;
  // The pixel's height sample: its one sample, the channel picked, or the
  // luma (rounded to whole samples, as the file's integers are).
  auto read = [&](const uint8_t* pixel) {
    if (channel != ChannelChoice::kLuma) {
      return readSample(pixel + sampleBytes * picked);
    }
    const double luma = kLumaRed * readSample(pixel) +
                        kLumaGreen * readSample(pixel + sampleBytes) +
                        kLumaBlue * readSample(pixel + 2 * sampleBytes);
    return floats ? luma : std::round(luma);
  };
  const double nodata = nodataAsSample(info);
  auto isNodata = [&](double sample) {
    return (floats && !std::isfinite(sample)) ||
           (info.hasNodata && sample == nodata);
  };
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
      double sample = read(bytes + pixelBytes * static_cast<size_t>(index));
      if (isNodata(sample)) {
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
      double sample = read(bytes + pixelBytes * static_cast<size_t>(index));
      const bool missing = isNodata(sample);
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

void freeTiffDecoder(TiffDecoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->tiff != nullptr) TIFFClose(decoder->tiff);
  delete decoder;
}
