// What the end-to-end tests expect of every run (the banner, the progress
// lines, the usage error and the exit status of a failure), and the height
// files they give the tool and read back from it.
#ifndef QUILLORN_TESTS_END_TO_END_SUPPORT_H_
#define QUILLORN_TESTS_END_TO_END_SUPPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#ifdef QUILLORN_TEST_PNG
#include <spng.h>
#endif

class TempDir;

using Lines = std::vector<std::string>;
using Heights = std::vector<int32_t>;

inline constexpr char kBanner[] = "Quillorn v1.00";
inline constexpr char kHint[] = "Hit Ctrl+C to exit";
inline constexpr char kUsage[] =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";
// On POSIX an exit status of -1 reads as 255.
constexpr int kFailed = 255;

// The lines of a run that converts, or set out to: banner and hint first.
inline Lines withBanner(Lines rest) {
  rest.insert(rest.begin(), {kBanner, kHint});
  return rest;
}

// The lines of help: no hint.
inline Lines bannerOnly(Lines rest) {
  rest.insert(rest.begin(), kBanner);
  return rest;
}

// The lines of a successful run, with processing's lines after
// "Converting...".
inline Lines successLines(const Lines& processing) {
  Lines lines =
      withBanner({"Reading input header...", "Initializing temp arrays...",
                  "Reading input height...", "Converting..."});
  lines.insert(lines.end(), processing.begin(), processing.end());
  lines.insert(lines.end(),
               {"Writing output header...", "Writing output height...",
                "Finishing output...", "Deleting temp arrays...", "Done!"});
  return lines;
}

// True when the tool under test names PNG (TIFF) in its --version line: it
// was built with the library.
bool toolHasPng();
bool toolHasTiff();

// A 24-bit 4 x 1 input of (blue, green, red) pixels.
std::vector<uint8_t> fourByOne24();

// Raw heights as the tool reads them by default: 16 bits, little-endian.
std::vector<uint8_t> rawBytes(const Heights& heights);

// A PGM of 16-bit heights behind header, or behind the usual binary one
// (P5, the size, maxval 65535) when header is empty.
std::vector<uint8_t> pgmBytes(int32_t width, int32_t height,
                              const Heights& heights,
                              const std::string& header = "");

// The 54-byte header of a new 24-bit bottom-up bitmap, every field as the
// format defines it: what strict readers check.
std::vector<uint8_t> newBitmapHeader(int32_t width, int32_t height);

// The heights of a file the tool wrote, rows top first, read by the tests'
// own readers (a PNG through the tool's conversion to raw, which the corpus
// test holds to Pillow's reading).
bool readHeights(const TempDir& dir, const std::string& name, Heights* out);

#ifdef QUILLORN_TEST_PNG
// A PNG of heights (rows top first) in depth bits (8 or 16), interlaced or
// not, written by libspng itself: greyscale, or the same grey as colour
// (RGB), or colour with alpha (RGBA) that is opaque but for one pixel, or
// 8-bit indices into a grey palette. With keyed, a tRNS chunk makes the
// second pixel's grey transparent (every pixel of that grey); a lastBlue of
// 0 or more is the last pixel's blue instead of its grey.
std::vector<uint8_t> libraryPng(int32_t width, int32_t height,
                                const Heights& heights, int depth,
                                bool interlaced,
                                uint8_t colourType = SPNG_COLOR_TYPE_GRAYSCALE,
                                bool keyed = false, int32_t lastBlue = -1);
#endif

#endif  // QUILLORN_TESTS_END_TO_END_SUPPORT_H_
