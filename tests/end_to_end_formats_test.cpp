// Runs the built quillorn on raw, PGM, PNG and BMP height maps and checks
// what reaches each format, byte for byte, with the tests' own readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"
#include "test_support.h"

#ifdef QUILLORN_TEST_PNG
#include <spng.h>
#endif

namespace {

using Heights = std::vector<int32_t>;

// True when the tool under test names the library in its --version line
// ("PNG (", "TIFF (").
bool toolNames(const std::string& library) {
  static const std::string formats = [] {
    ProcessResult version = runQuillorn({"--version"});
    return version.lines.size() == 2 ? version.lines[1] : std::string();
  }();
  return formats.find(library + " (") != std::string::npos;
}

bool toolHasPng() { return toolNames("PNG"); }
bool toolHasTiff() { return toolNames("TIFF"); }

std::vector<uint8_t> rawBytes(const Heights& heights) {
  std::vector<uint8_t> bytes;
  for (int32_t value : heights) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
  }
  return bytes;
}

std::vector<uint8_t> pgmBytes(int32_t width, int32_t height,
                              const Heights& heights,
                              const std::string& header = "") {
  std::string text = header.empty() ? "P5\n" + std::to_string(width) + " " +
                                          std::to_string(height) + "\n65535\n"
                                    : header;
  std::vector<uint8_t> bytes(text.begin(), text.end());
  for (int32_t value : heights) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

std::vector<uint8_t> bitmapBytes(int32_t width, int32_t height,
                                 const Heights& heights) {
  BitmapPlan plan;
  plan.width = width;
  plan.height = height;
  plan.pixels = pixelsFromHeights(heights, width, height, 24);
  return buildBitmap(plan);
}

// The 54-byte header of a new 24-bit bottom-up bitmap, every field as the
// format defines it: what strict readers check.
std::vector<uint8_t> newBitmapHeader(int32_t width, int32_t height) {
  uint32_t imageSize = static_cast<uint32_t>((3 * width + 3) / 4 * 4 * height);
  std::vector<uint8_t> header;
  auto put = [&](uint32_t value, int bytes) {
    for (int index = 0; index < bytes; ++index) {
      header.push_back(static_cast<uint8_t>(value >> (8 * index)));
    }
  };
  header = {'B', 'M'};
  put(54 + imageSize, 4);  // file size
  put(0, 4);               // reserved
  put(54, 4);              // pixel data offset
  put(40, 4);              // info header size
  put(static_cast<uint32_t>(width), 4);
  put(static_cast<uint32_t>(height), 4);
  put(1, 2);   // colour planes
  put(24, 2);  // bits per pixel
  put(0, 4);   // no compression
  put(imageSize, 4);
  put(2835, 4);  // 72 pixels per inch, across and down
  put(2835, 4);
  put(0, 4);  // colours used
  put(0, 4);  // important colours
  return header;
}

// The first four bytes of a classic TIFF in the host's byte order, as
// libtiff writes one: "II*\0" little-endian, "MM\0*" big-endian.
std::vector<uint8_t> classicTiffStart() {
  const uint16_t probe = 1;
  uint8_t first = 0;
  std::memcpy(&first, &probe, 1);
  return first == 1 ? std::vector<uint8_t>{'I', 'I', 42, 0}
                    : std::vector<uint8_t>{'M', 'M', 0, 42};
}

// The doubles of one tag of a classic little-endian TIFF's first
// directory, read by the test itself; empty when the tag is absent.
std::vector<double> tiffDoubles(const std::vector<uint8_t>& bytes,
                                uint16_t tag) {
  auto at = [&](size_t offset, size_t size) {
    uint64_t value = 0;
    for (size_t index = 0; index < size && offset + index < bytes.size();
         ++index) {
      value |= uint64_t{bytes[offset + index]} << (8 * index);
    }
    return value;
  };
  if (bytes.size() < 8 || bytes[0] != 'I') return {};
  const size_t directory = at(4, 4);
  const size_t count = at(directory, 2);
  for (size_t entry = 0; entry < count; ++entry) {
    const size_t start = directory + 2 + 12 * entry;
    if (at(start, 2) != tag || at(start + 2, 2) != 12) continue;
    std::vector<double> values(at(start + 4, 4));
    const size_t data = at(start + 8, 4);
    for (size_t index = 0; index < values.size(); ++index) {
      const uint64_t bits = at(data + 8 * index, 8);
      std::memcpy(&values[index], &bits, sizeof bits);
    }
    return values;
  }
  return {};
}

// The heights of a file the tool wrote, rows top first, read by the tests'
// own readers (a PNG through the tool's conversion to raw, which the corpus
// test holds to Pillow's reading).
bool readHeights(const TempDir& dir, const std::string& name, Heights* out) {
  std::vector<uint8_t> bytes;
  std::string path = dir.file(name);
  out->clear();
  if (name.size() > 4 && (name.substr(name.size() - 4) == ".png" ||
                          name.substr(name.size() - 4) == ".tif")) {
    std::string raw = dir.file(name + ".r16");
    if (runQuillorn({path, raw}).exitStatus != 0) return false;
    path = raw;
  }
  if (!readFileBytes(path, &bytes)) return false;
  if (name.substr(name.size() - 4) == ".bmp") {
    DecodedImage image;
    std::string why;
    if (!decode24(bytes, &image, &why)) return false;
    for (int32_t row = 0; row < image.rows; ++row) {
      for (int32_t column = 0; column < image.width; ++column) {
        out->push_back(image.height(row, column));
      }
    }
    return true;
  }
  size_t start = 0;
  bool bigEndian = name.substr(name.size() - 4) == ".pgm";
  if (bigEndian) {
    // Our own header: three lines.
    for (int lines = 0; lines < 3 && start < bytes.size(); ++start) {
      lines += bytes[start] == '\n';
    }
  }
  for (size_t at = start; at + 1 < bytes.size(); at += 2) {
    out->push_back(bigEndian ? bytes[at] << 8 | bytes[at + 1]
                             : bytes[at] | bytes[at + 1] << 8);
  }
  return true;
}

// Every height from 0 to 65535 once, in a 256 x 256 map.
Heights everyHeight() {
  Heights heights(65536);
  for (int32_t value = 0; value < 65536; ++value) {
    heights[static_cast<size_t>(value)] = (value * 7919) % 65536;
  }
  return heights;
}

TEST(EndToEndTest, SixteenBitFormatsKeepEveryHeight) {
  TempDir dir;
  const Heights all = everyHeight();
  ASSERT_TRUE(writeFileBytes(dir.file("all.r16"), rawBytes(all)));
  std::vector<std::string> chain = {"all.r16", "all.pgm"};
  if (toolHasPng()) chain.push_back("all.png");
  if (toolHasTiff()) chain.push_back("all.tif");
  chain.push_back("b.r16");
  for (size_t step = 0; step + 1 < chain.size(); ++step) {
    ProcessResult result =
        runQuillorn({dir.file(chain[step]), dir.file(chain[step + 1])});
    EXPECT_EQ(result.exitStatus, 0) << chain[step + 1];
    EXPECT_EQ(result.lines, successLines({})) << chain[step + 1];
    EXPECT_EQ(result.errors, "") << chain[step + 1];
    Heights got;
    ASSERT_TRUE(readHeights(dir, chain[step + 1], &got)) << chain[step + 1];
    EXPECT_EQ(got, all) << chain[step + 1];
  }
  std::vector<uint8_t> pgm;
  ASSERT_TRUE(readFileBytes(dir.file("all.pgm"), &pgm));
  EXPECT_EQ(pgm, pgmBytes(256, 256, all));
  // 128 KiB of heights make a classic TIFF, not a BigTIFF.
  if (toolHasTiff()) {
    std::vector<uint8_t> tiff;
    ASSERT_TRUE(readFileBytes(dir.file("all.tif"), &tiff));
    ASSERT_GE(tiff.size(), 4u);
    EXPECT_EQ(std::vector<uint8_t>(tiff.begin(), tiff.begin() + 4),
              classicTiffStart());
  }
}

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
                                bool keyed = false, int32_t lastBlue = -1) {
  std::vector<uint8_t> samples;
  const int channels = colourType == SPNG_COLOR_TYPE_TRUECOLOR         ? 3
                       : colourType == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4
                                                                       : 1;
  for (size_t index = 0; index < heights.size(); ++index) {
    for (int channel = 0; channel < channels; ++channel) {
      int32_t value = channel == 3 ? (index == 1 ? 0 : 65535) : heights[index];
      if (channel == 2 && lastBlue >= 0 && index + 1 == heights.size()) {
        value = lastBlue;
      }
      if (depth == 16) samples.push_back(static_cast<uint8_t>(value >> 8));
      samples.push_back(static_cast<uint8_t>(value));
    }
  }
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
  struct spng_ihdr header = {};
  header.width = static_cast<uint32_t>(width);
  header.height = static_cast<uint32_t>(height);
  header.bit_depth = static_cast<uint8_t>(depth);
  header.color_type = colourType;
  header.interlace_method = interlaced ? SPNG_INTERLACE_ADAM7 : 0;
  spng_set_ihdr(context, &header);
  const uint16_t key = static_cast<uint16_t>(heights[1]);
  if (colourType == SPNG_COLOR_TYPE_INDEXED) {
    struct spng_plte palette = {};
    palette.n_entries = 256;
    for (uint32_t entry = 0; entry < 256; ++entry) {
      palette.entries[entry].red = static_cast<uint8_t>(entry);
      palette.entries[entry].green = static_cast<uint8_t>(entry);
      palette.entries[entry].blue = static_cast<uint8_t>(entry);
    }
    spng_set_plte(context, &palette);
  }
  if (keyed) {
    struct spng_trns trns = {};
    trns.gray = key;
    trns.red = key;
    trns.green = key;
    trns.blue = key;
    trns.n_type3_entries = key + 1u;
    for (uint32_t entry = 0; entry <= key && entry < 256; ++entry) {
      trns.type3_alpha[entry] = entry == key ? 0 : 255;
    }
    spng_set_trns(context, &trns);
  }
  std::vector<uint8_t> file;
  // Big-endian samples, as the file stores them.
  if (spng_encode_image(context, samples.data(), samples.size(), SPNG_FMT_RAW,
                        SPNG_ENCODE_FINALIZE) == 0) {
    size_t size = 0;
    int error = 0;
    uint8_t* bytes =
        static_cast<uint8_t*>(spng_get_png_buffer(context, &size, &error));
    if (bytes != nullptr) file.assign(bytes, bytes + size);
    std::free(bytes);
  }
  spng_ctx_free(context);
  return file;
}

