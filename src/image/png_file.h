// PNG height maps and pictures, through libspng. A build without the library
// (png_absent.cpp) answers every call with an error that says so.
#ifndef QUILLORN_IMAGE_PNG_FILE_H_
#define QUILLORN_IMAGE_PNG_FILE_H_

#include <cstdint>
#include <string>

#include "image/channel_choice.h"
#include "image/height_planes.h"
#include "image/pixel_density.h"
#include "image/progress.h"
#include "platform/files.h"

// The eight bytes every PNG file starts with.
constexpr uint8_t kPngSignature[8] = {0x89, 'P',  'N',  'G',
                                      '\r', '\n', 0x1A, '\n'};

// The message for PNG in a build without it.
constexpr const char* kNoPngSupport =
    "This build of Quillorn has no PNG support; use BMP, PGM or raw heights";

// True when this build reads and writes PNG.
bool havePng();

// "libspng 0.7.3, zlib 1.2.13", or "" without PNG.
std::string pngLibraryVersion();

// What a PNG's header says.
struct PngInfo {
  int32_t width = 0;
  int32_t height = 0;
  int bitDepth = 0;  // 1, 2, 4, 8 or 16
  bool interlaced = false;
  // A colour, palette or alpha PNG, read when every pixel is grey: its
  // colour type (libspng's), and once read, how many pixels were not fully
  // opaque (their alpha, or their colour's transparency in a tRNS chunk,
  // dropped; in any PNG).
  bool colour = false;
  int colourType = 0;
  int64_t translucent = 0;
  PixelDensity density;  // from a pHYs chunk in pixels per metre
  // Set before opening: the channel of a colour PNG read as the heights
  // (-channel), which need then not be grey.
  ChannelChoice channel = ChannelChoice::kGrey;
};

struct PngDecoder;

// Reads and checks a PNG's header from the stream's start: greyscale of 1 to
// 16 bits, or colour, palette or grey with alpha, which the rows must then
// show to be grey. -channel alpha (info->channel, set before) is refused
// on a PNG without alpha: RGB or palette without tRNS. The decoder reads
// the rows later; free it with freePngDecoder.
bool openPngDecoder(FileStream* input, PngDecoder** decoder, PngInfo* info,
                    std::string* error);

// Decodes every row into the source planes as base-256 heights (the samples
// as they stand: a 4-bit sample of 15 is height 15; a grey colour's value,
// a palette's colours being 8-bit), blue untouched. Interlaced images too, row by
// row. A colour PNG with a pixel that is not grey is refused, naming the
// pixel, unless info->channel picks a channel or the luma (rounded to the
// file's depth); alpha is dropped and counted in info->translucent.
bool decodePngHeights(PngDecoder* decoder, PngInfo* info, PlaneSet* planes,
                      std::string* error, const Progress* progress);

// Safe with nullptr.
void freePngDecoder(PngDecoder* decoder);

// The pixels of a PNG being written.
enum class PngPixels {
  kGrey16,  // 16-bit greyscale: two bytes a pixel, the host's byte order
  kRgb8,    // 8-bit colour: red, green, blue
};

struct PngEncoder;

// Starts a PNG of width x height pixels on output, not interlaced, at a
// fast compression level; writes its header, with a pHYs chunk of density
// where known.
bool openPngEncoder(FileStream* output, int32_t width, int32_t height,
                    PngPixels pixels, const PixelDensity& density,
                    PngEncoder** encoder, std::string* error);

// Encodes the next row, top row first.
bool encodePngRow(PngEncoder* encoder, const uint8_t* row, size_t bytes,
                  std::string* error);

// Writes what follows the last row.
bool finishPngEncoder(PngEncoder* encoder, std::string* error);

// Safe with nullptr.
void freePngEncoder(PngEncoder* encoder);

#endif  // QUILLORN_IMAGE_PNG_FILE_H_
