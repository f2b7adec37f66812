// Runs the built quillorn as a separate process and checks what every run
// promises: the lines on standard output, the exit status, the usage and
// help, and the bitmap that comes out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> pixelBytes(const std::vector<uint8_t>& file,
                                size_t count) {
  size_t offset = fieldLe32(file, 10);
  if (file.size() < offset + count) return {};
  return std::vector<uint8_t>(
      file.begin() + static_cast<ptrdiff_t>(offset),
      file.begin() + static_cast<ptrdiff_t>(offset + count));
}

TEST(EndToEndTest, UsageAndHelp) {
  EXPECT_EQ(runQuillorn({}).lines, withBanner({kUsage}));
  EXPECT_EQ(runQuillorn({}).exitStatus, kFailed);
  EXPECT_EQ(runQuillorn({"only-one.bmp"}).exitStatus, kFailed);
  EXPECT_EQ(runQuillorn({"only-one.bmp"}).lines, withBanner({kUsage}));
  // A switch where the output belongs: the output was forgotten, and no
  // file named after the switch is written.
  for (const char* forgotten : {"-sca", "-min", "-smo"}) {
    ProcessResult result = runQuillorn({"map.bmp", forgotten, "2"});
    EXPECT_EQ(result.exitStatus, kFailed) << forgotten;
    EXPECT_EQ(result.lines, withBanner({kUsage})) << forgotten;
    EXPECT_FALSE(fileExists(forgotten)) << forgotten;
  }
  for (const char* help : {"-h", "--help"}) {
    ProcessResult result = runQuillorn({help});
    EXPECT_EQ(result.exitStatus, 0) << help;
    ASSERT_GT(result.lines.size(), 4u) << help;
    EXPECT_EQ(Lines(result.lines.begin(), result.lines.begin() + 2),
              bannerOnly({result.lines[1]}));
    EXPECT_EQ(result.lines[1].rfind("Usage: quillorn", 0), 0u);
    for (const std::string& line : result.lines) {
      EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
    }
  }
}

TEST(EndToEndTest, VersionAndUnicodePaths) {
  ProcessResult version = runQuillorn({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  ASSERT_EQ(version.lines.size(), 2u);
  EXPECT_EQ(version.lines[0], kBanner);
  // The packages carry the version in the banner's form.
  EXPECT_EQ(version.lines[0],
            std::string("Quillorn v") + QUILLORN_PROJECT_VERSION);
  EXPECT_EQ(
      version.lines[1].rfind(
          "Formats: BMP, PGM, raw, raw floats (.r32), SRTM (.hgt, read), PFM "
          "(read)",
          0),
      0u);

  TempDir dir;
  std::string input =
      dir.file("H\xc3\xb6henkarte \xe5\x9c\xb0\xe5\xbd\xa2.bmp");
  std::string output = dir.file("\xc3\xa9tape 2.bmp");
  ASSERT_TRUE(writeFileBytes(input, fourByOne24()));
  ProcessResult result = runQuillorn({input, output, "-sca", "2"});
  EXPECT_EQ(result.exitStatus, 0);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(output, &bytes));
  EXPECT_EQ(pixelBytes(bytes, 12),
            std::vector<uint8_t>({7, 0, 20, 7, 2, 0, 7, 4, 200, 7, 1, 253}));
}

TEST(EndToEndTest, PlainConversionPrintsEveryStageAndCopiesTheFile) {
  TempDir dir;
  std::vector<uint8_t> input = fourByOne24();
  input.push_back(0x42);
  input.push_back(0x43);
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), input));
  // The file-size field must count the tail to come back byte for byte.
  input[2] = static_cast<uint8_t>(input.size());
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), input));
  ProcessResult result = runQuillorn({dir.file("in.bmp"), dir.file("out.bmp")});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.lines, successLines({}));
  std::vector<uint8_t> output;
  ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
  EXPECT_EQ(output, input);
}

