// OpenEXR height maps through the library's C API (which reports errors by
// return codes): the first part of a file, scanline or tiled, of half, float
// or unsigned channels; one channel (Y or any one name), R = G = B grey, or
// the channel -channel picks, read by the float rule; written as one float
// channel named Y, ZIP-compressed, holding each height's value. A build
// without the library (exr_absent.cpp) answers every call with an error
// that says so.
#ifndef QUILLORN_IMAGE_EXR_FILE_H_
#define QUILLORN_IMAGE_EXR_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/channel_choice.h"
#include "image/exr_channels.h"
#include "image/float_heights.h"
#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/progress.h"
#include "image/sample_mapping.h"
#include "platform/files.h"

// The message for OpenEXR in a build without it.
constexpr const char* kNoExrSupport =
    "This build of Quillorn has no OpenEXR support; save the map as a float "
    "TIFF, raw 32-bit floats (.r32) or a PFM";

// True when the first bytes start an OpenEXR file (its magic number).
inline bool hasExrSignature(const uint8_t* start, size_t length) {
  return length >= 4 && start[0] == 0x76 && start[1] == 0x2F &&
         start[2] == 0x31 && start[3] == 0x01;
}

// True when this build reads and writes OpenEXR.
bool haveExr();

// "OpenEXR 3.1.5", or "" without OpenEXR.
std::string exrLibraryVersion();

struct ExrDecoder;

// Reads and checks the header from the stream: a part of scanlines or
// tiles, channels of full resolution, one to read as choice says (several
// different ones are refused, naming them, unless choice picks one). Sizes
// are checked before anything is allocated. Free the decoder with
// freeExrDecoder.
bool openExrDecoder(FileStream* input, ChannelChoice choice,
                    ExrDecoder** decoder, ExrInfo* info, std::string* error);

// Decodes the samples twice, once to survey them and once to store their
// heights in base-256 planes (blue untouched), by the float rule as request
// asks.
// A colour file read as grey is refused at its first pixel that is not.
bool decodeExrHeights(ExrDecoder* decoder, const ExrInfo& info,
                      const MappingRequest& request, PlaneSet* planes,
                      SampleMapping* mapping, StoreCount* clamped,
                      std::string* error, const Progress* progress);

// Decodes the samples once, as they stand, into a float plane of the
// image's size (the luma where -channel luma picks it); counts the nodata
// (NaN, the infinities) in nodata. A colour file read as grey is refused
// at its first pixel that is not.
bool decodeExrFloats(ExrDecoder* decoder, const ExrInfo& info,
                     FloatPlane* floats, int64_t* nodata, std::string* error,
                     const Progress* progress);

// How many unsigned samples decoding found that a 32-bit float holds only
// to the nearest float (0 with nullptr).
int64_t exrRoundedSamples(const ExrDecoder* decoder);

// Safe with nullptr.
void freeExrDecoder(ExrDecoder* decoder);

struct ExrEncoder;

// Starts an OpenEXR file of width x height pixels on output (a file the
// encoder can seek in): one float channel named Y, ZIP compression; writes
// its header.
bool openExrEncoder(FileStream* output, int32_t width, int32_t height,
                    ExrEncoder** encoder, std::string* error);

// Encodes the next row of width values, top row first.
bool encodeExrRow(ExrEncoder* encoder, const float* row, std::string* error);

// Writes what follows the last row (the chunks' offsets).
bool finishExrEncoder(ExrEncoder* encoder, std::string* error);

// Safe with nullptr.
void freeExrEncoder(ExrEncoder* encoder);

#endif  // QUILLORN_IMAGE_EXR_FILE_H_
