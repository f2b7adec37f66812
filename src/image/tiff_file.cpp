#include "image/tiff_file.h"

#include <tiffio.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "image/bitmap_file.h"
#include "image/byte_buffer.h"

namespace {

// The most samples' bytes a compressed TIFF's bytes are taken to hold.
constexpr int64_t kPackingLimit = int64_t{1} << 16;

// GeoTIFF's tags, and GDAL's nodata, which libtiff does not know by itself.
constexpr ttag_t kPixelScaleTag = 33550;
constexpr ttag_t kTiepointTag = 33922;
constexpr ttag_t kTransformationTag = 34264;
constexpr ttag_t kKeyDirectoryTag = 34735;
constexpr ttag_t kDoubleParamsTag = 34736;
constexpr ttag_t kAsciiParamsTag = 34737;
constexpr ttag_t kNodataTag = TIFFTAG_GDAL_NODATA;

// Names are libtiff's for messages; field_name is not const in its struct.
char kPixelScaleName[] = "ModelPixelScaleTag";
char kTiepointName[] = "ModelTiepointTag";
char kTransformationName[] = "ModelTransformationTag";
char kKeyDirectoryName[] = "GeoKeyDirectoryTag";
char kDoubleParamsName[] = "GeoDoubleParamsTag";
char kAsciiParamsName[] = "GeoAsciiParamsTag";
char kNodataName[] = "GDALNoDataValue";

const TIFFFieldInfo kExtraFields[] = {
    {kPixelScaleTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1,
     1, kPixelScaleName},
    {kTiepointTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM, 1,
     1, kTiepointName},
    {kTransformationTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE,
     FIELD_CUSTOM, 1, 1, kTransformationName},
    {kKeyDirectoryTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_SHORT, FIELD_CUSTOM,
     1, 1, kKeyDirectoryName},
    {kDoubleParamsTag, TIFF_VARIABLE, TIFF_VARIABLE, TIFF_DOUBLE, FIELD_CUSTOM,
     1, 1, kDoubleParamsName},
    {kAsciiParamsTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, kAsciiParamsName},
    {kNodataTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, kNodataName},
};

TIFFExtendProc previousExtender = nullptr;

void addExtraFields(TIFF* tiff) {
  TIFFMergeFieldInfo(tiff, kExtraFields,
                     sizeof kExtraFields / sizeof kExtraFields[0]);
  if (previousExtender != nullptr) previousExtender(tiff);
}

void registerExtraFields() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  previousExtender = TIFFSetTagExtender(addExtraFields);
}

// No single allocation of libtiff's may exceed this: a forged directory
// must not make it reserve gigabytes. Real rows and tiles are far smaller.
constexpr tmsize_t kLargestAllocation = tmsize_t{1} << 30;

// The stream libtiff reads or writes, and the first error it reported.
struct TiffStream {
  FileStream* file = nullptr;
  std::string error;
};

int onError(TIFF*, void* user, const char*, const char* format,
            va_list arguments) {
  TiffStream* stream = static_cast<TiffStream*>(user);
  if (stream->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    // One line, for the ERROR line it becomes part of.
    for (const char* at = text; *at != '\0'; ++at) {
      bool space = *at == '\n' || *at == '\r' || *at == '\t' || *at == ' ';
      if (!space) {
        stream->error += *at;
      } else if (!stream->error.empty() && stream->error.back() != ' ') {
        stream->error += ' ';
      }
    }
    while (!stream->error.empty() && stream->error.back() == ' ') {
      stream->error.pop_back();
    }
  }
  return 1;
}