// An interlaced PNG gives the heights of its plain twin: every pass of
// Adam7 lands where it belongs, the earlier passes' pixels kept; so do the
// same greys saved in colour, with and without alpha.
TEST(EndToEndTest, InterlacedPngsGiveTheHeightsOfTheirPlainTwins) {
  if (!toolHasPng()) GTEST_SKIP() << "the tool under test has no PNG";
  TempDir dir;
  const int32_t width = 13, height = 11;
  const Heights heights = makeTerrain(width, height, 65535, 5);
  for (int depth : {16, 8}) {
    Heights expected = heights;
    if (depth == 8) {
      for (int32_t& value : expected) value &= 0xFF;
    }
    // Every pixel of the second one's grey is transparent with tRNS.
    const int64_t keyedCount =
        std::count(expected.begin(), expected.end(), expected[1]);
    ASSERT_GT(keyedCount, 0);
    struct Kind {
      uint8_t colour;
      bool keyed;
      int64_t translucent;
    };
    const Kind kinds[] = {
        {SPNG_COLOR_TYPE_GRAYSCALE, false, 0},
        {SPNG_COLOR_TYPE_TRUECOLOR, false, 0},
        {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, false, 1},
        {SPNG_COLOR_TYPE_GRAYSCALE, true, keyedCount},
        {SPNG_COLOR_TYPE_TRUECOLOR, true, keyedCount},
        {SPNG_COLOR_TYPE_INDEXED, false, 0},
        {SPNG_COLOR_TYPE_INDEXED, true, keyedCount},
    };
    for (const Kind& kind : kinds) {
      // A palette's indices have 8 bits at most.
      if (kind.colour == SPNG_COLOR_TYPE_INDEXED && depth == 16) continue;
      for (bool interlaced : {false, true}) {
        std::string what = std::to_string(depth) + " bits, colour type " +
                           std::to_string(kind.colour) +
                           (kind.keyed ? ", tRNS" : "") +
                           (interlaced ? ", interlaced" : "");
        ASSERT_TRUE(
            writeFileBytes(dir.file("in.png"),
                           libraryPng(width, height, expected, depth,
                                      interlaced, kind.colour, kind.keyed)))
            << what;
        ProcessResult result =
            runQuillorn({dir.file("in.png"), dir.file("out.r16")});
        EXPECT_EQ(result.exitStatus, 0) << what;
        std::vector<uint8_t> raw;
        ASSERT_TRUE(readFileBytes(dir.file("out.r16"), &raw)) << what;
        EXPECT_EQ(raw, rawBytes(expected)) << what;
        const std::string count = std::to_string(kind.translucent);
        const std::string warning =
            "quillorn: warning: " + count +
            (kind.translucent == 1 ? " pixel of the input PNG is"
                                   : " pixels of the input PNG are") +
            " not fully opaque: the alpha is dropped and the grey read as "
            "heights\n";
        // A launcher's console may end lines its own way.
        if (throughLauncher()) continue;
        bool warned = result.errors.find(warning) != std::string::npos;
        EXPECT_EQ(warned, kind.translucent > 0) << what << result.errors;
        EXPECT_EQ(result.errors.find("opaque") != std::string::npos,
                  kind.translucent > 0)
            << what;
      }
    }
  }
}
#endif

// A bitmap's heights reach a raw file top row first and come back the same,
// and a top-down bitmap gives the same raw file as its bottom-up twin.
TEST(EndToEndTest, BitmapsAndRawHeightsMeet) {
  TempDir dir;
  const int32_t width = 7, height = 5;
  Heights heights = makeTerrain(width, height, 65279, 9);
  heights[0] = 65279;  // the top-left corner: the orientation
  heights[1] = 0;
  ASSERT_TRUE(
      writeFileBytes(dir.file("map.bmp"), bitmapBytes(width, height, heights)));
  ProcessResult toRaw = runQuillorn({dir.file("map.bmp"), dir.file("map.r16")});
  EXPECT_EQ(toRaw.exitStatus, 0);
  EXPECT_EQ(toRaw.lines, successLines({}));
  std::vector<uint8_t> raw;
  ASSERT_TRUE(readFileBytes(dir.file("map.r16"), &raw));
  EXPECT_EQ(raw, rawBytes(heights));

  ProcessResult back =
      runQuillorn({dir.file("map.r16"), dir.file("back.bmp"), "-dim", "7x5"});
  EXPECT_EQ(back.exitStatus, 0);
  Heights got;
  ASSERT_TRUE(readHeights(dir, "back.bmp", &got));
  EXPECT_EQ(got, heights);
  std::vector<uint8_t> bitmap;
  ASSERT_TRUE(readFileBytes(dir.file("back.bmp"), &bitmap));
  ASSERT_EQ(bitmap.size(), 54u + 24u * 5u);
  EXPECT_EQ(std::vector<uint8_t>(bitmap.begin(), bitmap.begin() + 54),
            newBitmapHeader(width, height));

  BitmapPlan topDown;
  topDown.width = width;
  topDown.height = -height;
  std::vector<uint8_t> bottomUp = pixelsFromHeights(heights, width, height, 24);
  for (int32_t row = height - 1; row >= 0; --row) {
    topDown.pixels.insert(topDown.pixels.end(),
                          bottomUp.begin() + row * width * 3,
                          bottomUp.begin() + (row + 1) * width * 3);
  }
  ASSERT_TRUE(writeFileBytes(dir.file("down.bmp"), buildBitmap(topDown)));
  ASSERT_EQ(
      runQuillorn({dir.file("down.bmp"), dir.file("down.r16")}).exitStatus, 0);
  std::vector<uint8_t> twin;
  ASSERT_TRUE(readFileBytes(dir.file("down.r16"), &twin));
  EXPECT_EQ(twin, raw);

  // A bitmap of 3780 x 2000 pixels per metre through a PNG (pHYs) or a TIFF
  // (resolution tags) and back is the same file; raw heights have no place
  // for them, and the way back writes the usual 2835.
  std::vector<uint8_t> dense = bitmapBytes(width, height, heights);
  const uint8_t ppm[] = {0xC4, 0x0E, 0, 0, 0xD0, 0x07, 0, 0};
  std::copy(std::begin(ppm), std::end(ppm), dense.begin() + 38);
  ASSERT_TRUE(writeFileBytes(dir.file("dense.bmp"), dense));
  struct Trip {
    std::string via;
    bool kept;
  };
  std::vector<Trip> trips = {{"r16", false}};
  if (toolHasPng()) trips.push_back({"png", true});
  if (toolHasTiff()) trips.push_back({"tif", true});
  for (const Trip& trip : trips) {
    const std::string there = dir.file("dense." + trip.via);
    const std::string home = dir.file("dense_" + trip.via + ".bmp");
    ASSERT_EQ(runQuillorn({dir.file("dense.bmp"), there}).exitStatus, 0);
    std::vector<std::string> arguments = {there, home};
    if (trip.via == "r16") arguments.insert(arguments.end(), {"-dim", "7x5"});
    ASSERT_EQ(runQuillorn(arguments).exitStatus, 0) << trip.via;
    std::vector<uint8_t> returned;
    ASSERT_TRUE(readFileBytes(home, &returned));
    if (trip.kept) {
      EXPECT_EQ(returned, dense) << trip.via;
    } else {
      EXPECT_EQ(std::vector<uint8_t>(returned.begin(), returned.begin() + 54),
                newBitmapHeader(width, height))
          << trip.via;
    }
  }
}

// For heights that stay within 0 ... 65279 through every stage, every pair
// of formats gives the heights and the lines of the bitmap path.
TEST(EndToEndTest, EveryFormatPairMatchesTheBitmapPath) {
  TempDir dir;
  const int32_t width = 23, height = 17;
  const Heights heights = makeTerrain(width, height, 60000, 4);
  ASSERT_TRUE(
      writeFileBytes(dir.file("in.bmp"), bitmapBytes(width, height, heights)));
  ASSERT_TRUE(writeFileBytes(dir.file("in.r16"), rawBytes(heights)));
  ASSERT_TRUE(
      writeFileBytes(dir.file("in.pgm"), pgmBytes(width, height, heights)));
  std::vector<std::string> formats = {"bmp", "r16", "pgm"};
  if (toolHasPng()) formats.push_back("png");
  if (toolHasTiff()) formats.push_back("tif");
  for (const char* made : {"png", "tif"}) {
    if (std::find(formats.begin(), formats.end(), made) == formats.end()) {
      continue;
    }
    ASSERT_EQ(
        runQuillorn({dir.file("in.r16"), dir.file(std::string("in.") + made),
                     "-dim", "23x17"})
            .exitStatus,
        0);
  }
  const std::vector<std::vector<std::string>> switchSets = {
      {}, {"-smo", "2", "-min", "100"}, {"-sca", "0", "-smo", "1"}};
  for (const auto& switches : switchSets) {
    std::vector<std::string> plain = {dir.file("in.bmp"), dir.file("ref.bmp")};
    plain.insert(plain.end(), switches.begin(), switches.end());
    ProcessResult reference = runQuillorn(plain);
    ASSERT_EQ(reference.exitStatus, 0);
    Heights expected;
    ASSERT_TRUE(readHeights(dir, "ref.bmp", &expected));
    for (const std::string& from : formats) {
      for (const std::string& to : formats) {
        std::string what = from + " to " + to + " with " +
                           std::to_string(switches.size()) + " switches";
        std::vector<std::string> arguments = {dir.file("in." + from),
                                              dir.file("out." + to)};
        arguments.insert(arguments.end(), switches.begin(), switches.end());
        if (from == "r16") arguments.insert(arguments.end(), {"-dim", "23x17"});
        ProcessResult result = runQuillorn(arguments);
        EXPECT_EQ(result.exitStatus, 0) << what;
        EXPECT_EQ(result.lines, reference.lines) << what;
        Heights got;
        ASSERT_TRUE(readHeights(dir, "out." + to, &got)) << what;
        EXPECT_EQ(got, expected) << what;
      }
    }
  }
}