// A bitmap written as a bitmap with no height changed has its rows copied;
// through the planes (-smo 0) the same file and the same warnings come out,
// on every shape the copy treats apart: padding with bytes in it, top-down
// rows, a tail, grey and black maps, several buffers of rows, rows longer
// than a buffer, and the 8-bit input it leaves to the planes.
TEST(EndToEndTest, CopiedRowsAreThePlanesTwin) {
  std::mt19937 random(11);
  // Pixels of the given kind; the one at colouredAt (if any) not grey.
  auto pixels = [&](int64_t count, bool grey, bool lit, int64_t colouredAt) {
    std::vector<uint8_t> bytes(static_cast<size_t>(3 * count));
    for (int64_t pixel = 0; pixel < count; ++pixel) {
      uint8_t* at = bytes.data() + 3 * pixel;
      const uint8_t value = lit ? static_cast<uint8_t>(random() | 1) : 0;
      at[0] = at[1] = at[2] = value;
      if (!grey || pixel == colouredAt) at[0] = static_cast<uint8_t>(value + 1);
    }
    return bytes;
  };
  struct Case {
    const char* what;
    int32_t width;
    int32_t height;
    bool grey;
    bool lit;
    int64_t colouredAt;
    int bits;
    std::vector<uint8_t> tail;
  };
  const Case cases[] = {
      {"padded rows", 5, 3, false, true, -1, 24, {}},
      {"top-down, grey", 5, -3, true, true, -1, 24, {}},
      {"black, a tail", 4, 2, true, false, -1, 24, {1, 2, 3}},
      {"grey over buffers", 1000, 200, true, true, -1, 24, {}},
      {"grey but the last", 1000, 200, true, true, 199999, 24, {}},
      {"rows past a buffer", 90000, 3, true, true, 269999, 24, {9}},
      {"8 bits", 3, 2, false, true, -1, 8, {}},
  };
  const std::string w = "quillorn: warning: ";
  for (const Case& c : cases) {
    TempDir dir;
    BitmapPlan plan;
    plan.width = c.width;
    plan.height = c.height;
    plan.bitsPerPixel = c.bits;
    const int64_t count = int64_t{c.width} * std::abs(c.height);
    plan.pixels = pixels(count, c.grey, c.lit, c.colouredAt);
    if (c.bits == 8) plan.pixels.resize(static_cast<size_t>(count));
    plan.tail = c.tail;
    std::vector<uint8_t> input = buildBitmap(plan);
    // Bytes in the padding, which no output keeps.
    const size_t rowBytes = 3 * static_cast<size_t>(c.width);
    const size_t stride = (rowBytes + 3) / 4 * 4;
    if (c.bits == 24 && stride > rowBytes) {
      for (int32_t row = 0; row < std::abs(c.height); ++row) {
        input[54 + stride * static_cast<size_t>(row) + rowBytes] = 0xA5;
      }
    }
    ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), input));
    ProcessResult copied =
        runQuillorn({dir.file("in.bmp"), dir.file("copied.bmp")});
    ProcessResult planes =
        runQuillorn({dir.file("in.bmp"), dir.file("planes.bmp"), "-smo", "0"});
    EXPECT_EQ(copied.exitStatus, 0) << c.what;
    EXPECT_EQ(copied.lines, successLines({})) << c.what;
    EXPECT_EQ(planes.lines, successLines({"Smooth x0"})) << c.what;
    EXPECT_EQ(copied.errors, planes.errors) << c.what;
    const bool warned = c.bits == 24 && c.grey && c.lit && c.colouredAt < 0;
    EXPECT_EQ(
        copied.errors.rfind(w + "every pixel of the input is grey", 0) == 0,
        warned)
        << c.what << ": " << copied.errors;
    std::vector<uint8_t> fromCopy, fromPlanes;
    ASSERT_TRUE(readFileBytes(dir.file("copied.bmp"), &fromCopy)) << c.what;
    ASSERT_TRUE(readFileBytes(dir.file("planes.bmp"), &fromPlanes)) << c.what;
    EXPECT_TRUE(fromCopy == fromPlanes) << c.what;
    if (c.bits == 24) {
      EXPECT_EQ(fromCopy.size(), input.size()) << c.what;
    }
  }
}

