// Runs the built quillorn to give maps the shapes engines take: flips and
// turns, resampling to a size, tiles that share their edges, each engine's
// names and georeferencing kept; every refusal before any work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

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
                   "-size", "63x63", "-filter", "linear"});
  EXPECT_EQ(unity.exitStatus, 0);
  EXPECT_EQ(unity.lines, sized.lines);
  if (!throughLauncher()) {
    EXPECT_EQ(unity.errors,
              "quillorn: for Unity's Terrain Toolbox (Create New Terrain, "
              "Import Heightmap, Batch mode): the tiles " +
                  dir.file("u_<x>_<z>.raw") +
                  ", x from the west and z from the south, each file's "
                  "first row its south edge, 32 samples a side (the Toolbox "
                  "repeats each file's last row and column, and neighbours "
                  "share their edges, so the seams meet):\n"
                  "quillorn:   Tiles X Axis 2\n"
                  "quillorn:   Tiles Z Axis 2\n"
                  "quillorn:   Depth 16 bit\n"
                  "quillorn:   Heightmap Resolution 32\n"
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
  ASSERT_EQ(bottomLeft.size(), 32u * 32u);
  // The bottom-left tile, its rows from the south: file row r is row 62 - r
  // of the whole.
  for (int32_t row = 0; row < 32; ++row) {
    for (int32_t column = 0; column < 32; ++column) {
      EXPECT_EQ(bottomLeft[static_cast<size_t>(row * 32 + column)],
                big[static_cast<size_t>((62 - row) * 63 + column)])
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

}  // namespace