// Inputs the formats cannot describe are refused with their own message,
// before the output is touched.
TEST(EndToEndTest, MalformedHeightFilesAreRefused) {
  TempDir dir;
  const Heights four = {1, 2, 3, 4};
  struct Case {
    const char* what;
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> switches;
    std::string message;  // the ERROR line's start
  };
  std::vector<Case> cases = {
      {"raw of no square size",
       "a.r16",
       std::vector<uint8_t>(6, 0),
       {},
       "ERROR: Raw height file has 6 bytes, not 2 x n x n for a square map"},
      {"raw smaller than -dim says",
       "a.raw",
       std::vector<uint8_t>(8, 0),
       {"-dim", "3x2"},
       "ERROR: Raw height file has 8 bytes, but -dim 3x2 needs 12"},
      {"raw larger than -dim says",
       "a.raw",
       std::vector<uint8_t>(14, 0),
       {"-dim", "3x2"},
       "ERROR: Raw height file has 14 bytes, but -dim 3x2 needs 12"},
      {"unknown content",
       "a.bin",
       std::vector<uint8_t>(64, 'Z'),
       {},
       "ERROR: Input file is not a bitmap, PGM, PFM, PNG, TIFF or OpenEXR"},
      {"bad -dim",
       "a.r16",
       std::vector<uint8_t>(8, 0),
       {"-dim", "2x"},
       "ERROR: Invalid size after -dim, should be <width>x<height>"},
      {"SRTM tile of no square size",
       "N47W122.HGT",
       std::vector<uint8_t>(6, 0),
       {},
       "ERROR: SRTM tile has 6 bytes, not 2 x n x n for a square tile"},
      {"bad -order",
       "a.r16",
       std::vector<uint8_t>(8, 0),
       {"-order", "mac"},
       "ERROR: Invalid byte order after -order, should be little or big"},
      {"-unit of 0",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "0"},
       "ERROR: Invalid unit after -unit, should be a positive number"},
      {"-unit not wholly a number",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "0.1m"},
       "ERROR: Invalid unit after -unit, should be a positive number"},
      // Values that would make every height 0 or none a number.
      {"-unit inf",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "inf"},
       "ERROR: Invalid unit after -unit, should be a positive number"},
      {"-unit beyond a double",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "1e999"},
       "ERROR: Invalid unit after -unit, should be a positive number"},
      {"-unit nan",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "nan"},
       "ERROR: Invalid unit after -unit, should be a positive number"},
      {"-unit below 0",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "-1"},
       "ERROR: Invalid unit after -unit, should be a positive number"},
  };
  if (toolHasTiff()) {
    auto tiff = [](uint16_t bits, uint16_t format, uint16_t samples,
                   uint32_t width) {
      TiffPlan plan;
      plan.width = width;
      plan.height = 2;
      plan.bitsPerSample = bits;
      plan.sampleFormat = format;
      plan.samplesPerPixel = samples;
      return buildTiff(plan);
    };
    cases.push_back({"two-band TIFF",
                     "a.tif",
                     tiff(16, 1, 2, 2),
                     {},
                     "ERROR: Input file is a TIFF of 2 samples a pixel "
                     "(colour, or with alpha); a one-band greyscale height "
                     "map is expected: -channel red, green, blue or luma "
                     "reads one, or save it from the editor's greyscale "
                     "mode"});
    cases.push_back({"two-band TIFF with -channel",
                     "a.tif",
                     tiff(16, 1, 2, 2),
                     {"-channel", "red"},
                     "ERROR: Input file is a TIFF of 2 samples a pixel; "
                     "-channel red reads an RGB TIFF of interleaved samples"});
    cases.push_back({"bad -channel",
                     "a.tif",
                     tiff(16, 1, 2, 2),
                     {"-channel", "Red"},
                     "ERROR: Invalid channel after -channel, should be red, "
                     "green, blue, alpha or luma"});
    cases.push_back({"12-bit TIFF",
                     "a.tif",
                     tiff(12, 1, 1, 2),
                     {},
                     "ERROR: Input file is a TIFF of 12-bit unsigned integer "
                     "samples; heights are read from 8, 16 or 32-bit "
                     "integers or 32 or 64-bit floats"});
    cases.push_back({"half-float TIFF",
                     "a.tif",
                     tiff(16, 3, 1, 2),
                     {},
                     "ERROR: Input file is a TIFF of 16-bit floating-point"});
    // JPEG 2000 inside a TIFF: a codec no libtiff has, refused before the
    // work as any codec missing from the build is.
    TiffPlan jpeg2000;
    jpeg2000.width = 2;
    jpeg2000.height = 2;
    jpeg2000.compression = 34712;
    cases.push_back({"TIFF of a codec the build lacks",
                     "a.tif",
                     buildTiff(jpeg2000),
                     {},
                     "ERROR: Unsupported TIFF compression: this build reads "
                     "no TIFF of compression 34712; save it with deflate, LZW "
                     "or no compression (GDAL: gdal_translate -co "
                     "COMPRESS=DEFLATE in.tif plain.tif)"});
    // Strips and tiles that cannot be read within the memory bound: 2 KB
    // claiming 65536-wide tiles of deflate, 9 MiB in one strip of 1024 x
    // 1024.
    TiffPlan wideTiles;
    wideTiles.width = 65536;
    wideTiles.height = 1024;
    wideTiles.tileWidth = 65536;
    wideTiles.tileHeight = 65536;
    wideTiles.compression = 8;
    wideTiles.storedBytes = 2100;
    cases.push_back({"TIFF tiles beyond the bound",
                     "a.tif",
                     buildTiff(wideTiles),
                     {},
                     "ERROR: TIFF tiles too large: reading one takes "
                     "134219828 bytes, more than the 42991616 a 65536 x 1024 "
                     "map allows; save it in smaller tiles"});
    TiffPlan bigStrip;
    bigStrip.width = 1024;
    bigStrip.height = 1024;
    bigStrip.compression = 8;
    bigStrip.storedBytes = 9u << 20;
    cases.push_back({"TIFF strip beyond the bound",
                     "a.tif",
                     buildTiff(bigStrip),
                     {},
                     "ERROR: TIFF strips too large: reading one takes 9439232 "
                     "bytes, more than the 8929280 a 1024 x 1024 map "
                     "allows"});
    cases.push_back({"TIFF of 2^31 columns",
                     "a.tif",
                     tiff(16, 1, 1, 0x80000000u),
                     {},
                     "ERROR: Malformed TIFF"});
    // A BigTIFF whose first directory lies at 2^63 - 16: the file's fault,
    // not the system's.
    std::vector<uint8_t> farOffset = {'I',  'I',  43,   0,    8,    0,
                                      0,    0,    0xF0, 0xFF, 0xFF, 0xFF,
                                      0xFF, 0xFF, 0xFF, 0x7F};
    farOffset.resize(80, 0);
    cases.push_back({"BigTIFF directory offset past its end",
                     "a.tif",
                     farOffset,
                     {},
                     "ERROR: Malformed TIFF"});
    std::vector<uint8_t> forged = tiff(16, 1, 1, 1u << 30);
    cases.push_back({"TIFF larger than its file",
                     "a.tif",
                     forged,
                     {},
                     "ERROR: Malformed TIFF: its 1073741824 x 2 samples cannot "
                     "be in " +
                         std::to_string(forged.size()) + " bytes"});
  }
  if (toolHasPng()) {
    // The relief picture is a colour PNG.
    ASSERT_TRUE(writeFileBytes(dir.file("g.r16"), rawBytes(four)));
    ASSERT_EQ(runQuillorn({dir.file("g.r16"), dir.file("g.bmp"), "-view",
                           dir.file("colour.png")})
                  .exitStatus,
              0);
    std::vector<uint8_t> colour;
    ASSERT_TRUE(readFileBytes(dir.file("colour.png"), &colour));
    cases.push_back({"colour PNG",
                     "a.png",
                     colour,
                     {},
                     "ERROR: Input file is a colour (RGB) PNG whose pixel "
                     "at row 1, column 1 is not grey"});
#ifdef QUILLORN_TEST_PNG
    // Red and green alike are not grey while blue differs.
    cases.push_back(
        {"colour PNG of red = green, not blue",
         "a.png",
         libraryPng(2, 1, {10, 20}, 8, false, SPNG_COLOR_TYPE_TRUECOLOR, false,
                    99),
         {},
         "ERROR: Input file is a colour (RGB) PNG whose pixel at row 1, "
         "column 2 is not grey (red 20, green 20, blue 99); a greyscale "
         "height map is expected"});
#endif
    // Damaged after the last row: the image data's checksum (the last
    // chunk's but the end chunk's), the end chunk missing, a damaged chunk
    // that is not image data.
    ASSERT_EQ(runQuillorn({dir.file("g.r16"), dir.file("g.png")}).exitStatus,
              0);
    std::vector<uint8_t> png;
    ASSERT_TRUE(readFileBytes(dir.file("g.png"), &png));
    std::vector<uint8_t> badData = png;
    badData[png.size() - 13] ^= 1;
    std::vector<uint8_t> noEnd(png.begin(), png.end() - 12);
    std::vector<uint8_t> badText = png;
    const uint8_t textChunk[] = {
        0,   0, 0,   3, 't', 'E', 'X', 't',
        'a', 0, 'b', 0, 0,   0,   0};  // its checksum is not 0
    badText.insert(badText.begin() + 33, std::begin(textChunk),
                   std::end(textChunk));
    cases.push_back({"PNG image data checksum wrong",
                     "a.png",
                     badData,
                     {},
                     "ERROR: Malformed PNG: invalid chunk checksum"});
    cases.push_back(
        {"PNG without its end chunk",
         "a.png",
         noEnd,
         {},
         "ERROR: Malformed PNG: the file ends before the end of its end "
         "chunk (IEND)"});
    cases.push_back({"PNG text chunk checksum wrong",
                     "a.png",
                     badText,
                     {},
                     "ERROR: Malformed PNG: invalid chunk checksum"});
  }
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFileBytes(dir.file(c.name), c.bytes));
    ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), old));
    std::vector<std::string> arguments = {dir.file(c.name),
                                          dir.file("out.bmp")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, kFailed) << c.what;
    ASSERT_FALSE(result.lines.empty()) << c.what;
    EXPECT_EQ(result.lines.back().rfind(c.message, 0), 0u)
        << c.what << ": " << result.lines.back();
    std::vector<uint8_t> kept;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &kept));
    EXPECT_EQ(kept, old) << c.what;
  }
}

