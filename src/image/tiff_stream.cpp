#include "image/tiff_stream.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace {

// Names are libtiff's for messages; field_name is not const in its struct.
char kPixelScaleName[] = "ModelPixelScaleTag";
char kTiepointName[] = "ModelTiepointTag";
char kTransformationName[] = "ModelTransformationTag";
char kKeyDirectoryName[] = "GeoKeyDirectoryTag";
char kDoubleParamsName[] = "GeoDoubleParamsTag";
char kAsciiParamsName[] = "GeoAsciiParamsTag";
char kNodataName[] = "GDALNoDataValue";
char kMetadataName[] = "GDALMetadata";

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
    {kMetadataTag, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, kMetadataName},
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
  // Offsets come from the file: one past its end (a forged BigTIFF offset
  // near 2^63, say) is the file's fault, for libtiff to call malformed, and
  // never reaches the system, whose EINVAL would read as an I/O error.
  const int64_t limit = stream->reading ? streamLength(stream->file) : 0;
  if (base < 0 || limit < 0) return static_cast<toff_t>(-1);
  if (offset > static_cast<toff_t>(INT64_MAX - base)) {
    return static_cast<toff_t>(-1);
  }
  int64_t target = base + static_cast<int64_t>(offset);
  if (stream->reading && target > limit) return static_cast<toff_t>(-1);
  if (!seekTo(stream->file, target)) return static_cast<toff_t>(-1);
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

}  // namespace

TIFF* openTiffStream(TiffStream* stream, const char* mode) {
  registerExtraFields();
  stream->reading = mode[0] == 'r';
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

std::string tiffMalformed(const TiffStream& stream, const char* what) {
  return std::string("Malformed TIFF: ") +
         (stream.error.empty() ? what : stream.error.c_str());
}

int64_t tiffTileRowsRead(TIFF* tiff, int64_t height) {
  uint32_t tileHeight = 0;
  TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
  return std::min<int64_t>(tileHeight, height);
}
