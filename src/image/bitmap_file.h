// Reading 8- and 24-bit Windows bitmaps into height planes and writing the
// planes back as a 24-bit bitmap that keeps the input's header and tail.
#ifndef QUILLORN_IMAGE_BITMAP_FILE_H_
#define QUILLORN_IMAGE_BITMAP_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/height_planes.h"
#include "image/pixel_density.h"
#include "image/progress.h"
#include "platform/files.h"

// Byte offsets of the header fields the tool reads or patches.
constexpr int64_t kFileSizeOffset = 2;
constexpr int64_t kPixelDataOffsetOffset = 10;
constexpr int64_t kInfoHeaderSizeOffset = 14;
constexpr int64_t kWidthOffset = 18;
constexpr int64_t kHeightOffset = 22;
constexpr int64_t kBitsPerPixelOffset = 28;
constexpr int64_t kCompressionOffset = 30;
constexpr int64_t kImageSizeOffset = 34;
constexpr int64_t kPixelsPerMetreAcrossOffset = 38;
constexpr int64_t kPixelsPerMetreDownOffset = 42;
// File header (14 bytes) plus the smallest Windows info header (40 bytes).
constexpr int64_t kMinimumHeaderSize = 54;
constexpr int32_t kMinimumInfoHeaderSize = 40;
// Largest value the 32-bit size fields of a bitmap can hold.
constexpr int64_t kMaximumBitmapFileSize = 0xFFFFFFFFLL;
// Header and tail bytes up to this many are kept from the one read of the
// input; larger ones are copied from the input when the output is written,
// once the input is known not to have changed.
constexpr int64_t kKeptBytes = int64_t{16} << 20;

// What the tool knows of an input bitmap once it has been checked. Every size
// is in bytes.
struct BitmapInfo {
  uint32_t pixelDataOffset = 0;  // start of the pixels; the header's length
  int32_t width = 0;             // pixels per row, >= 1
  int32_t height = 0;            // as stored: negative for a top-down file
  int16_t bitsPerPixel = 0;      // 8 or 24

  int32_t rowCount = 0;         // |height|, >= 1
  bool topDown = false;         // first file row is the image's top row
  bool imageSizeGiven = false;  // the input's image-size field is not 0
  int64_t fileSize = 0;         // the input's length
  int64_t inputRowStride = 0;   // row length padded to a multiple of 4
  int64_t outputRowStride = 0;  // 3 * width padded to a multiple of 4
  int64_t tailOffset = 0;       // first byte after the input's pixel rows
  int64_t outputFileSize = 0;   // header + output rows + tail

  FileStamp stamp;              // the input as inspected
  PixelDensity density;         // the header's pixels per metre, if positive
  std::vector<uint8_t> header;  // the first pixelDataOffset bytes, if kept
  std::vector<uint8_t> tail;    // the bytes after the rows, if kept
  bool headerKept = false;
  bool tailKept = false;
  // When the bitmap is refused for its depth or compression: what to do
  // about it, for standard error ("" otherwise).
  std::string advice;
};

// Reads and checks the input's header, in this order: an info header of 40
// bytes or more where "BM" starts the file (an OS/2 1.x header has its depth
// elsewhere), a bitmap at all (54 bytes or more, "BM"), the depth ("Invalid
// bit rate" unless 8 or 24), a usable header (uncompressed, width >= 1,
// height not 0, pixel data after the headers and inside the file), pixel rows
// inside the file, and an output small enough for the format's 32-bit sizes.
// On success fills info, the header bytes kept where they are at most
// kKeptBytes; otherwise error names the first problem found.
bool inspectBitmap(FileStream* input, BitmapInfo* info, std::string* error);

// Reads the pixel rows into the source planes, plane row 0 being the image's
// top row. 8-bit: the byte is red, green and blue are 0. 24-bit: bytes
// blue, green, red. Row padding is skipped. Reports rows read to progress.
// Rows longer than the read buffer are read in pieces.
bool readPixels(FileStream* input, const BitmapInfo& info, PlaneSet* planes,
                std::string* error, const Progress* progress = nullptr);

// Reads the tail (the bytes after the pixel rows) into info->tail where it
// is at most kKeptBytes; call it right after readPixels.
bool readTail(FileStream* input, BitmapInfo* info, std::string* error);

// Writes the input's first pixelDataOffset bytes with the depth set to 24,
// the file size set to the output's and the image size (where the input's is
// not 0) set to the output's pixel data size. A header not kept is copied
// from the input, which must not have changed since it was inspected.
bool writeHeader(FileStream* input, FileStream* output, const BitmapInfo& info,
                 std::string* error);

// True when every one of count 24-bit pixels (blue, green, red bytes) is
// grey, its three bytes equal; clears *black where one of them is lit.
bool bgrRowIsGrey(const uint8_t* bytes, size_t count, bool* black);

// True when the output's pixel rows can be the input's bytes as they are
// (copyPixels): a 24-bit bitmap, its rows padded as a new bitmap's.
bool copiesAsPixels(const BitmapInfo& info);

// Copies the pixel rows of such a bitmap from the input's pixel data to the
// output's position unchanged, the padding written as zero bytes as
// writePixels writes it, without planes; sets *grey as planesAreGrey would
// find its planes. Reports rows copied to progress.
bool copyPixels(FileStream* input, FileStream* output, const BitmapInfo& info,
                bool* grey, std::string* error,
                const Progress* progress = nullptr);

// Writes the target planes as 24-bit rows (blue, green, red), in the input's
// row order, each padded with zero bytes to a multiple of 4. Reports rows
// written to progress.
bool writePixels(FileStream* output, const BitmapInfo& info,
                 const PlaneSet& planes, std::string* error,
                 const Progress* progress = nullptr);

// Appends every input byte after its pixel rows (nothing when there are
// none): the kept tail, or a copy from the unchanged input.
bool copyTail(FileStream* input, FileStream* output, const BitmapInfo& info,
              std::string* error);

// For an 8-bit bitmap read into the source planes: the first palette entry
// its pixels use that is not the grey of its own index (i, i, i), or -1
// when every used one is (or the header was not kept).
int32_t firstColourEntry(const BitmapInfo& info, const PlaneSet& planes);

// True when every source pixel is grey (red = green = blue) and not every
// one black.
bool planesAreGrey(const PlaneSet& planes, int32_t width, int32_t height);

// A 24-bit row of width pixels padded to a multiple of 4 bytes.
int64_t bitmapRowStride(int32_t width);

// Writes the 54-byte header of a new 24-bit bottom-up bitmap of width x
// height pixels (a standard BITMAPINFOHEADER with the sizes filled in, and
// density's pixels per metre where known, else kDefaultPixelsPerMetre).
bool writeNewBitmapHeader(FileStream* output, int32_t width, int32_t height,
                          const PixelDensity& density, std::string* error);

// Writes the target heights of base-256 planes as the pixels of that
// bitmap: bottom-up rows, blue 0, each height clamped to 0 ... 65279 and
// encoded in base 255; adds the number clamped to *clamped.
bool writeNewBitmapPixels(FileStream* output, const PlaneSet& planes,
                          int32_t width, int32_t height, int64_t* clamped,
                          std::string* error,
                          const Progress* progress = nullptr);

// The message for an input rewritten while the tool was running.
constexpr const char* kInputChanged = "Input file changed during the run";

// The plane row that holds file row fileRow (0 = the first row stored).
inline int32_t planeRowOf(const BitmapInfo& info, int32_t fileRow) {
  return info.topDown ? fileRow : info.rowCount - 1 - fileRow;
}

#endif  // QUILLORN_IMAGE_BITMAP_FILE_H_
