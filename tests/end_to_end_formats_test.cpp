// Runs the built quillorn on raw, PGM, PNG, TIFF and BMP height maps and
// checks what reaches each format, byte for byte, with the tests' own
// readers; and that a launched build (Windows under Wine) writes the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

std::vector<uint8_t> bitmapBytes(int32_t width, int32_t height,
                                 const Heights& heights) {
  BitmapPlan plan;
  plan.width = width;
  plan.height = height;
  plan.pixels = pixelsFromHeights(heights, width, height, 24);
  return buildBitmap(plan);
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