TEST(EndToEndTest, WorkedExamples) {
  struct Case {
    const char* what;
    std::vector<uint8_t> input;
    std::vector<std::string> switches;
    Lines processing;
    std::vector<uint8_t> pixels;  // first output pixel bytes, blue green red
  };
  BitmapPlan gray;
  gray.width = 4;
  gray.height = 1;
  gray.bitsPerPixel = 8;
  gray.pixels = {50, 100, 150, 250};
  BitmapPlan three;
  three.width = 3;
  three.height = 1;
  three.pixels = {9, 0, 0, 9, 90, 0, 9, 0, 0};  // heights 0, 90 x 255, 0
  BitmapPlan one;
  one.pixels = {9, 0, 255};  // 255 as red 255, re-encoded as green 1
  const Case cases[] = {
      {"scale 2",
       fourByOne24(),
       {"-sca", "2"},
       {},
       {7, 0, 20, 7, 2, 0, 7, 4, 200, 7, 1, 253}},
      {"normalize 8-bit",
       buildBitmap(gray),
       {"-sca", "0"},
       {"Converting to 0-255. To scale back to original, use scale 0.784314"},
       {0, 0, 0, 0, 0, 63, 0, 0, 127, 0, 0, 254}},
      {"smooth a row",
       buildBitmap(three),
       {"-smo", "1"},
       {"Smooth x1"},
       // 0, 22950, 0 -> 11475, 11475, 5737
       {9, 45, 0, 9, 45, 0, 9, 22, 127}},
      {"stage order is fixed",
       fourByOne24(),
       {"-min", "5", "-smo", "0", "-sca", "1"},
       {"Smooth x0", "Minimum elevation 5"},
       // heights 10, 255, 610, 254 shifted by -5
       {7, 0, 5, 7, 0, 250, 7, 2, 95, 7, 0, 249}},
      {"-min takes -smo as its value",
       fourByOne24(),
       {"-min", "-smo", "2"},
       {"Smooth x2", "Minimum elevation 0"},
       {}},
      {"capitals are ignored",
       fourByOne24(),
       {"-SCA", "2"},
       {},
       {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254}},
      {"switch without value",
       fourByOne24(),
       {"-sca"},
       {},
       {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254}},
      // Every pass count ends: smoothing stops once a pass changes nothing.
      {"the largest pass count",
       buildBitmap(one),
       {"-smo", "2147483647"},
       {"Smooth x2147483647"},
       {9, 1, 0}},
      {"a pass count past 32 bits",
       fourByOne24(),
       {"-smo", "9999999999"},
       {"Smooth x2147483647"},
       {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), c.input));
    std::vector<std::string> arguments = {dir.file("in.bmp"),
                                          dir.file("out.bmp")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.what;
    EXPECT_EQ(result.lines, successLines(c.processing)) << c.what;
    std::vector<uint8_t> output;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output)) << c.what;
    if (!c.pixels.empty()) {
      EXPECT_EQ(pixelBytes(output, c.pixels.size()), c.pixels) << c.what;
    }
  }
}

// On a terminal, standard error shows bars for reading, smoothing and
// writing, each wiped at its end; standard output is the same as ever.
TEST(EndToEndTest, ProgressBarsOnlyOnATerminal) {
  if (throughLauncher()) GTEST_SKIP() << "needs the tool's own terminal";
  TempDir dir;
  BitmapPlan plan;
  plan.width = 300;
  plan.height = 200;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), buildBitmap(plan)));
  // A narrow and a wide terminal: every redraw fits its line, so no update
  // ever wraps into a new one; one of a single column gets no bar at all.
  for (int columns : {1, 40, 200}) {
    ChildSetup onTerminal;
    onTerminal.terminal = true;
    onTerminal.terminalColumns = columns;
    ProcessResult result = runQuillornWith(
        {dir.file("in.bmp"), dir.file("out.bmp"), "-smo", "2"}, onTerminal);
    const std::string& terminal = result.errors;
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.lines, successLines({"Smooth x2"}));
    if (columns == 1) {
      EXPECT_EQ(terminal, "");
      continue;
    }
    for (const char* label : {"Reading", "Smoothing x2", "Writing"}) {
      EXPECT_NE(terminal.find(std::string("\r") + label), std::string::npos)
          << label;
    }
    EXPECT_NE(terminal.find("100%"), std::string::npos);
    EXPECT_EQ(terminal.find('\n'), std::string::npos);
    ASSERT_FALSE(terminal.empty());
    EXPECT_EQ(terminal.back(), '\r') << "the last bar is wiped";
    size_t start = 0;
    for (size_t end;
         (end = terminal.find('\r', start + 1)) != std::string::npos;
         start = end) {
      EXPECT_LT(end - start - 1, static_cast<size_t>(columns)) << columns;
    }
  }

  // Not a terminal: nothing at all on standard error.
  ProcessResult piped =
      runQuillorn({dir.file("in.bmp"), dir.file("out2.bmp"), "-smo", "2"});
  EXPECT_EQ(piped.exitStatus, 0);
  EXPECT_EQ(piped.errors, "");
}