// A build without PNG or TIFF says so before it touches anything.
TEST(EndToEndTest, PngAndTiffNeedABuildWithThem) {
  if (toolHasPng() && toolHasTiff()) {
    GTEST_SKIP() << "this build has PNG and TIFF";
  }
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.r16"), rawBytes({1, 2, 3, 4})));
  TiffPlan plan;
  ASSERT_TRUE(writeFileBytes(dir.file("in.tif"), buildTiff(plan)));
  const std::string noPng =
      "ERROR: This build of Quillorn has no PNG support; use BMP, PGM or raw "
      "heights";
  const std::string noTiff =
      "ERROR: This build of Quillorn has no TIFF support; use BMP, PGM, PNG "
      "or raw heights";
  struct Case {
    bool applies;
    std::vector<std::string> arguments;
    std::string message;
  };
  const Case cases[] = {
      {!toolHasPng(), {dir.file("in.r16"), dir.file("out.png")}, noPng},
      {!toolHasPng(),
       {dir.file("in.r16"), dir.file("out.bmp"), "-view", dir.file("v.png")},
       noPng},
      {!toolHasTiff(), {dir.file("in.r16"), dir.file("out.tif")}, noTiff},
      {!toolHasTiff(), {dir.file("in.tif"), dir.file("out.bmp")}, noTiff},
  };
  for (const Case& c : cases) {
    if (!c.applies) continue;
    ProcessResult result = runQuillorn(c.arguments);
    EXPECT_EQ(result.exitStatus, kFailed) << c.arguments[1];
    EXPECT_EQ(result.lines, withBanner({c.message})) << c.arguments[1];
  }
  EXPECT_EQ(folderNames(dir.path()), Lines({"in.r16", "in.tif"}));
}

// Heights that do not fit are clamped, and standard error says so exactly
// then; a picture of the result comes with -view.
TEST(EndToEndTest, ClampsAreReportedAndPicturesDrawn) {
  TempDir dir;
  ASSERT_TRUE(
      writeFileBytes(dir.file("in.r16"), rawBytes({0, 100, 65535, 30000})));
  ASSERT_TRUE(
      writeFileBytes(dir.file("edge.r16"), rawBytes({65279, 65280, 0, 65278})));
  // A cliff that cubic resampling overshoots on both sides.
  ASSERT_TRUE(
      writeFileBytes(dir.file("step.r16"), rawBytes({0, 0, 65535, 65535})));
  BitmapPlan step;
  step.width = 4;
  step.pixels = {9, 0, 0, 9, 0, 0, 9, 255, 254, 9, 255, 254};
  ASSERT_TRUE(writeFileBytes(dir.file("step.bmp"), buildBitmap(step)));
  struct Case {
    std::string input;
    std::string output;
    std::vector<std::string> switches;
    Heights heights;
    std::string errors;
  };
  const std::string warning = "quillorn: warning: ";
  const Case cases[] = {
      {"in.r16", "a.r16", {}, {0, 100, 65535, 30000}, ""},
      {"in.r16",
       "b.bmp",
       {},
       {0, 100, 65279, 30000},
       warning +
           "1 height was clamped to what the files hold: 1 above "
           "65279 (the most a bitmap holds) when written; -sca 0, a "
           "smaller -sca or a 16-bit output (.r16, .pgm, .png, .tif) keeps "
           "them\n"},
      {"in.r16",
       "c.r16",
       {"-sca", "2", "-min", "-5"},
       {0, 195, 65530, 59995},
       warning + "2 heights were clamped to what the files hold: 1 above "
                 "65535 after -sca, 1 below 0 after -min; -sca 0 or a "
                 "smaller -sca and a -min of 0 or more keep them\n"},
      // The most a bitmap holds is kept, one more is clamped.
      {"edge.r16",
       "d.bmp",
       {},
       {65279, 65279, 0, 65278},
       warning +
           "1 height was clamped to what the files hold: 1 above "
           "65279 (the most a bitmap holds) when written; -sca 0, a "
           "smaller -sca or a 16-bit output (.r16, .pgm, .png, .tif) keeps "
           "them\n"},
      // Resampling clamps in every base: a bitmap's heights too stay within
      // 0 ... 65279 instead of wrapping into spikes.
      {"step.r16",
       "e.r16",
       {"-dim", "4x1", "-size", "7x1"},
       {0, 0, 0, 32768, 65535, 65535, 65535},
       warning + "2 heights were clamped to what the files hold: 1 above "
                 "65535 after resampling, 1 below 0 after resampling; "
                 "-filter linear or bspline (which never overshoot) keeps "
                 "them\n"},
      {"step.bmp",
       "f.bmp",
       {"-size", "7x1"},
       {0, 0, 0, 32640, 65279, 65279, 65279},
       warning + "2 heights were clamped to what the files hold: 1 above "
                 "65279 after resampling, 1 below 0 after resampling; "
                 "-filter linear or bspline (which never overshoot) keeps "
                 "them\n"},
      // Clamped by resampling, then wrapped by -sca: a line each.
      {"step.bmp",
       "g.bmp",
       {"-size", "7x1", "-sca", "1.0001"},
       {0, 0, 0, 32643, 5, 5, 5},
       warning +
           "2 heights were clamped to what the files hold: 1 above "
           "65279 after resampling, 1 below 0 after resampling; "
           "-filter linear or bspline (which never overshoot) keeps "
           "them\n" +
           warning +
           "3 heights wrapped in the bitmap encoding (0 ... "
           "65279): 3 above 65279 after -sca; -sca 0 or a smaller "
           "-sca keeps them\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {dir.file(c.input),
                                          dir.file(c.output)};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.output;
    Heights got;
    ASSERT_TRUE(readHeights(dir, c.output, &got)) << c.output;
    EXPECT_EQ(got, c.heights) << c.output;
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors, c.errors) << c.output;
    }
  }

  // The picture: the map's size, not one colour for a map that is not flat,
  // one colour for a flat one.
  ASSERT_TRUE(writeFileBytes(dir.file("flat.r16"), rawBytes(Heights(9, 700))));
  for (const char* name : {"in.r16", "flat.r16"}) {
    ProcessResult result = runQuillorn(
        {dir.file(name), dir.file("map.pgm"), "-view", dir.file("view.bmp")});
    EXPECT_EQ(result.exitStatus, 0) << name;
    EXPECT_EQ(result.lines, successLines({})) << name;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(dir.file("view.bmp"), &bytes));
    DecodedImage view;
    std::string why;
    ASSERT_TRUE(decode24(bytes, &view, &why)) << why;
    int32_t side = std::string(name) == "in.r16" ? 2 : 3;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 54),
              newBitmapHeader(side, side));
    EXPECT_EQ(view.width, side);
    EXPECT_EQ(view.rows, side);
    bool even =
        std::equal(view.red.begin() + 1, view.red.end(), view.red.begin()) &&
        std::equal(view.green.begin() + 1, view.green.end(),
                   view.green.begin());
    EXPECT_EQ(even, side == 3) << name;
  }

  // A picture path that is a switch, the input or the output is a usage
  // error, before any file is touched.
  for (const std::string& view :
       {std::string("-smo"), dir.file("in.r16"), dir.file("same.pgm")}) {
    ProcessResult result =
        runQuillorn({dir.file("in.r16"), dir.file("same.pgm"), "-view", view});
    EXPECT_EQ(result.exitStatus, kFailed) << view;
    EXPECT_EQ(result.lines, bannerOnly({kUsage})) << view;
  }
  EXPECT_FALSE(fileExists(dir.file("same.pgm")));
}

