// libtiff over the tool's file streams: the tags it must know besides its
// own (GeoTIFF's, GDAL's nodata), the limits it works within, and its
// errors taken as one line for the ERROR line they become part of. Shared
// by the TIFF reader and writer.
#ifndef QUILLORN_IMAGE_TIFF_STREAM_H_
#define QUILLORN_IMAGE_TIFF_STREAM_H_

#include <tiffio.h>

#include <cstdint>
#include <string>

#include "platform/files.h"

// GeoTIFF's tags, and GDAL's nodata, which libtiff does not know by itself.
constexpr ttag_t kPixelScaleTag = 33550;
constexpr ttag_t kTiepointTag = 33922;
constexpr ttag_t kTransformationTag = 34264;
constexpr ttag_t kKeyDirectoryTag = 34735;
constexpr ttag_t kDoubleParamsTag = 34736;
constexpr ttag_t kAsciiParamsTag = 34737;
constexpr ttag_t kNodataTag = TIFFTAG_GDAL_NODATA;
constexpr ttag_t kMetadataTag = TIFFTAG_GDAL_METADATA;

// The stream libtiff reads or writes, and the first error it reported.
struct TiffStream {
  FileStream* file = nullptr;
  std::string error;
  bool reading = false;  // set by openTiffStream for mode "r"
};

// Opens stream for libtiff in mode ("r", "w", or "w8" for BigTIFF), without
// memory mapping, no single allocation over 1 GiB, the extra tags known.
// nullptr when libtiff refuses (stream->error says why).
TIFF* openTiffStream(TiffStream* stream, const char* mode);

// A TIFF being read: its stream and libtiff's handle of it.
struct TiffDecoder {
  TiffStream stream;
  TIFF* tiff = nullptr;
};

// "Malformed TIFF: " and libtiff's first error, or what where it gave none.
std::string tiffMalformed(const TiffStream& stream, const char* what);

// The rows of a tile read at most: those of the image, below them nothing.
int64_t tiffTileRowsRead(TIFF* tiff, int64_t height);

#endif  // QUILLORN_IMAGE_TIFF_STREAM_H_