// Warnings (unknown tags, odd but readable fields) change nothing read.
int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
  TiffStream* stream = static_cast<TiffStream*>(handle);
  int64_t got = readSome(stream->file, static_cast<uint8_t*>(buffer),
                         static_cast<size_t>(size));
  return static_cast<tmsize_t>(got);
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t size) {
  TiffStream* stream = static_cast<TiffStream*>(handle);
  return writeExact(stream->file, static_cast<const uint8_t*>(buffer),
                    static_cast<size_t>(size))
             ? size
             : 0;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  TiffStream* stream = static_cast<TiffStream*>(handle);
  int64_t base = 0;
  if (whence == SEEK_CUR) base = positionOf(stream->file);
  if (whence == SEEK_END) base = streamLength(stream->file);
  int64_t target = base + static_cast<int64_t>(offset);
  if (base < 0 || target < 0 || !seekTo(stream->file, target)) {
    return static_cast<toff_t>(-1);
  }
  return static_cast<toff_t>(target);
}

// The stream belongs to the run, which closes it.
int closeProc(thandle_t) { return 0; }

toff_t sizeProc(thandle_t handle) {
  TiffStream* stream = static_cast<TiffStream*>(handle);
  int64_t position = positionOf(stream->file);
  int64_t length = streamLength(stream->file);
  if (position >= 0) seekTo(stream->file, position);
  return static_cast<toff_t>(length < 0 ? 0 : length);
}

int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

// Opens the stream for libtiff in mode ("r" or "w", "w8" for BigTIFF).
TIFF* openStream(TiffStream* stream, const char* mode) {
  registerExtraFields();
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLargestAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options, onError, stream);
  TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, stream);
  // "m": no memory mapping, every byte through the stream's reads.
  std::string flags = std::string(mode) + "m";
  TIFF* tiff = TIFFClientOpenExt(
      stream->file->path.c_str(), flags.c_str(), stream, readProc, writeProc,
      seekProc, closeProc, sizeProc, mapProc, unmapProc, options);
  TIFFOpenOptionsFree(options);
  return tiff;
}

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