// Elevation files become heights as the tool promises: unsigned samples as
// they stand, signed ones shifted, floats and wide spans stretched, -unit's
// steps, nodata at the lowest valid height; standard error says how the
// heights map back, and standard output is as for any other file.
TEST(EndToEndTest, ElevationSamplesBecomeHeights) {
  TempDir dir;
  auto bigEndian = [](const std::vector<int32_t>& samples) {
    std::vector<uint8_t> bytes;
    for (int32_t sample : samples) {
      bytes.push_back(static_cast<uint8_t>(sample >> 8));
      bytes.push_back(static_cast<uint8_t>(sample));
    }
    return bytes;
  };
  auto tiff = [](uint16_t bits, uint16_t format, uint32_t width,
                 std::vector<double> samples, std::string nodata = "") {
    TiffPlan plan;
    plan.width = width;
    plan.height = static_cast<uint32_t>(samples.size()) / width;
    plan.bitsPerSample = bits;
    plan.sampleFormat = format;
    plan.samples = std::move(samples);
    plan.nodata = std::move(nodata);
    return buildTiff(plan);
  };
  // Printed once the heights are written, after the counts of nodata and
  // of clamps.
  auto mapping = [](const std::string& name, const std::string& rest) {
    return "quillorn: " + name + ": heights from its values: " + rest;
  };
  const std::string engine =
      "; -fit unity, unreal or godot says what to enter in the engine\n";
  struct Case {
    const char* what;
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> switches;
    Heights heights;
    std::string errors;  // with NAME for the input's path
  };
  const std::vector<int32_t> tile = {-10, 0, 5, -32768, 20, 7, 3, 3, 100};
  // Filled by default from the valid samples around it: 1 / d^2 weights.
  const std::string oneVoid =
      "quillorn: NAME: 1 sample was nodata (no value): 1 filled from the "
      "valid samples around (within 100)\n";
  std::vector<Case> cases = {
      {"SRTM tile with a void",
       "N47W122.hgt",
       bigEndian(tile),
       {},
       {0, 10, 15, 14, 30, 17, 13, 13, 110},
       oneVoid +
           mapping("NAME", "height 0 = -10, 1 step = 1 unit, height 110 = 100" +
                               engine)},
      // The line describes the heights written, after every stage.
      {"SRTM tile halved by -sca",
       "h.hgt",
       bigEndian(tile),
       {"-sca", "0.5"},
       {0, 5, 7, 7, 15, 8, 6, 6, 55},
       oneVoid +
           mapping("NAME", "height 0 = -10, 1 step = 2 units, height 55 = 100" +
                               engine)},
      {"SRTM tile lifted by -min",
       "m.hgt",
       bigEndian(tile),
       {"-min", "100"},
       {100, 110, 115, 114, 130, 117, 113, 113, 210},
       oneVoid + mapping("NAME",
                         "height 0 = -110, 1 step = 1 unit, height 210 = 100" +
                             engine)},
      {"SRTM tile in steps of 2 m",
       "s.HGT",
       bigEndian(tile),
       {"-unit", "2"},
       {0, 5, 8, 7, 15, 9, 7, 7, 55},
       oneVoid +
           mapping("NAME", "height 0 = -10, 1 step = 2 units, height 55 = 100" +
                               engine)},
      {"SRTM tile clamped by -unit",
       "c.hgt",
       bigEndian({0, 20000, -1, 7}),
       {"-unit", "0.25"},
       {4, 65535, 0, 32},
       "quillorn: warning: 1 height was clamped to what the files hold: "
       "1 above 65535 after -unit; a larger -unit keeps them\n" +
           mapping(
               "NAME",
               "height 0 = -1, 1 step = 0.25 units, height 65535 = 16382.75" +
                   engine)},
  };
  if (toolHasTiff()) {
    const std::vector<Case> tiffs = {
        {"UInt16 as it stands",
         "u16.tif",
         tiff(16, 1, 2, {0, 7, 65535, 300}),
         {},
         {0, 7, 65535, 300},
         ""},
        {"UInt16 with nodata",
         "u16n.tif",
         tiff(16, 1, 2, {5, 7, 65535, 300}, "7"),
         {},
         {5, 13229, 65535, 300},
         "quillorn: NAME: 1 sample was nodata (no value): 1 filled from the "
         "valid samples around (within 100)\n"},
        {"UInt16 nodata kept with -fill 0",
         "u16k.tif",
         tiff(16, 1, 2, {5, 7, 65535, 300}, "7"),
         {"-fill", "0"},
         {5, 5, 65535, 300},
         "quillorn: NAME: 1 sample was nodata (no value); it takes height 5, "
         "the lowest valid sample's\n"},
        {"-unit on UInt16 changes nothing",
         "u16u.tif",
         tiff(16, 1, 2, {0, 7, 65535, 300}),
         {"-unit", "0.5"},
         {0, 7, 65535, 300},
         "quillorn: warning: -unit is ignored: the heights of NAME are its "
         "samples as they stand (unsigned, up to 16 bits)\n"},
        {"Int16 below sea level with nodata",
         "i16.tif",
         tiff(16, 2, 2, {-300, -1, 2, -9999}, "-9999"),
         {},
         {0, 299, 302, 240},
         oneVoid + mapping("NAME",
                           "height 0 = -300, 1 step = 1 unit, height 302 = 2" +
                               engine)},
        {"Int8 shifted",
         "i8.tif",
         tiff(8, 2, 2, {-5, 5}),
         {},
         {0, 10},
         mapping("NAME",
                 "height 0 = -5, 1 step = 1 unit, height 10 = 5" + engine)},
        {"UInt32 spanning 65279 steps is shifted",
         "u32.tif",
         tiff(32, 1, 2, {100000, 165279, 100001, 120000}),
         {},
         {0, 65279, 1, 20000},
         mapping("NAME",
                 "height 0 = 100000, 1 step = 1 unit, height 65279 = 165279" +
                     engine)},
        {"UInt32 spanning 65280 steps is stretched",
         "u32s.tif",
         tiff(32, 1, 2, {0, 65280, 10000, 1}),
         {},
         {0, 65279, 10000, 1},
         mapping("NAME",
                 "height 0 = 0, 1 step = 1.00001532 units, height 65279 = "
                 "65280" +
                     engine)},
        {"Int32 below 0 is shifted, not read unsigned",
         "i32.tif",
         tiff(32, 2, 2, {-3, 60000, -2, 0}),
         {},
         {0, 60003, 1, 3},
         mapping(
             "NAME",
             "height 0 = -3, 1 step = 1 unit, height 60003 = 60000" + engine)},
        {"Float32 nodata a float cannot hold exactly",
         "f32n.tif",
         tiff(32, 3, 2, {-9999.9, 10.0, 20.0, 65289.0}, "-9999.9"),
         {},
         {13060, 0, 10, 65279},
         oneVoid + mapping("NAME",
                           "height 0 = 10, 1 step = 1 unit, height 65279 = "
                           "65289" +
                               engine)},
        {"Float32 infinities as nodata",
         "f32i.tif",
         tiff(32, 3, 2,
              {std::numeric_limits<double>::infinity(), 1.0,
               -std::numeric_limits<double>::infinity(), 65280.0}),
         {},
         {21760, 0, 43519, 65279},
         "quillorn: NAME: 2 samples were nodata (no value): 2 filled from "
         "the valid samples around (within 100)\n" +
             mapping("NAME",
                     "height 0 = 1, 1 step = 1 unit, height 65279 = 65280" +
                         engine)},
        {"3 x 3 in one 16384 x 16384 tile, its rows below left out",
         "bigtile.tif",
         [] {
           TiffPlan plan;
           plan.width = 3;
           plan.height = 3;
           plan.tileWidth = 16384;
           plan.tileHeight = 16384;
           plan.samples = {1, 2, 3, 40, 50, 60, 700, 800, 900};
           return buildTiff(plan);
         }(),
         {},
         {1, 2, 3, 40, 50, 60, 700, 800, 900},
         ""},
        {"Float32 stretched, NaN as nodata",
         "f32.tif",
         tiff(32, 3, 2, {0.5, 1.0, std::nan(""), 2.5}),
         {},
         {0, 16320, 29376, 65279},
         oneVoid +
             mapping("NAME",
                     "height 0 = 0.5, 1 step = 3.06377242e-05 units, height "
                     "65279 = 2.5" +
                         engine)},
        {"Float64 in steps of 0.25",
         "f64.tif",
         tiff(64, 3, 2, {-1.0, 0.0, 0.6, 2.0}),
         {"-unit", "0.25"},
         {0, 4, 6, 12},
         mapping("NAME",
                 "height 0 = -1, 1 step = 0.25 units, height 12 = 2" + engine)},
        {"-unit too fine clamps",
         "i16c.tif",
         tiff(16, 2, 2, {0, 1000}),
         {"-unit", "0.01"},
         {0, 65535},
         "quillorn: warning: 1 height was clamped to what the files "
         "hold: 1 above 65535 after -unit; a larger -unit keeps them\n" +
             mapping("NAME",
                     "height 0 = 0, 1 step = 0.01 units, height 65535 = "
                     "655.35" +
                         engine)},
        // Values far from 0 keep the digits that tell neighbours apart.
        {"Int32 far below 0",
         "i32.tif",
         tiff(32, 2, 2, {-1230000001, -1230000000}),
         {},
         {0, 1},
         mapping("NAME",
                 "height 0 = -1230000001, 1 step = 1 unit, height 1 = "
                 "-1.23e+09" +
                     engine)},
        // A span beyond a double's range stretches to finite heights.
        {"Float64 spanning -1.7e308 ... 1.7e308",
         "f64big.tif",
         tiff(64, 3, 2, {-1.7e308, 1.7e308, 0.0, -1.7e308}),
         {},
         {0, 65279, 32640, 0},
         mapping("NAME",
                 "height 0 = -1.7e+308, 1 step = 5.20841312e+303 units, "
                 "height 65279 = 1.7e+308" +
                     engine)},
    };
    cases.insert(cases.end(), tiffs.begin(), tiffs.end());
  }
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFileBytes(dir.file(c.name), c.bytes));
    std::vector<std::string> arguments = {dir.file(c.name),
                                          dir.file("out.r16")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.what;
    Lines processing;
    for (size_t at = 0; at + 1 < c.switches.size(); ++at) {
      if (c.switches[at] == "-min") {
        processing.push_back("Minimum elevation " + c.switches[at + 1]);
      }
    }
    EXPECT_EQ(result.lines, successLines(processing)) << c.what;
    std::string errors = c.errors;
    for (size_t at; (at = errors.find("NAME")) != std::string::npos;) {
      errors.replace(at, 4, dir.file(c.name));
    }
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors, errors) << c.what;
    }
    Heights got;
    ASSERT_TRUE(readHeights(dir, "out.r16", &got)) << c.what;
    EXPECT_EQ(got, c.heights) << c.what;
  }
}

