// TIFF and GeoTIFF height maps through libtiff: one sample per pixel of 8,
// 16 or 32-bit integers or 32/64-bit floats, in strips or tiles, in any
// compression libtiff decodes, read in rows or tiles straight into the
// planes; written as 16-bit greyscale, deflate with the horizontal
// predictor, with the source's georeferencing where it had any. A build
// without the library (tiff_absent.cpp) answers every call with an error
// that says so.
#ifndef QUILLORN_IMAGE_TIFF_FILE_H_
#define QUILLORN_IMAGE_TIFF_FILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/channel_choice.h"
#include "image/float_plane.h"
#include "image/gdal_metadata.h"
#include "image/height_planes.h"
#include "image/pixel_density.h"
#include "image/progress.h"
#include "image/sample_mapping.h"
#include "platform/files.h"

// The message for TIFF in a build without it.
constexpr const char* kNoTiffSupport =
    "This build of Quillorn has no TIFF support; use BMP, PGM, PNG or raw "
    "heights";

// True when this build reads and writes TIFF.
bool haveTiff();

// "libtiff 4.5.0", or "" without TIFF.
std::string tiffLibraryVersion();

// The GeoTIFF tags that place a map on the earth, as the file had them.
struct GeoTags {
  std::vector<double> pixelScale;      // ModelPixelScale
  std::vector<double> tiepoints;       // ModelTiepoint
  std::vector<double> transformation;  // ModelTransformation
  std::vector<uint16_t> keyDirectory;  // GeoKeyDirectory
  std::vector<double> doubleParams;    // GeoDoubleParams
  std::string asciiParams;             // GeoAsciiParams
  bool any() const {
    return !pixelScale.empty() || !tiepoints.empty() ||
           !transformation.empty() || !keyDirectory.empty();
  }
};

// What a TIFF's first image says.
struct TiffInfo {
  int32_t width = 0;
  int32_t height = 0;
  SampleType sample;
  bool tiled = false;
  bool hasNodata = false;  // GDAL_NODATA
  double nodata = 0;
  GeoTags geo;
  PixelDensity density;  // from the resolution tags, in inches or cm
  BandValues values;     // GDAL's band scale and offset, where given
  int samples = 1;       // per pixel: 1, or 3 or more (RGB) with -channel
  // Set before opening: the channel of a colour TIFF read as the heights
  // (-channel); without it a TIFF of several samples is refused.
  ChannelChoice channel = ChannelChoice::kGrey;
};

struct TiffDecoder;

// The most a TIFF's strip or tile may take to read (as stored, and decoded)
// beside the planes of a width x height map: half a byte per pixel, 16
// bytes per column and 8 MiB, what the memory bound leaves while reading.
constexpr int64_t tiffReadingBudget(int64_t width, int64_t height) {
  return width * height / 2 + 16 * width + (int64_t{8} << 20);
}

// Reads and checks the first image's header from the stream: one sample per
// pixel of a type the tool reads, or an RGB(A) image whose channel
// info->channel picks (colour without it, alpha, palettes, other sample
// types and codecs the build lacks are refused, saying what the file is).
// Sizes, and the strips' or tiles' buffers against tiffReadingBudget, are
// checked before anything is allocated. Free the decoder with freeTiffDecoder.
bool openTiffDecoder(FileStream* input, TiffDecoder** decoder, TiffInfo* info,
                     std::string* error);

// Reads the samples twice, once to survey the valid ones and once to store
// their heights in base-256 planes (blue 0), by planSampleMapping as request
// asks. mapping says how heights map; clamped counts heights cut to
// 0 ... 65535 (only with a unit).
bool decodeTiffHeights(TiffDecoder* decoder, const TiffInfo& info,
                       const MappingRequest& request, PlaneSet* planes,
                       SampleMapping* mapping, StoreCount* clamped,
                       std::string* error, const Progress* progress);

// Reads the samples once into a float plane of the image's size, each as
// the value it stands for (through the band's scale and offset where
// given), nodata (GDAL_NODATA, a float's NaN and infinities) as NaN,
// counted in nodata; rounded counts the samples a 32-bit float cannot hold
// apart: integers it holds only to the nearest float (beyond 2^24, or
// scaled), 64-bit floats beyond its range.
bool decodeTiffFloats(TiffDecoder* decoder, const TiffInfo& info,
                      FloatPlane* floats, int64_t* nodata, int64_t* rounded,
                      std::string* error, const Progress* progress);

// Safe with nullptr.
void freeTiffDecoder(TiffDecoder* decoder);

struct TiffEncoder;

// Starts a greyscale TIFF of width x height pixels on output (a file the
// encoder can seek in): 16-bit unsigned samples, or 32-bit floats with
// floats; with geo's tags when not nullptr, density as resolution tags in
// centimetres where known, values as GDAL's band scale and offset where
// known, and nodata as GDAL's nodata value unless it is kNoNodata (for
// floats, NaN marks nodata as GDAL's "nan" wherever any is written).
bool openTiffEncoder(FileStream* output, int32_t width, int32_t height,
                     bool floats, const GeoTags* geo,
                     const PixelDensity& density, const BandValues& values,
                     int32_t nodata, TiffEncoder** encoder, std::string* error);

// Encodes the next row of width samples (two bytes each, or four for
// floats) in the host's order, top row first; the row may be changed (the
// predictor works in place).
bool encodeTiffRow(TiffEncoder* encoder, uint8_t* row, std::string* error);

// Writes the image's directory after the last row.
bool finishTiffEncoder(TiffEncoder* encoder, std::string* error);

// Safe with nullptr.
void freeTiffEncoder(TiffEncoder* encoder);

#endif  // QUILLORN_IMAGE_TIFF_FILE_H_
