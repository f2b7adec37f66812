// Runs the built quillorn on elevation files (signed, float and wide
// samples, nodata, colour channels) and on heights that do not fit what the
// output holds: the heights that come out, and what standard error says
// about how they map back or where they were clamped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

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
    EXPECT_EQ(result.lines, withBanner({kUsage})) << view;
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

}  // namespace