struct TiffEncoder {
  TiffStream stream;
  TIFF* tiff = nullptr;
  int32_t width = 0;
  int32_t row = 0;
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
  made->tiff = openStream(&made->stream, "r");
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
  if (samples != 1) {
    *error = "Input file is a TIFF of " + std::to_string(samples) +
             " samples a pixel (colour, or with alpha); a one-band "
             "greyscale height map is expected";
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
  const int64_t rowBytes = static_cast<int64_t>(width) * (bits / 8);
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
  const int64_t sampleBytes = info.sample.bits / 8;
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

bool decodeTiffHeights(TiffDecoder* decoder, const TiffInfo& info, double unit,
                       PlaneSet* planes, SampleMapping* mapping,
                       StoreCount* clamped, std::string* error,
                       const Progress* progress) {
  const SampleReader read = readerFor(info.sample);
  const size_t sampleBytes = static_cast<size_t>(info.sample.bits / 8);
  const bool floats = info.sample.kind == SampleKind::kFloat;
  const double nodata = nodataAsSample(info);
  auto isNodata = [&](double sample) {
    return (floats && !std::isfinite(sample)) ||
           (info.hasNodata && sample == nodata);
  };
  const int64_t total = 2 * static_cast<int64_t>(info.height);
  SampleSurvey survey;
  auto surveyRun = [&](int32_t, int32_t, int32_t count, const uint8_t* bytes) {
    for (int32_t index = 0; index < count; ++index) {
      double sample = read(bytes + sampleBytes * static_cast<size_t>(index));
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
  *mapping = planSampleMapping(info.sample, survey, unit);
  const HeightValue nodataHeight = mapping->nodataHeight;
  auto storeRun = [&](int32_t row, int32_t column, int32_t count,
                      const uint8_t* bytes) {
    uint8_t* red = planes->inRed[row] + column;
    uint8_t* green = planes->inGreen[row] + column;
    std::memset(planes->inBlue[row] + column, 0, static_cast<size_t>(count));
    for (int32_t index = 0; index < count; ++index) {
      double sample = read(bytes + sampleBytes * static_cast<size_t>(index));
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

namespace {

// Deflate's fastest level, as for PNG: after the predictor it wrote an
// 8192 x 8192 generated terrain in 2.0 s instead of 9.4 s at the default
// level 6, for a file 3 % larger.
constexpr int kDeflateLevel = 1;

// Classic TIFF's offsets are 32 bits: larger images go to BigTIFF, which
// GIS software reads as well. Deflate may grow noise a little, hence the
// margin.
constexpr int64_t kClassicTiffLimit = (int64_t{1} << 32) - (int64_t{1} << 28);

}  // namespace

bool openTiffEncoder(FileStream* output, int32_t width, int32_t height,
                     const GeoTags* geo, TiffEncoder** encoder,
                     std::string* error) {
  *encoder = nullptr;
  std::unique_ptr<TiffEncoder> made(new TiffEncoder);
  made->stream.file = output;
  made->width = width;
  int64_t bytes = 2 * static_cast<int64_t>(width) * height;
  made->tiff =
      openStream(&made->stream, bytes > kClassicTiffLimit ? "w8" : "w");
  auto fail = [&](const char* what) {
    *error = output->systemFailure
                 ? outputWriteError(*output)
                 : "Cannot write TIFF: " + (made->stream.error.empty()
                                                ? std::string(what)
                                                : made->stream.error);
    freeTiffEncoder(made.release());
    return false;
  };
  if (made->tiff == nullptr) return fail("libtiff cannot start it");
  TIFF* tiff = made->tiff;
  // Strips of about 256 KiB: small for the memory, large for deflate.
  uint32_t rowsPerStrip = static_cast<uint32_t>(
      std::max<int64_t>(1, (int64_t{1} << 18) / (2 * int64_t{width})));
  bool set =
      TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width)) &&
      TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height)) &&
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16) &&
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
      TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
      TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
      TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
      TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, kDeflateLevel) &&
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
      TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Quillorn");
  if (set && geo != nullptr) {
    auto setDoubles = [&](ttag_t tag, const std::vector<double>& values) {
      return values.empty() ||
             TIFFSetField(tiff, tag, static_cast<uint16_t>(values.size()),
                          values.data()) == 1;
    };
    set = setDoubles(kPixelScaleTag, geo->pixelScale) &&
          setDoubles(kTiepointTag, geo->tiepoints) &&
          setDoubles(kTransformationTag, geo->transformation) &&
          setDoubles(kDoubleParamsTag, geo->doubleParams) &&
          (geo->keyDirectory.empty() ||
           TIFFSetField(tiff, kKeyDirectoryTag,
                        static_cast<uint16_t>(geo->keyDirectory.size()),
                        geo->keyDirectory.data()) == 1) &&
          (geo->asciiParams.empty() ||
           TIFFSetField(tiff, kAsciiParamsTag, geo->asciiParams.c_str()) == 1);
  }
  if (!set) return fail("a tag cannot be set");
  *encoder = made.release();
  return true;
}

bool encodeTiffRow(TiffEncoder* encoder, uint8_t* row, std::string* error) {
  if (TIFFWriteScanline(encoder->tiff, row, static_cast<uint32_t>(encoder->row),
                        0) == 1) {
    ++encoder->row;
    return true;
  }
  *error = encoder->stream.file->systemFailure
               ? outputWriteError(*encoder->stream.file)
               : "Cannot write TIFF: " + encoder->stream.error;
  return false;
}

bool finishTiffEncoder(TiffEncoder* encoder, std::string* error) {
  if (TIFFWriteDirectory(encoder->tiff) == 1) return true;
  *error = encoder->stream.file->systemFailure
               ? outputWriteError(*encoder->stream.file)
               : "Cannot write TIFF: " + encoder->stream.error;
  return false;
}

void freeTiffEncoder(TiffEncoder* encoder) {
  if (encoder == nullptr) return;
  if (encoder->tiff != nullptr) {
    // The directory was written by finishTiffEncoder, or the output is
    // being abandoned: either way nothing more goes to the stream.
    TIFFCleanup(encoder->tiff);
  }
  delete encoder;
}