// Raw heights in big-endian order read with -order big as their
// little-endian twin does, and say so when -order is missing; -order big
// writes them big-endian.
TEST(EndToEndTest, RawHeightsInEitherByteOrder) {
  TempDir dir;
  // Large enough for the terrain to be smooth from pixel to pixel.
  const int32_t side = 64;
  const Heights heights = makeTerrain(side, side, 65279, 3);
  std::vector<uint8_t> little = rawBytes(heights), big = little;
  for (size_t at = 0; at + 1 < big.size(); at += 2) {
    std::swap(big[at], big[at + 1]);
  }
  ASSERT_TRUE(writeFileBytes(dir.file("le.r16"), little));
  ASSERT_TRUE(writeFileBytes(dir.file("be.raw"), big));
  ProcessResult plain = runQuillorn({dir.file("le.r16"), dir.file("le.bmp")});
  ProcessResult ordered =
      runQuillorn({dir.file("be.raw"), dir.file("be.bmp"), "-order", "big"});
  EXPECT_EQ(plain.exitStatus, 0);
  EXPECT_EQ(ordered.exitStatus, 0);
  EXPECT_EQ(ordered.lines, plain.lines);
  std::vector<uint8_t> a, b;
  ASSERT_TRUE(readFileBytes(dir.file("le.bmp"), &a));
  ASSERT_TRUE(readFileBytes(dir.file("be.bmp"), &b));
  EXPECT_TRUE(a == b);
  struct Warned {
    std::string input;
    std::vector<std::string> switches;
    std::string errors;
  };
  const Warned warned[] = {
      {"be.raw",
       {},
       "quillorn: warning: the heights look like noise read little-endian "
       "and like terrain read big-endian: if they come from a Mac or a tool "
       "that writes big-endian raw heights, add -order big\n"},
      {"le.r16",
       {"-order", "big"},
       "quillorn: warning: the heights look like noise read big-endian and "
       "like terrain read little-endian: add -order little\n"},
      {"le.r16", {}, ""},
  };
  for (const Warned& w : warned) {
    std::vector<std::string> arguments = {dir.file(w.input), dir.file("w.pgm")};
    arguments.insert(arguments.end(), w.switches.begin(), w.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << w.input;
    EXPECT_EQ(result.lines, successLines({})) << w.input;
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors, w.errors) << w.input;
    }
  }
  // Out in big-endian order, from a format that is not raw.
  ASSERT_EQ(
      runQuillorn({dir.file("le.bmp"), dir.file("out.r16"), "-order", "big"})
          .exitStatus,
      0);
  std::vector<uint8_t> written;
  ASSERT_TRUE(readFileBytes(dir.file("out.r16"), &written));
  EXPECT_TRUE(written == big);
}

// -channel on RGBA TIFFs of 16 bits and floats: each channel, and the
// luma rounded to the samples' depth.
TEST(EndToEndTest, ColourTiffsAreReadByTheChannelPicked) {
  if (!toolHasTiff()) GTEST_SKIP() << "the tool was built without TIFF";
  TempDir dir;
  // Two pixels of red, green, blue, alpha.
  const std::vector<double> rgba = {1000, 2000, 30000, 65535,
                                    7,    65000, 3,    12};
  struct Case {
    uint16_t bits;
    uint16_t format;
    std::string channel;
    Heights expected;
  };
  const Case cases[] = {
      {16, 1, "red", {1000, 7}},
      {16, 1, "green", {2000, 65000}},
      {16, 1, "blue", {30000, 3}},
      {16, 1, "alpha", {65535, 12}},
      // 0.2126 x 1000 + 0.7152 x 2000 + 0.0722 x 30000 = 3809;
      // 0.2126 x 7 + 0.7152 x 65000 + 0.0722 x 3 = 46489.6948.
      {16, 1, "luma", {3809, 46490}},
      // Floats keep the luma's fraction until they are stretched.
      {32, 3, "luma", {0, 65279}},
  };
  for (const Case& c : cases) {
    TiffPlan plan;
    plan.width = 2;
    plan.height = 1;
    plan.bitsPerSample = c.bits;
    plan.sampleFormat = c.format;
    plan.samplesPerPixel = 4;
    plan.photometric = 2;
    plan.samples = rgba;
    ASSERT_TRUE(writeFileBytes(dir.file("c.tif"), buildTiff(plan)));
    ProcessResult result = runQuillorn(
        {dir.file("c.tif"), dir.file("c.r16"), "-channel", c.channel});
    const std::string label = std::to_string(c.bits) + " " + c.channel;
    ASSERT_EQ(result.exitStatus, 0) << label << "\n" << result.errors;
    Heights heights;
    ASSERT_TRUE(readHeights(dir, "c.r16", &heights));
    EXPECT_EQ(heights, c.expected) << label;
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors.rfind("quillorn: warning: " + dir.file("c.tif") +
                                        ": the heights are ",
                                    0),
                0u)
          << label << "\n" << result.errors;
    }
  }
  // A grey TIFF: the channel asked for is its one, said so.
  TiffPlan grey;
  grey.width = 2;
  grey.samples = {40000, 9};
  ASSERT_TRUE(writeFileBytes(dir.file("g.tif"), buildTiff(grey)));
  ProcessResult result = runQuillorn(
      {dir.file("g.tif"), dir.file("g.r16"), "-channel", "luma"});
  ASSERT_EQ(result.exitStatus, 0) << result.errors;
  Heights heights;
  ASSERT_TRUE(readHeights(dir, "g.r16", &heights));
  EXPECT_EQ(heights, (Heights{40000, 9}));
  if (!throughLauncher()) {
    EXPECT_EQ(result.errors, "quillorn: warning: -channel is ignored: " +
                                 dir.file("g.tif") +
                                 " is not a colour PNG, TIFF or OpenEXR; its "
                                 "one channel is read\n");
  }
}

