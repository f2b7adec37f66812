// Runs the built quillorn on raw, PGM, PNG and BMP height maps and checks
// what reaches each format, byte for byte, with the tests' own readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "test_support.h"

#ifdef QUILLORN_TEST_PNG
#include <spng.h>
#endif

namespace {

using Heights = std::vector<int32_t>;

// True when the tool under test was built with PNG support.
bool toolHasPng() {
  static const bool has = [] {
    ProcessResult version = runQuillorn({"--version"});
    return version.lines.size() == 2 &&
           version.lines[1].find("PNG (") != std::string::npos;
  }();
  return has;
}

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

// The heights of a file the tool wrote, rows top first, read by the tests'
// own readers (a PNG through the tool's conversion to raw, which the corpus
// test holds to Pillow's reading).
bool readHeights(const TempDir& dir, const std::string& name, Heights* out) {
  std::vector<uint8_t> bytes;
  std::string path = dir.file(name);
  out->clear();
  if (name.size() > 4 && name.substr(name.size() - 4) == ".png") {
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
  std::vector<std::string> chain = {"all.r16", "all.pgm", "b.r16"};
  if (toolHasPng()) chain = {"all.r16", "all.pgm", "all.png", "b.r16"};
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
}

#ifdef QUILLORN_TEST_PNG
// A greyscale PNG of heights (rows top first) in depth bits (8 or 16),
// interlaced or not, written by libspng itself.
std::vector<uint8_t> libraryPng(int32_t width, int32_t height,
                                const Heights& heights, int depth,
                                bool interlaced) {
  std::vector<uint8_t> samples;
  for (int32_t value : heights) {
    if (depth == 16) samples.push_back(static_cast<uint8_t>(value >> 8));
    samples.push_back(static_cast<uint8_t>(value));
  }
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
  struct spng_ihdr header = {};
  header.width = static_cast<uint32_t>(width);
  header.height = static_cast<uint32_t>(height);
  header.bit_depth = static_cast<uint8_t>(depth);
  header.color_type = SPNG_COLOR_TYPE_GRAYSCALE;
  header.interlace_method = interlaced ? SPNG_INTERLACE_ADAM7 : 0;
  std::vector<uint8_t> file;
  // Big-endian samples, as the file stores them.
  if (spng_set_ihdr(context, &header) == 0 &&
      spng_encode_image(context, samples.data(), samples.size(), SPNG_FMT_RAW,
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
// Adam7 lands where it belongs, the earlier passes' pixels kept.
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
    for (bool interlaced : {false, true}) {
      std::string what =
          std::to_string(depth) + " bits" + (interlaced ? ", interlaced" : "");
      ASSERT_TRUE(writeFileBytes(
          dir.file("in.png"),
          libraryPng(width, height, expected, depth, interlaced)))
          << what;
      ProcessResult result =
          runQuillorn({dir.file("in.png"), dir.file("out.r16")});
      EXPECT_EQ(result.exitStatus, 0) << what;
      std::vector<uint8_t> raw;
      ASSERT_TRUE(readFileBytes(dir.file("out.r16"), &raw)) << what;
      EXPECT_EQ(raw, rawBytes(expected)) << what;
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
  if (toolHasPng()) {
    formats.push_back("png");
    ASSERT_EQ(
        runQuillorn({dir.file("in.r16"), dir.file("in.png"), "-dim", "23x17"})
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
  std::vector<uint8_t> cutShort = pgmBytes(2, 2, four);
  cutShort.pop_back();
  auto text = [](const std::string& body) {
    return std::vector<uint8_t>(body.begin(), body.end());
  };
  std::vector<Case> cases = {
      {"maxval 0",
       "a.pgm",
       pgmBytes(2, 2, four, "P5 2 2 0\n"),
       {},
       "ERROR: Malformed PGM header: its maxval 0 is not in 1 ... 65535"},
      {"maxval past 16 bits",
       "a.pgm",
       pgmBytes(2, 2, four, "P5 2 2 70000\n"),
       {},
       "ERROR: Malformed PGM header: its maxval 70000"},
      {"no size",
       "a.pgm",
       text("P5\n# only a comment\n"),
       {},
       "ERROR: Malformed PGM header: it ends too early"},
      {"letters for a size",
       "a.pgm",
       text("P5 two 2 255\n"),
       {},
       "ERROR: Malformed PGM header: a number is expected"},
      {"samples cut short",
       "a.pgm",
       cutShort,
       {},
       "ERROR: Malformed PGM: its 2 x 2 samples of 2 bytes do not fit"},
      {"text samples cut short",
       "a.pgm",
       text("P2 2 2 9\n1 2 3    "),
       {},
       "ERROR: Malformed PGM: it ends too early after 3 of its 4 samples"},
      {"text sample above the maxval",
       "a.pgm",
       text("P2 2 2 9\n1 2\n9 10\n"),
       {},
       "ERROR: Malformed PGM: the sample at row 2, column 2 is 10, above its "
       "maxval 9"},
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
       "ERROR: Input file is not a bitmap, PGM or PNG"},
      {"bad -dim",
       "a.r16",
       std::vector<uint8_t>(8, 0),
       {"-dim", "2x"},
       "ERROR: Invalid size after -dim, should be <width>x<height>"},
  };
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
                     "ERROR: Input file is a colour (RGB) PNG; a greyscale "
                     "height map is expected"});
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

// A build without PNG says so before it touches anything.
TEST(EndToEndTest, PngNeedsABuildWithPng) {
  if (toolHasPng()) GTEST_SKIP() << "this build has PNG";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.r16"), rawBytes({1, 2, 3, 4})));
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{dir.file("in.r16"), dir.file("out.png")},
        std::vector<std::string>{dir.file("in.r16"), dir.file("out.bmp"),
                                 "-view", dir.file("view.png")}}) {
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, kFailed);
    EXPECT_EQ(result.lines,
              withBanner({"ERROR: This build of Quillorn has no PNG support; "
                          "use BMP, PGM or raw heights"}));
  }
  EXPECT_EQ(folderNames(dir.path()), Lines({"in.r16"}));
}

// PGM headers as other tools write them: comments, any whitespace, text
// samples, one-byte samples taken as the heights they are.
TEST(EndToEndTest, PgmHeadersAsOtherToolsWriteThem) {
  TempDir dir;
  struct Case {
    const char* what;
    std::string bytes;
    Heights heights;
  };
  const Case cases[] = {
      {"comments and tabs",
       std::string("P5\t# made by hand\n2\r\n1 # w h\n") + "255\n" +
           std::string("\x07\xff", 2),
       {7, 255}},
      {"text samples", "P2\n2 1\n65535\n65535 12\n", {65535, 12}},
      {"small maxval, samples as they stand", "P2 2 1 3 3 1\n", {3, 1}},
      {"a comment ended by CR alone", "P2 # by hand\r2 1 9 3 1\n", {3, 1}},
      // One byte a sample up to maxval 255, two from 256 on.
      {"maxval 255: one byte a sample",
       "P5 2 1 255\n" + std::string("\x01\xff", 2),
       {1, 255}},
      {"maxval 256: two bytes a sample",
       "P5 2 1 256\n" + std::string("\x01\x00\x00\xff", 4),
       {256, 255}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(
        writeFileBytes(dir.file("in.pgm"),
                       std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())));
    ProcessResult result =
        runQuillorn({dir.file("in.pgm"), dir.file("out.r16")});
    EXPECT_EQ(result.exitStatus, 0) << c.what;
    Heights got;
    ASSERT_TRUE(readHeights(dir, "out.r16", &got)) << c.what;
    EXPECT_EQ(got, c.heights) << c.what;
  }
}

// Heights that do not fit are clamped, and standard error says so exactly
// then; a picture of the result comes with -view.
TEST(EndToEndTest, ClampsAreReportedAndPicturesDrawn) {
  TempDir dir;
  ASSERT_TRUE(
      writeFileBytes(dir.file("in.r16"), rawBytes({0, 100, 65535, 30000})));
  ASSERT_TRUE(
      writeFileBytes(dir.file("edge.r16"), rawBytes({65279, 65280, 0, 65278})));
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
       warning + "1 height was clamped to what the files hold: 1 above "
                 "65279 (the most a bitmap holds) when written; -sca 0, a "
                 "smaller -sca or a 16-bit output (.r16, .pgm, .png) keeps "
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
       warning + "1 height was clamped to what the files hold: 1 above "
                 "65279 (the most a bitmap holds) when written; -sca 0, a "
                 "smaller -sca or a 16-bit output (.r16, .pgm, .png) keeps "
                 "them\n"},
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
    EXPECT_EQ(result.lines, withBanner({kUsage})) << view;
  }
  EXPECT_FALSE(fileExists(dir.file("same.pgm")));
}

}  // namespace
