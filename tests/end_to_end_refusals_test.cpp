// Runs the built quillorn on files it cannot read: damaged bitmaps and
// height files, and formats the build was made without. Each is refused with
// its own ERROR line before the output is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

// Every refusal: one "ERROR: " line after the banner, exit -1, and an
// existing output file left exactly as it was.
TEST(EndToEndTest, BadInputsNeverTouchTheOutput) {
  std::vector<uint8_t> good = fourByOne24();
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> input;
    const char* message;  // start of the error line
  };
  const Case cases[] = {
      {"short file", std::vector<uint8_t>(good.begin(), good.begin() + 20),
       "ERROR: Input file is not a bitmap"},
      {"no signature", with(0, 'P'), "ERROR: Input file is not a bitmap"},
      {"32-bit", with(28, 32), "ERROR: Invalid bit rate"},
      {"compressed", with(30, 1),
       "ERROR: Compressed bitmaps are not supported"},
      {"small info header", with(14, 12), "ERROR: Unsupported bitmap header"},
      {"zero width", with(18, 0), "ERROR: Invalid bitmap width 0"},
      {"zero height", with(22, 0), "ERROR: Invalid bitmap height 0"},
      {"offset past the end", with(11, 9), "ERROR: Invalid pixel data offset"},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 3),
       "ERROR: Input file is truncated"},
  };
  const std::vector<uint8_t> previous = {'k', 'e', 'e', 'p'};
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), c.input));
    ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), previous));
    ProcessResult result =
        runQuillorn({dir.file("in.bmp"), dir.file("out.bmp"), "-sca", "0"});
    EXPECT_EQ(result.exitStatus, kFailed) << c.what;
    ASSERT_EQ(result.lines.size(), 3u) << c.what;
    EXPECT_EQ(result.lines[2].rfind(c.message, 0), 0u)
        << c.what << ": " << result.lines[2];
    std::vector<uint8_t> output;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
    EXPECT_EQ(output, previous) << c.what;

    // Without an existing output, none is created.
    TempDir fresh;
    ASSERT_TRUE(writeFileBytes(fresh.file("in.bmp"), c.input));
    runQuillorn({fresh.file("in.bmp"), fresh.file("out.bmp")});
    EXPECT_FALSE(fileExists(fresh.file("out.bmp"))) << c.what;
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
      // A float output would hold infinities or zeros.
      {"-unit beyond a float",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "1e39"},
       "ERROR: Invalid unit after -unit, should be a positive number of file "
       "units per height step, from 1.2e-38 to 5.1e+33, e.g. -unit 0.1"},
      {"-unit below a float",
       "a.hgt",
       std::vector<uint8_t>(8, 0),
       {"-unit", "1e-300"},
       "ERROR: Invalid unit after -unit, should be a positive number of file "
       "units per height step, from 1.2e-38 to 5.1e+33"},
      {"-dim beyond 64 bits",
       "a.r32",
       std::vector<uint8_t>(24, 0),
       {"-dim", "2147483647x2147483647"},
       "ERROR: Raw float file has 24 bytes, but -dim 2147483647x2147483647 "
       "needs 18446744056529682436 (4 bytes a float)"},
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
    TiffPlan rgb;
    rgb.width = 2;
    rgb.height = 2;
    rgb.samplesPerPixel = 3;
    rgb.photometric = 2;
    cases.push_back({"RGB TIFF with -channel alpha",
                     "a.tif",
                     buildTiff(rgb),
                     {"-channel", "alpha"},
                     "ERROR: Input file is a TIFF of 3 samples a pixel; "
                     "-channel alpha reads an RGBA TIFF of interleaved "
                     "samples"});
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
    // Without alpha (nor tRNS) every pixel is opaque: no heights to read.
    cases.push_back(
        {"RGB PNG with -channel alpha",
         "a.png",
         libraryPng(2, 1, {10, 20}, 8, false, SPNG_COLOR_TYPE_TRUECOLOR, false,
                    -1),
         {"-channel", "alpha"},
         "ERROR: Input file is a colour (RGB) PNG: it has no alpha for "
         "-channel alpha"});
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
    // A header of more pixels than deflate can pack into the file, its
    // checksum made right: refused before any planes are made for it.
    std::vector<uint8_t> forged = png;
    const uint8_t huge[] = {0, 0, 0x75, 0x30, 0, 0, 0x75, 0x30};  // 30000
    std::copy(std::begin(huge), std::end(huge), forged.begin() + 16);
    uint32_t crc = 0xFFFFFFFFu;  // CRC-32 of the chunk's type and data
    for (size_t at = 12; at < 29; ++at) {
      crc ^= forged[at];
      for (int bit = 0; bit < 8; ++bit) {
        crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
      }
    }
    crc ^= 0xFFFFFFFFu;
    for (size_t at = 0; at < 4; ++at) {
      forged[29 + at] = static_cast<uint8_t>(crc >> (24 - 8 * at));
    }
    cases.push_back({"PNG larger than its file could hold",
                     "a.png",
                     forged,
                     {},
                     "ERROR: Malformed PNG: its 30000 x 30000 pixels cannot "
                     "be in " +
                         std::to_string(forged.size()) + " bytes"});
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

