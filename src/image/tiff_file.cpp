#include "image/tiff_file.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "image/bitmap_file.h"
#include "image/byte_buffer.h"
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
  // No compression libtiff reads packs a map much tighter than 1 : 30,000
  // (zstd or LZMA on a flat map), nor tighter than kPackingLimit: a size
  // beyond that is forged, and is refused before the planes are made for it.
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  const int64_t ratio = compression == COMPRESSION_NONE ? 1 : kPackingLimit;
  const int64_t rowBytes = static_cast<int64_t>(width) * (bits / 8) * samples;
  if (static_cast<int64_t>(height) > fileSize * ratio / rowBytes) {
    *error = "Malformed TIFF: its " + std::to_string(width) + " x " +
             std::to_string(height) + " samples cannot be in " +
             std::to_string(fileSize) + " bytes";
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
  *decoder = made.release();
  return true;
}

namespace {

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
  tmsize_t tileBytes = TIFFTileSize(tiff);
  if (tileWidth == 0 || tileHeight == 0 ||
      tileBytes < static_cast<tmsize_t>(sampleBytes * tileWidth * tileHeight)) {
    return fail("its tiles have no size");
  }
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
      if (TIFFReadTile(tiff, tile.get(), static_cast<uint32_t>(left),
                       static_cast<uint32_t>(top), 0, 0) < 0) {
        return fail("a tile cannot be decoded");
      }
      int32_t count =
          static_cast<int32_t>(std::min<int64_t>(tileWidth, info.width - left));
      for (int32_t row = 0; row < rows; ++row) {
        visit(static_cast<int32_t>(top) + row, static_cast<int32_t>(left),
              count, tile.get() + row * sampleBytes * tileWidth);
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
  *mapping = planSampleMapping(info.sample, survey, request);
  const HeightValue nodataHeight = mapping->nodataHeight;
  auto storeRun = [&](int32_t row, int32_t column, int32_t count,
                      const uint8_t* bytes) {
    uint8_t* red = planes->inRed[row] + column;
    uint8_t* green = planes->inGreen[row] + column;
    std::memset(planes->inBlue[row] + column, 0, static_cast<size_t>(count));
    for (int32_t index = 0; index < count; ++index) {
      double sample = read(bytes + pixelBytes * static_cast<size_t>(index));
      HeightValue height = isNodata(sample)
                               ? nodataHeight
                               : mapSample(*mapping, sample, clamped);
      red[index] = static_cast<uint8_t>(height);
      green[index] = static_cast<uint8_t>(height >> 8);
    }
  };
  return forEachSampleRun(decoder, info, info.height, total, storeRun, error,
                          progress);
}

void freeTiffDecoder(TiffDecoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->tiff != nullptr) TIFFClose(decoder->tiff);
  delete decoder;
}
