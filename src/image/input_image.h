// What an input is once its header is read: its format (one of the
// format table's, height_formats.h), how the command line asks it to be
// read, and what each format's header says. The dispatch in
// height_formats and each format's own reader fill it in.
#ifndef QUILLORN_IMAGE_INPUT_IMAGE_H_
#define QUILLORN_IMAGE_INPUT_IMAGE_H_

#include <cstdint>
#include <string>

#include "image/bitmap_file.h"
#include "image/channel_choice.h"
#include "image/exr_file.h"
#include "image/png_file.h"
#include "image/sample_mapping.h"
#include "image/tiff_file.h"

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

// A raster's size in pixels.
struct RasterSize {
  int32_t width = 0;
  int32_t height = 0;
};

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
  std::string zipMember;  // kHgt read from a zip archive: the tile's entry
  // kTiff, kHgt, kR32, kPfm, kExr, once read: how samples became heights, and
  // the heights a -unit put beyond 0 ... 65535.
  SampleMapping mapping;
  StoreCount unitClamped;
  // An input of many tiles: where the whole they make lies (each tile's
  // own header says where it does); empty for one file.
  GeoTags placed;
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

// The input's colour channels, where it has more than one to choose from.
struct ColourChannels {
  bool colour = false;  // a colour PNG or TIFF: one of its channels is read
  SampleType sample;    // a channel's samples (a palette's are 8-bit)
  std::string chosen;   // where the reader says itself what it read (an
                        // OpenEXR's channels), that; else ""
};

// What of image's colour -channel chooses from.
ColourChannels colourChannelsOf(const InputImage& image);

// The pixels of image that are not fully opaque (a PNG with alpha); 0 for
// every other input.
int64_t translucentPixels(const InputImage& image);

// True when image holds 8-bit samples: an 8-bit bitmap, a PGM of maxval
// 255 or less, a PNG of 8 bits or fewer, a TIFF of 8-bit unsigned samples.
bool heightsAreEightBit(const InputImage& image);

// The values image's samples stand for by its band's scale and offset (a
// TIFF's GDAL metadata); nullptr where it gives none.
const BandValues* bandValuesOf(const InputImage& image);

#endif  // QUILLORN_IMAGE_INPUT_IMAGE_H_