// A folder or a pattern of tiles: joined into one map with the lines of
// one file, or refused before any work, naming the tile.
TEST(EndToEndTest, TilesAreJoinedOrRefusedNamingTheTile) {
  const Heights left = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Heights right = {3, 10, 11, 6, 12, 13, 9, 14, 15};
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    std::string input;     // in the folder; "" the folder itself
    std::string error;     // the last line; "" for a run that converts
    std::string reported;  // on standard error, after "<folder>"
  };
  const Case cases[] = {
      {"a row of two tiles",
       {{"m_x0_y0.r16", rawBytes(left)}, {"m_x1_y0.r16", rawBytes(right)}},
       "",
       "",
       ""},
      {"a pattern that matches nothing",
       {{"m_x0_y0.r16", rawBytes(left)}},
       "n_*.r16",
       "ERROR: Input file not found",
       "/n_*.r16: no file matches the pattern"},
      {"another sample type",
       {{"m_x0_y0.r16", rawBytes(left)},
        {"m_x1_y0.hgt", std::vector<uint8_t>(18, 0)}},
       "m_*",
       "ERROR: Input tiles do not make one map",
       "/m_x1_y0.hgt: its samples are 16-bit signed integers"},
      {"a tile too wide for its place",
       {{"m_x0_y0.r16", rawBytes(left)},
        {"m_x1_y0.r16", rawBytes(Heights(16, 1))},
        {"m_x2_y0.r16", rawBytes(left)}},
       "",
       "ERROR: Input tiles do not make one map",
       "/m_x1_y0.r16: it is 4 x 4 samples, and its place in the grid needs 3 "
       "x 3"},
      {"a missing tile without nodata",
       {{"m_x0_y0.r16", rawBytes(left)}, {"m_x2_y0.r16", rawBytes(left)}},
       "",
       "ERROR: Input tiles do not make one map",
       ": a tile of the grid is missing (row 0 is not covered)"},
      {"an unreadable tile",
       {{"m_x0_y0.r16", rawBytes(left)},
        {"m_x1_y0.r16", std::vector<uint8_t>(5, 0)}},
       "",
       "ERROR: Raw height file has 5 bytes",
       "/m_x1_y0.r16: this tile of the input is refused"},
  };
  for (const Case& c : cases) {
    TempDir dir, out;
    for (const auto& file : c.files) {
      ASSERT_TRUE(writeFileBytes(dir.file(file.first), file.second));
    }
    const std::string input = c.input.empty() ? dir.path() : dir.file(c.input);
    const ProcessResult result = runQuillorn({input, out.file("whole.r16")});
    if (c.error.empty()) {
      EXPECT_EQ(result.exitStatus, 0) << c.what << result.errors;
      EXPECT_EQ(result.lines, successLines({})) << c.what;
      Heights whole;
      ASSERT_TRUE(readHeights(out, "whole.r16", &whole)) << c.what;
      EXPECT_EQ(whole,
                Heights({1, 2, 3, 10, 11, 4, 5, 6, 12, 13, 7, 8, 9, 14, 15}))
          << c.what;
      continue;
    }
    EXPECT_EQ(result.exitStatus, kFailed) << c.what;
    ASSERT_FALSE(result.lines.empty()) << c.what;
    EXPECT_EQ(result.lines.back().rfind(c.error, 0), 0u)
        << c.what << ": " << result.lines.back();
    EXPECT_NE(result.errors.find("quillorn: " + dir.path() + c.reported),
              std::string::npos)
        << c.what << ": " << result.errors;
    EXPECT_FALSE(fileExists(out.file("whole.r16"))) << c.what;
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

}  // namespace
