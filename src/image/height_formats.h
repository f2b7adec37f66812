// Height maps in every file format the tool speaks: the BMP encoding, raw
// 16-bit heights ("r16"), raw 32-bit floats ("r32"), 16-bit PGM, greyscale
// PNG, TIFF and GeoTIFF, OpenEXR, SRTM tiles (".hgt", read only) and PFM
// (read only). An input is recognised by its name (raw,
// SRTM) or its content; an output's format follows the end of its name.
// Everything between reading and writing is shared.
#ifndef QUILLORN_IMAGE_HEIGHT_FORMATS_H_
#define QUILLORN_IMAGE_HEIGHT_FORMATS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/bitmap_file.h"
#include "image/channel_choice.h"
#include "image/exr_file.h"
#include "image/float_heights.h"
#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/png_file.h"
#include "image/progress.h"
#include "image/sample_mapping.h"
#include "image/tiff_file.h"
#include "platform/files.h"

enum class HeightFormat {
  kBmp,   // 8- or 24-bit bitmap, heights green x 255 + red
  kRaw,   // headerless 16-bit heights, top row first (little-endian unless
          // -order big)
  kPgm,   // netpbm greyscale: P5 (binary) or P2 (text) on input
  kPng,   // greyscale PNG, 16 bits on output
  kTiff,  // TIFF or GeoTIFF, one sample a pixel; 16-bit unsigned on output
  kHgt,   // SRTM tile: square, big-endian signed 16-bit, -32768 void; input
  kR32,   // headerless 32-bit float samples, top row first (little-endian
          // unless -order big); each height's value on output
  kPfm,   // portable float map, grey ("Pf"), bottom row first; input
  kExr,   // OpenEXR: one channel read as floats; one float channel Y out
};

// The library a format is read and written through, each optional in a
// build.
enum class FormatLibrary { kNone, kPng, kTiff, kExr };

// One format: how --version names it, the name endings that know it, how
// an input is known and whether it is written.
struct FormatRow {
  HeightFormat format;
  const char* name;        // as --version lists it
  const char* endings[3];  // the endings that name it, in lower case; the
                           // rest nullptr
  bool byName;             // an input is known by its name, not its bytes
  bool written;            // an output may be written in it
  FormatLibrary library;   // what reads and writes it
};

// Every format, in the order --version and the messages list them.
const std::vector<FormatRow>& formatTable();

// True when this build has library (kNone: always).
bool haveFormatLibrary(FormatLibrary library);

// "Formats: BMP, PGM, ..." with each library format's library and version
// where the build has it, and what it lacks, for --version.
std::string formatsLine();

// The endings that name an output format, in the table's order and joined
// as a list is in a sentence: ".bmp, .r16, ... or .exr" (with "or") or
// "... and .exr" (with "and").
std::string outputEndingList(const char* conjunction);

// The endings of the raw formats, known by their names alone, joined as
// outputEndingList does: ".r16, .raw or .r32".
std::string rawEndingList(const char* conjunction);

// The output format a path asks for by the end of its name, as typed and in
// any case: ".r16" or ".raw", ".r32", ".pgm", ".png", ".tif" or ".tiff",
// ".exr"; anything else is a bitmap.
HeightFormat outputFormatOf(const std::string& path);

// True for the formats that hold each height's value as a float rather
// than the height itself.
inline bool writesValues(HeightFormat format) {
  return format == HeightFormat::kR32 || format == HeightFormat::kExr;
}

// True when a path names raw heights: its name ends in ".r16" or ".raw".
bool hasRawName(const std::string& path);

// True when a path names raw 32-bit floats: its name ends in ".r32".
bool hasR32Name(const std::string& path);

// True when a path names an SRTM tile: its name ends in ".hgt".
bool hasHgtName(const std::string& path);

// True when the end of the name is one that some output format claims.
bool hasOutputExtension(const std::string& path);

// A picture format no output is written in, by one ending of its name.
struct UnwritableFormat {
  const char* ending;  // in lower case
  const char* name;    // as the refusal names it
};

// The picture formats a viewer or an engine would open by the name and
// then fail on: ".jpg" and ".jpeg" JPEG, ".gif" GIF, ".webp" WebP.
const std::vector<UnwritableFormat>& unwritableFormats();

// The picture format a path's ending names that no output is written in
// (one of unwritableFormats()), in any case; nullptr for every other name.
const char* unwritableFormatOf(const std::string& path);

// A raster's size in pixels.
struct RasterSize {
  int32_t width = 0;
  int32_t height = 0;
};