// A map fitted to an engine: flips and turns as numpy's, resampled to a
// size, cut into tiles that share their edges and reassemble into the
// untiled result, named as each engine counts them, replaced together;
// every refusal before any work.
TEST(EndToEndTest, MapsTakeTheEnginesShapes) {
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("r.r16"), rawBytes({1, 2, 3, 4, 5, 6})));
  struct Turned {
    std::vector<std::string> switches;
    Heights heights;
  };
  const Turned turned[] = {
      {{"-rotate", "90"}, {4, 1, 5, 2, 6, 3}},
      {{"-rotate", "270"}, {3, 6, 2, 5, 1, 4}},
      {{"-flip", "horizontal"}, {3, 2, 1, 6, 5, 4}},
      {{"-rotate", "90", "-flip", "vertical"}, {6, 3, 5, 2, 4, 1}},
  };
  for (const Turned& t : turned) {
    std::vector<std::string> arguments = {dir.file("r.r16"), dir.file("o.r16"),
                                          "-dim", "3x2"};
    arguments.insert(arguments.end(), t.switches.begin(), t.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << t.switches[1];
    EXPECT_EQ(result.lines, successLines({})) << t.switches[1];
    Heights got;
    ASSERT_TRUE(readHeights(dir, "o.r16", &got));
    EXPECT_EQ(got, t.heights) << t.switches[1];
  }

  // Tiles of 5 x 4 sharing their edges make the 9 x 7 whole.
  const int32_t width = 9, height = 7;
  const Heights heights = makeTerrain(width, height, 60000, 6);
  ASSERT_TRUE(writeFileBytes(dir.file("in.r16"), rawBytes(heights)));
  ProcessResult whole = runQuillorn(
      {dir.file("in.r16"), dir.file("w.r16"), "-dim", "9x7", "-smo", "1"});
  ProcessResult tiled =
      runQuillorn({dir.file("in.r16"), dir.file("t.r16"), "-dim", "9x7", "-smo",
                   "1", "-tiles", "2x2"});
  EXPECT_EQ(tiled.exitStatus, 0);
  EXPECT_EQ(tiled.lines, whole.lines);
  EXPECT_FALSE(fileExists(dir.file("t.r16")));
  Heights all;
  ASSERT_TRUE(readHeights(dir, "w.r16", &all));
  for (int32_t j = 0; j < 2; ++j) {
    for (int32_t i = 0; i < 2; ++i) {
      std::string name =
          "t_x" + std::to_string(i) + "_y" + std::to_string(j) + ".r16";
      Heights tile;
      ASSERT_TRUE(readHeights(dir, name, &tile)) << name;
      ASSERT_EQ(tile.size(), 20u) << name;
      for (int32_t row = 0; row < 4; ++row) {
        for (int32_t column = 0; column < 5; ++column) {
          EXPECT_EQ(
              tile[static_cast<size_t>(row * 5 + column)],
              all[static_cast<size_t>((j * 3 + row) * width + i * 4 + column)])
              << name << " " << row << " " << column;
        }
      }
    }
  }

  // One tile is a tile, named as one; a picture may not replace a tile.
  ProcessResult one = runQuillorn({dir.file("in.r16"), dir.file("one.r16"),
                                   "-dim", "9x7", "-tiles", "1x1"});
  EXPECT_EQ(one.exitStatus, 0);
  EXPECT_FALSE(fileExists(dir.file("one.r16")));
  Heights single;
  ASSERT_TRUE(readHeights(dir, "one_x0_y0.r16", &single));
  EXPECT_EQ(single, heights);
  ProcessResult overTile =
      runQuillorn({dir.file("in.r16"), dir.file("p.r16"), "-dim", "9x7",
                   "-tiles", "2x2", "-view", dir.file("p_x1_y0.r16")});
  EXPECT_EQ(overTile.exitStatus, kFailed);
  EXPECT_EQ(overTile.lines, withBanner({kUsage}));
  if (!throughLauncher()) {
    EXPECT_EQ(overTile.errors.rfind("quillorn: " + dir.file("p_x1_y0.r16") +
                                        ": the picture would replace a tile; "
                                        "name another picture\n",
                                    0),
              0u)
        << overTile.errors;
  }
  EXPECT_FALSE(fileExists(dir.file("p_x0_y0.r16")));

  // Unity's tiles count x from the left and z from the bottom, each file
  // south row first; the lines on standard error say what to set.
  ProcessResult unity =
      runQuillorn({dir.file("in.r16"), dir.file("u.raw"), "-dim", "9x7", "-fit",
                   "unity", "-tiles", "2x2", "-filter", "linear"});
  ProcessResult sized =
      runQuillorn({dir.file("in.r16"), dir.file("s.r16"), "-dim", "9x7",
                   "-size", "65x65", "-filter", "linear"});
  EXPECT_EQ(unity.exitStatus, 0);
  EXPECT_EQ(unity.lines, sized.lines);
  if (!throughLauncher()) {
    EXPECT_EQ(unity.errors,
              "quillorn: for Unity's Terrain Toolbox (Create New Terrain, "
              "Import Heightmap, Batch mode): the tiles " +
                  dir.file("u_<x>_<z>.raw") +
                  ", x from the west and z from the south, each file's "
                  "first row its south edge:\n"
                  "quillorn:   Tile X Axis 2\n"
                  "quillorn:   Tile Z Axis 2\n"
                  "quillorn:   Depth 16 bit\n"
                  "quillorn:   Heightmap Resolution 33\n"
                  "quillorn:   Byte Order Windows\n"
                  "quillorn:   Total Terrain Width 8\n"
                  "quillorn:   Total Terrain Length 6\n"
                  "quillorn: the map's heights have no units: set the "
                  "terrain's height to what its highest point should stand "
                  "at\n"
                  "quillorn: (Width and Length: one unit a pixel of the map; "
                  "any sizes in that proportion keep its shape)\n");
  }
  Heights big, bottomLeft;
  ASSERT_TRUE(readHeights(dir, "s.r16", &big));
  ASSERT_TRUE(readHeights(dir, "u_0_0.raw", &bottomLeft));
  ASSERT_EQ(bottomLeft.size(), 33u * 33u);
  // The bottom-left tile, its rows from the south: file row r is row 64 - r
  // of the whole.
  for (int32_t row = 0; row < 33; ++row) {
    for (int32_t column = 0; column < 33; ++column) {
      EXPECT_EQ(bottomLeft[static_cast<size_t>(row * 33 + column)],
                big[static_cast<size_t>((64 - row) * 65 + column)])
          << row << " " << column;
    }
  }

  // A tile that cannot be written replaces none of the others.
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  for (const char* name : {"t_x0_y0.r16", "t_x1_y0.r16", "t_x0_y1.r16"}) {
    ASSERT_TRUE(writeFileBytes(dir.file(name), old));
  }
  ASSERT_TRUE(std::remove(dir.file("t_x1_y1.r16").c_str()) == 0);
  ASSERT_TRUE(std::filesystem::create_directory(dir.file("t_x1_y1.r16")));
  ProcessResult blocked = runQuillorn(
      {dir.file("in.r16"), dir.file("t.r16"), "-dim", "9x7", "-tiles", "2x2"});
  EXPECT_EQ(blocked.exitStatus, kFailed);
  ASSERT_FALSE(blocked.lines.empty());
  EXPECT_EQ(blocked.lines.back(), "ERROR: Output file cannot be created");
  for (const char* name : {"t_x0_y0.r16", "t_x1_y0.r16", "t_x0_y1.r16"}) {
    std::vector<uint8_t> kept;
    ASSERT_TRUE(readFileBytes(dir.file(name), &kept));
    EXPECT_EQ(kept, old) << name;
  }
  for (const std::string& name : folderNames(dir.path())) {
    EXPECT_NE(name[0], '.') << "a temporary was left: " << name;
  }
  // 64 tiles within 24 open files: each tile is closed once whole.
  if (!throughLauncher()) {
    ASSERT_TRUE(writeFileBytes(dir.file("nine.r16"), rawBytes(Heights(81, 7))));
    ChildSetup fewFiles;
    fewFiles.openFiles = 24;
    ProcessResult many = runQuillornWith(
        {dir.file("nine.r16"), dir.file("m.r16"), "-tiles", "8x8"}, fewFiles);
    EXPECT_EQ(many.exitStatus, 0) << many.errors;
    Heights last;
    ASSERT_TRUE(readHeights(dir, "m_x7_y7.r16", &last));
    EXPECT_EQ(last, Heights(4, 7));
  }
  // A tile after the first that fails while written (a full device) names
  // itself on standard error, and the first is not left either.
  if (fileExists("/dev/full") && !throughLauncher()) {
    std::filesystem::create_symlink("/dev/full", dir.file("f_x1_y0.r16"));
    ProcessResult full = runQuillorn({dir.file("in.r16"), dir.file("f.r16"),
                                      "-dim", "9x7", "-tiles", "2x2"});
    EXPECT_EQ(full.exitStatus, kFailed);
    ASSERT_FALSE(full.lines.empty());
    EXPECT_EQ(full.lines.back(),
              "ERROR: Cannot write the output file: No space left on device");
    EXPECT_EQ(full.errors, "quillorn: " + dir.file("f_x1_y0.r16") +
                               ": No space left on device\n");
    EXPECT_FALSE(fileExists(dir.file("f_x0_y0.r16")));
  }

  // A GeoTIFF's georeferencing moves with its pixels: each output pixel's
  // centre, placed by the output's tags (a pixel scale and tiepoint, or a
  // transformation once turned), falls on the centre of the source pixel
  // its height came from; resampled, the corners stay on the corners.
  if (toolHasTiff()) {
    TiffPlan geo;
    geo.width = 4;
    geo.height = 4;
    for (int32_t value = 0; value < 16; ++value) geo.samples.push_back(value);
    geo.pixelScale = {30, 20, 0};
    geo.tiepoints = {0, 0, 0, 500000, 4000000, 0};
    ASSERT_TRUE(writeFileBytes(dir.file("geo.tif"), buildTiff(geo)));
    struct Placed {
      std::vector<std::string> switches;
      std::string written;  // the file to look at
      bool turned;          // placed by a transformation
      bool resampled;       // only the corners are checked
    };
    const Placed placed[] = {
        {{}, "g.tif", false, false},
        {{"-rotate", "90"}, "g.tif", true, false},
        {{"-rotate", "180"}, "g.tif", true, false},
        {{"-flip", "vertical"}, "g.tif", true, false},
        {{"-rotate", "270", "-flip", "horizontal"}, "g.tif", true, false},
        {{"-size", "7x7"}, "g.tif", false, true},
        {{"-tiles", "3x3"}, "g_x2_y1.tif", false, false},
    };
    for (const Placed& p : placed) {
      std::vector<std::string> arguments = {dir.file("geo.tif"),
                                            dir.file("g.tif")};
      arguments.insert(arguments.end(), p.switches.begin(), p.switches.end());
      std::remove(dir.file("g.tif").c_str());
      ASSERT_EQ(runQuillorn(arguments).exitStatus, 0) << p.written;
      std::vector<uint8_t> bytes;
      ASSERT_TRUE(readFileBytes(dir.file(p.written), &bytes)) << p.written;
      const std::string what =
          p.switches.empty() ? "the same grid" : p.switches[0];
      const std::vector<double> scale = tiffDoubles(bytes, 33550);
      const std::vector<double> ties = tiffDoubles(bytes, 33922);
      const std::vector<double> matrix = tiffDoubles(bytes, 34264);
      ASSERT_EQ(matrix.size(), p.turned ? 16u : 0u) << what;
      ASSERT_EQ(scale.size(), p.turned ? 0u : 3u) << what;
      ASSERT_EQ(ties.size(), p.turned ? 0u : 6u) << what;
      // Model x, y of raster x, y in the output.
      auto model = [&](double x, double y) {
        if (p.turned) {
          return std::make_pair(matrix[0] * x + matrix[1] * y + matrix[3],
                                matrix[4] * x + matrix[5] * y + matrix[7]);
        }
        return std::make_pair(ties[3] + (x - ties[0]) * scale[0],
                              ties[4] - (y - ties[1]) * scale[1]);
      };
      Heights got;
      ASSERT_TRUE(readHeights(dir, p.written, &got)) << what;
      const int32_t side =
          static_cast<int32_t>(std::lround(std::sqrt(got.size())));
      for (int32_t row = 0; row < side; ++row) {
        for (int32_t column = 0; column < side; ++column) {
          const bool corner = (row == 0 || row == side - 1) &&
                              (column == 0 || column == side - 1);
          if (p.resampled && !corner) continue;
          const auto at = model(column + 0.5, row + 0.5);
          // The source pixel there: x = 500000 + 30 u, y = 4000000 - 20 v.
          const double u = (at.first - 500000) / 30 - 0.5;
          const double v = (4000000 - at.second) / 20 - 0.5;
          ASSERT_NEAR(u, std::round(u), 1e-6) << what;
          ASSERT_NEAR(v, std::round(v), 1e-6) << what;
          EXPECT_EQ(got[static_cast<size_t>(row * side + column)],
                    std::lround(v) * 4 + std::lround(u))
              << what << " at " << row << ", " << column;
        }
      }
    }
  }

  // A bitmap on a new grid keeps the encoding's bytes, blue from the
  // nearest pixel, in a new header.
  BitmapPlan plan;
  plan.width = 2;
  plan.height = 1;
  plan.pixels = {7, 0, 100, 9, 1, 200};  // blue, green, red
  ASSERT_TRUE(writeFileBytes(dir.file("b.bmp"), buildBitmap(plan)));
  ASSERT_EQ(runQuillorn({dir.file("b.bmp"), dir.file("b3.bmp"), "-size", "3x1",
                         "-filter", "linear"})
                .exitStatus,
            0);
  std::vector<uint8_t> resized;
  ASSERT_TRUE(readFileBytes(dir.file("b3.bmp"), &resized));
  std::vector<uint8_t> want = newBitmapHeader(3, 1);
  // 100, the mean of 100 and 455 (rounded up), 455: blue of the nearest.
  want.insert(want.end(), {7, 0, 100, 9, 1, 23, 9, 1, 200, 0, 0, 0});
  EXPECT_EQ(resized, want);

  // Refusals before any work: the ERROR line, nothing written.
  ASSERT_TRUE(
      writeFileBytes(dir.file("long.r16"), rawBytes(Heights(5000, 10))));
  struct Refused {
    std::vector<std::string> switches;
    std::string line;
  };
  const Refused refused[] = {
      {{"-size", "0x5"}, "ERROR: Invalid size after -size"},
      {{"-size", "9x7", "-filter", "sinc"},
       "ERROR: Invalid filter after -filter, should be cubic, linear, box, "
       "mitchell or bspline"},
      {{"-flip", "diagonal"},
       "ERROR: Invalid value after -flip, should be horizontal or vertical"},
      {{"-rotate", "45"}, "ERROR: Invalid value after -rotate"},
      {{"-fit", "godo"},
       "ERROR: Invalid engine after -fit, should be unity, unreal or godot"},
      {{"-tiles", "0x2"}, "ERROR: Invalid tiles after -tiles"},
      {{"-tiles", "3x2"},
       "ERROR: -tiles 3x2 cannot cut 9 x 7 pixels into tiles sharing their "
       "edges"},
      {{"-tiles", "40x40"}, "ERROR: Too many tiles: -tiles 40x40"},
  };
  for (const Refused& r : refused) {
    std::vector<std::string> arguments = {dir.file("in.r16"),
                                          dir.file("no.r16"), "-dim", "9x7"};
    arguments.insert(arguments.end(), r.switches.begin(), r.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, kFailed) << r.line;
    ASSERT_FALSE(result.lines.empty());
    EXPECT_EQ(result.lines.back().rfind(r.line, 0), 0u) << result.lines.back();
  }
  // A map larger than the engine takes its largest size, warned about.
  ProcessResult tooLong = runQuillorn({dir.file("long.r16"), dir.file("l.raw"),
                                       "-dim", "5000x1", "-fit", "unity"});
  EXPECT_EQ(tooLong.exitStatus, 0);
  EXPECT_EQ(tooLong.lines, successLines({}));
  if (!throughLauncher()) {
    EXPECT_EQ(tooLong.errors.rfind(
                  "quillorn: warning: a 5000 x 1 map is larger than Unity's "
                  "largest size (4097), so it is reduced to 4097 x 4097 and "
                  "loses detail; -tiles 2x1 keeps it\n",
                  0),
              0u)
        << tooLong.errors;
  }
  EXPECT_EQ(std::filesystem::file_size(dir.file("l.raw")), 2u * 4097 * 4097);
  // A side of one pixel is no tiles.
  ProcessResult thin =
      runQuillorn({dir.file("long.r16"), dir.file("no.r16"), "-dim", "5000x1",
                   "-fit", "unity", "-tiles", "1x2"});
  EXPECT_EQ(thin.exitStatus, kFailed);
  EXPECT_EQ(thin.lines,
            withBanner({"ERROR: -tiles 1x2 cannot cut a 5000 x 1 map: a side "
                        "of one pixel is one tile (-tiles 1x1)"}));
  EXPECT_FALSE(fileExists(dir.file("no_0_0.r16")));
}

