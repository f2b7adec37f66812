// The output image in any of the formats the tool writes: its header, its
// heights and what follows them, each handed to the format's own file.
#ifndef QUILLORN_IMAGE_OUTPUT_IMAGE_H_
#define QUILLORN_IMAGE_OUTPUT_IMAGE_H_

#include <cstdint>
#include <string>

#include "image/exr_file.h"
#include "image/float_heights.h"
#include "image/float_plane.h"
#include "image/height_formats.h"
#include "image/height_planes.h"
#include "image/png_file.h"
#include "image/progress.h"
#include "image/tiff_file.h"
#include "platform/files.h"

// An output being written.
struct OutputImage {
  HeightFormat format = HeightFormat::kBmp;
  int32_t width = 0;  // the output's size, set before its header is written
  int32_t height = 0;
  bool sameGrid = true;  // the input's pixels, neither turned, resampled nor
                         // cut: only then are a bitmap's header and tail and
                         // a TIFF's georeferencing carried over
  bool keepsBitmap = false;    // a bitmap from a bitmap: header and tail kept
  bool bigEndian = false;      // kRaw: -order big
  bool southFirst = false;     // kRaw: the bottom row first, as Unity reads
  GeoTags geo;                 // kTiff: where the output lies, when known
  BandValues bandValues;       // kTiff: what its heights stand for
  int32_t nodata = kNoNodata;  // kTiff: the height written where the blue
                               // plane marks nodata, or none marked
  bool floatSamples = false;   // kTiff: 32-bit floats, not 16-bit heights
  WrittenValues values;  // kR32, kExr and float kTiff: the value each height
                         // is written as
  int64_t clamped = 0;   // heights cut to what the format holds
  PngEncoder* pngEncoder = nullptr;
  TiffEncoder* tiffEncoder = nullptr;
  ExrEncoder* exrEncoder = nullptr;
};

// The size of the output file for the formats whose size is known ahead, to
// refuse a bitmap larger than its 32-bit fields can describe before the
// output is opened: one of width x height pixels, or the input's own grid
// (sameGrid). False (error set) when it is too large.
bool checkOutputSize(const InputImage& input, HeightFormat format,
                     int32_t width, int32_t height, bool sameGrid,
                     std::string* error);

// The output's header for image->width x image->height pixels: the input
// bitmap's header patched (a bitmap of the same grid), a new bitmap header,
// the PGM header, the PNG signature and header, or the TIFF's start (with a
// TIFF input's georeferencing on the same grid). On the same grid a new
// bitmap header, a PNG and a TIFF take the input's pixels per metre.
bool writeOutputHeader(FileStream* input, FileStream* output,
                       const InputImage& source, OutputImage* image,
                       std::string* error);

// The target heights in the output's format: a bitmap's bytes as the planes
// hold them (planes of base 255, blue included), clamped to 0 ... 65279 for
// a bitmap from 16-bit heights, as they stand for the 16-bit formats
// (planes of base 256).
bool writeOutputHeights(FileStream* output, const PlaneSet& planes,
                        const InputImage& source, OutputImage* image,
                        std::string* error, const Progress* progress);

// True when an output of format on the input's grid, its heights unchanged,
// is the input's pixel rows as they stand: a 24-bit bitmap written as a
// bitmap. copyOutputPixels then writes it without planes.
bool copiesInputPixels(const InputImage& source, HeightFormat format);

// Such an output's pixel rows, copied from the input after its header:
// their bytes, padding zero; source->greyPixels is found on the way, as
// reading them into planes finds it.
bool copyOutputPixels(FileStream* input, FileStream* output, InputImage* source,
                      std::string* error, const Progress* progress);

// The heights of a float map as they stand (each as its value, nodata as
// NaN), in a float format: raw floats, OpenEXR, or a TIFF of floats.
bool writeOutputFloats(FileStream* output, const FloatPlane& floats,
                       OutputImage* image, std::string* error,
                       const Progress* progress);

// True for an output that holds floats: raw floats, OpenEXR, a float TIFF.
bool holdsFloats(const OutputImage& image);

// What follows the heights: a kept bitmap's tail, the PNG's end, the
// TIFF's directory.
bool finishOutputImage(FileStream* input, FileStream* output,
                       const InputImage& source, OutputImage* image,
                       std::string* error);

// Frees the PNG or TIFF encoder; safe to repeat.
void releaseOutput(OutputImage* image);

#endif  // QUILLORN_IMAGE_OUTPUT_IMAGE_H_