// Parses "<width>x<height>" (or X): two positive decimal numbers within 32
// bits, nothing else. False when text is not of that form.
bool parseRasterSize(const char* text, RasterSize* size);

// How the command line asks an input to be read.
struct ReadRequest {
  bool raw = false;                     // by its name, raw heights
  bool hgt = false;                     // by its name, an SRTM tile
  bool r32 = false;                     // by its name, raw 32-bit floats
  const RasterSize* rawSize = nullptr;  // -dim: a raw input's size
  bool bigEndian = false;               // -order big: a raw input's order
  MappingRequest mapping;  // -unit, and how -fit stretches elevation data
  ChannelChoice channel = ChannelChoice::kGrey;  // -channel
};

// An input whose header has been read and checked.
struct InputImage {
  HeightFormat format = HeightFormat::kBmp;
  ReadRequest request;
  int32_t width = 0;
  int32_t height = 0;            // rows
  BitmapInfo bitmap;             // kBmp: the bitmap's layout, header and tail
  int64_t dataOffset = 0;        // kRaw, kPgm, kPfm: the first sample's byte
  bool bigEndianFloats = false;  // kR32, kPfm: the samples' byte order
  int32_t maxval = 0;            // kPgm: the largest sample the header allows
  bool text = false;             // kPgm: P2, samples as decimal text
  PngInfo png;                   // kPng
  PngDecoder* pngDecoder = nullptr;    // kPng: open until releaseInput
  TiffInfo tiff;                       // kTiff
  TiffDecoder* tiffDecoder = nullptr;  // kTiff: open until releaseInput
  ExrInfo exr;                         // kExr
  ExrDecoder* exrDecoder = nullptr;    // kExr: open until releaseInput
  // kTiff, kHgt, kR32, kPfm, kExr, once read: how samples became heights, and
  // the heights a -unit put beyond 0 ... 65535.
  SampleMapping mapping;
  StoreCount unitClamped;
  // Read as floats: the samples a 32-bit float cannot hold apart (integers
  // beyond 2^24, 64-bit floats beyond its range), which are then read as
  // 16-bit heights instead.
  int64_t floatsRounded = 0;
  // Once read, an OpenEXR's unsigned samples a 32-bit float holds only to
  // the nearest float.
  int64_t samplesRounded = 0;
  // kRaw, once read: the heights are far smoother read in the other byte
  // order (a sign that -order is missing or wrong).
  bool otherOrderSmoother = false;
  // When the input is refused: what to do about it, for standard error
  // ("" when the message says it all).
  std::string advice;
  // Once read, a bitmap that is probably no height map in the encoding:
  int32_t colourEntry = -1;  // 8-bit: a used palette entry that is not the
                             // grey of its own index (-1: none)
  bool greyPixels = false;   // 24-bit: every pixel grey, not all black
};

// Reads and checks the input's header, as request says (raw heights are
// square unless request.rawSize gives the size; an SRTM tile is square).
// Checks every size before anything is allocated. On failure error is the
// message.
bool inspectInput(FileStream* input, const ReadRequest& request,
                  InputImage* image, std::string* error);

// Reads the heights into the source planes: a bitmap's as it always has in
// base 255 (widened to base 256 when the planes are), every other format's
// samples as base-256 heights, blue left as it is (planes of BlueUse::kMarks:
// zero) but for the nodata that elevation readers mark 1 (elevation samples
// mapped as image->mapping then says). Plane row 0 is the top row.
bool readInputHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress);

// True when the input's heights are read as floats and stay so to the
// output: float samples (raw floats, PFM, OpenEXR, float TIFFs) and integer
// TIFFs of more than 16 bits, unless -unit asks for steps.
bool readsAsFloats(const InputImage& image);

// The type of a float input's samples, as the file has them.
SampleType floatSampleType(const InputImage& image);

// Reads a float input's samples once into a float plane of its size, as
// they stand in the file's units (a TIFF's through its band's scale and
// offset), nodata as NaN (raw floats, PFM and OpenEXR keep their
// infinities); image->mapping.nodata counts the nodata. Plane row 0 is the
// top row.
bool readInputFloats(FileStream* input, InputImage* image, FloatPlane* floats,
                     std::string* error, const Progress* progress);

// Frees what the input holds open (the PNG or TIFF decoder); safe to
// repeat.
void releaseInput(InputImage* image);

#endif  // QUILLORN_IMAGE_HEIGHT_FORMATS_H_