// A build run through a launcher (the Windows build under Wine) writes what
// the build beside the tests writes, in every format and for the picture in
// both kinds: the same bytes, PNG too where both link the same libraries
// (their --version lines agree), and the same heights where they do not.
TEST(EndToEndTest, WritesWhatTheNativeBuildWrites) {
  if (!throughLauncher()) {
    GTEST_SKIP() << "compares a build run through QUILLORN_TEST_LAUNCHER "
                    "with the native one";
  }
  TempDir dir;
  ChildSetup native;
  native.native = true;
  // A format's bytes are its libraries': they must match where both
  // builds name the same ones for it ("PNG (...)", "TIFF (...)").
  const std::vector<std::string> nativeVersion =
      runQuillornWith({"--version"}, native).lines;
  const std::vector<std::string> testedVersion =
      runQuillorn({"--version"}).lines;
  auto sameLibrariesFor = [&](const std::string& format) {
    auto entry = [&](const std::vector<std::string>& lines) {
      if (lines.size() < 2) return std::string();
      const size_t start = lines[1].find(format + " (");
      if (start == std::string::npos) return std::string();
      return lines[1].substr(start, lines[1].find(')', start) - start);
    };
    return !entry(nativeVersion).empty() &&
           entry(nativeVersion) == entry(testedVersion);
  };
  Heights heights;
  for (int32_t index = 0; index < 37 * 23; ++index) {
    heights.push_back((index * 2654435761u >> 8) % 65280);
  }
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), bitmapBytes(37, 23, heights)));
  std::vector<std::string> inputs = {dir.file("in.bmp")};
  if (toolHasTiff()) {
    // Float metres, stretched over the heights the same way on both.
    TiffPlan plan;
    plan.width = 37;
    plan.height = 23;
    plan.bitsPerSample = 32;
    plan.sampleFormat = 3;
    for (int32_t value : heights) plan.samples.push_back(value / 7.3 - 120);
    ASSERT_TRUE(writeFileBytes(dir.file("in.tif"), buildTiff(plan)));
    inputs.push_back(dir.file("in.tif"));
  }
  {
    // The same floats in a PFM (rows bottom first, little-endian).
    const std::string header = "Pf\n37 23\n-1.0\n";
    std::vector<uint8_t> pfm(header.begin(), header.end());
    for (int32_t row = 22; row >= 0; --row) {
      for (int32_t column = 0; column < 37; ++column) {
        const float value = static_cast<float>(
            heights[static_cast<size_t>(row * 37 + column)] / 7.3 - 120);
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        for (int shift = 0; shift < 32; shift += 8) {
          pfm.push_back(static_cast<uint8_t>(bits >> shift));
        }
      }
    }
    ASSERT_TRUE(writeFileBytes(dir.file("in.pfm"), pfm));
    inputs.push_back(dir.file("in.pfm"));
  }
  std::string data = sharedTestData();
  if (!data.empty() && toolHasPng()) {
    inputs.push_back(data + "/heightmaps/puget_sound_1025_16bit.png");
  }
  // Resampled, turned, tiled and fitted to each engine the same way on
  // both, the engines' own files included.
  struct Shaped {
    std::string output;
    std::vector<std::string> switches;
    std::vector<std::string> files;
  };
  const Shaped shapes[] = {
      {"_tile.r16",
       {"-size", "9x7", "-rotate", "90", "-tiles", "2x2"},
       {"_tile_x0_y0.r16", "_tile_x1_y0.r16", "_tile_x0_y1.r16",
        "_tile_x1_y1.r16"}},
      {"_u.raw",
       {"-fit", "unity", "-tiles", "2x1"},
       {"_u_0_0.raw", "_u_1_0.raw"}},
      {"_ue.raw", {"-fit", "unreal"}, {"_ue.raw", "_ue.json"}},
      {"_g.raw", {"-fit", "godot", "-flip", "vertical"}, {"_g.raw"}},
  };
  for (const Shaped& shape : shapes) {
    for (const std::string& side :
         {std::string("native"), std::string("tested")}) {
      std::vector<std::string> arguments = {dir.file("in.bmp"),
                                            dir.file(side + shape.output)};
      arguments.insert(arguments.end(), shape.switches.begin(),
                       shape.switches.end());
      ProcessResult result = side == "native"
                                 ? runQuillornWith(arguments, native)
                                 : runQuillorn(arguments);
      EXPECT_EQ(result.exitStatus, 0) << side << shape.output;
    }
    for (const std::string& file : shape.files) {
      std::vector<uint8_t> want, have;
      ASSERT_TRUE(readFileBytes(dir.file("native" + file), &want)) << file;
      ASSERT_TRUE(readFileBytes(dir.file("tested" + file), &have)) << file;
      EXPECT_TRUE(want == have) << file;
    }
  }
  // Raw floats: each height's value, computed the same way on both.
  std::vector<std::string> outputs = {"bmp", "r16", "pgm", "r32"};
  if (toolHasPng()) outputs.push_back("png");
  if (toolHasTiff()) outputs.push_back("tif");
  for (const std::string& input : inputs) {
    for (const std::string& format : outputs) {
      const std::string picture = format == "png" ? "bmp" : "png";
      if (picture == "png" && !toolHasPng()) continue;
      auto run = [&](const std::string& side, bool nativeBuild) {
        std::vector<std::string> arguments = {
            input,   dir.file(side + "." + format),
            "-smo",  "1",
            "-min",  "3",
            "-view", dir.file(side + "_view." + picture)};
        return nativeBuild ? runQuillornWith(arguments, native)
                           : runQuillorn(arguments);
      };
      const std::string what = input + " -> " + format;
      ProcessResult expected = run("native", true);
      ProcessResult got = run("tested", false);
      ASSERT_EQ(expected.exitStatus, 0) << what;
      EXPECT_EQ(got.exitStatus, 0) << what;
      EXPECT_EQ(got.lines, expected.lines) << what;
      for (const std::string& suffix : {"." + format, "_view." + picture}) {
        std::vector<uint8_t> want, have;
        ASSERT_TRUE(readFileBytes(dir.file("native" + suffix), &want));
        ASSERT_TRUE(readFileBytes(dir.file("tested" + suffix), &have));
        // PNG and TIFF bytes are those of the libraries linked.
        const std::string ending = suffix.substr(suffix.size() - 4);
        bool library = ending == ".png" || ending == ".tif";
        const bool same =
            sameLibrariesFor(ending == ".png" ? "PNG" : "TIFF");
        if (!library || same) {
          EXPECT_TRUE(want == have) << what << ": " << suffix;
        } else if (suffix == "." + format) {
          Heights wantHeights, haveHeights;
          ASSERT_TRUE(readHeights(dir, "native" + suffix, &wantHeights));
          ASSERT_TRUE(readHeights(dir, "tested" + suffix, &haveHeights));
          EXPECT_EQ(wantHeights, haveHeights) << what;
        }
      }
    }
  }
}

}  // namespace