TEST(EndToEndTest, TopDownTwinGivesTheSamePicture) {
  const int32_t width = 5, rows = 4;
  std::vector<HeightValue> heights = makeTerrain(width, rows, 65279, 3);
  std::vector<uint8_t> bottomUp = pixelsFromHeights(heights, width, rows, 24);
  std::vector<uint8_t> topDown;
  for (int32_t row = rows - 1; row >= 0; --row) {
    topDown.insert(topDown.end(), bottomUp.begin() + row * width * 3,
                   bottomUp.begin() + (row + 1) * width * 3);
  }
  BitmapPlan up;
  up.width = width;
  up.height = rows;
  up.pixels = bottomUp;
  BitmapPlan down = up;
  down.height = -rows;
  down.pixels = topDown;
  const std::vector<std::vector<std::string>> switchSets = {
      {},
      {"-smo", "2"},
      {"-sca", "0", "-smo", "1", "-min", "3"},
      {"-sca", "0.5", "-min", "-4"}};
  for (const auto& switches : switchSets) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("up.bmp"), buildBitmap(up)));
    ASSERT_TRUE(writeFileBytes(dir.file("down.bmp"), buildBitmap(down)));
    std::vector<std::string> a = {dir.file("up.bmp"), dir.file("up_out.bmp")};
    std::vector<std::string> b = {dir.file("down.bmp"),
                                  dir.file("down_out.bmp")};
    a.insert(a.end(), switches.begin(), switches.end());
    b.insert(b.end(), switches.begin(), switches.end());
    ProcessResult ra = runQuillorn(a);
    ProcessResult rb = runQuillorn(b);
    EXPECT_EQ(ra.exitStatus, 0);
    EXPECT_EQ(ra.lines, rb.lines);
    std::vector<uint8_t> outA, outB;
    ASSERT_TRUE(readFileBytes(dir.file("up_out.bmp"), &outA));
    ASSERT_TRUE(readFileBytes(dir.file("down_out.bmp"), &outB));
    EXPECT_EQ(static_cast<int32_t>(fieldLe32(outB, 22)), -rows);
    DecodedImage imageA, imageB;
    std::string why;
    ASSERT_TRUE(decode24(outA, &imageA, &why)) << why;
    ASSERT_TRUE(decode24(outB, &imageB, &why)) << why;
    EXPECT_EQ(imageA.red, imageB.red);
    EXPECT_EQ(imageA.green, imageB.green);
    EXPECT_EQ(imageA.blue, imageB.blue);
  }
}

TEST(EndToEndTest, RealHeightMap) {
  std::string data = sharedTestData();
  if (data.empty()) {
    GTEST_SKIP() << "the conversion of a real height map (Puget Sound) "
                 << testDataMissing();
  }
  TempDir dir;
  ProcessResult result = runQuillorn(
      {data + "/heightmaps/puget_sound_1025_rg24.bmp", dir.file("out.bmp"),
       "-sca", "0", "-smo", "2", "-min", "10"});
  EXPECT_EQ(result.exitStatus, 0);
  ASSERT_EQ(result.lines.size(), 14u);
  EXPECT_EQ(
      result.lines[6].rfind(
          "Converting to 0-255. To scale back to original, use scale ", 0),
      0u);
  std::vector<uint8_t> output;
  ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
  DecodedImage image;
  std::string why;
  ASSERT_TRUE(decode24(output, &image, &why)) << why;
  EXPECT_EQ(image.width, 1025);
  int lowest = 1 << 30, highest = -1;
  for (int32_t row = 0; row < image.rows; ++row) {
    for (int32_t column = 0; column < image.width; ++column) {
      lowest = std::min(lowest, image.height(row, column));
      highest = std::max(highest, image.height(row, column));
    }
  }
  EXPECT_EQ(lowest, 10);
  EXPECT_LE(highest, 265);
  EXPECT_EQ(fieldLe32(output, 2), output.size());
}

}  // namespace
