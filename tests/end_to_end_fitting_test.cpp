// Every -fit recipe, imported by a model of the engine's own importer (the
// facts of Unity's Import Raw and Terrain Toolbox, Unreal's Import from File
// and World Composition's tiled import, the Godot add-ons' import dialogs):
// an elevation map whose four corners stand at distinct heights must come
// out north up, each corner at its true height within the engine's
// precision, read from the settings the tool printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

// The map: an SRTM-like tile of side samples, north row first, corners NW
// 1000 m, NE 2000 m, SW 500 m, SE 3000 m, ridges between.
constexpr double kNorthWest = 1000, kNorthEast = 2000;
constexpr double kSouthWest = 500, kSouthEast = 3000;

double elevation(int32_t side, int32_t row, int32_t column) {
  const double v = row / (side - 1.0), u = column / (side - 1.0);
  const double plane = (1 - v) * ((1 - u) * kNorthWest + u * kNorthEast) +
                       v * ((1 - u) * kSouthWest + u * kSouthEast);
  // Zero on every edge, so the corners and edges stay those of the plane.
  return std::round(plane + 300 * std::sin(3.14159265 * u) *
                                std::sin(3.14159265 * v) *
                                std::cos(9 * u + 4 * v));
}

std::vector<uint8_t> hgtBytes(int32_t side) {
  std::vector<uint8_t> bytes;
  for (int32_t row = 0; row < side; ++row) {
    for (int32_t column = 0; column < side; ++column) {
      const int32_t value = static_cast<int32_t>(elevation(side, row, column));
      bytes.push_back(static_cast<uint8_t>(value >> 8));
      bytes.push_back(static_cast<uint8_t>(value));
    }
  }
  return bytes;
}

// What the tool wrote to standard error, its lines ended by LF alone (a
// Windows build ends them in CR LF).
std::string plainLineEnds(const std::string& errors) {
  std::string plain;
  for (size_t at = 0; at < errors.size(); ++at) {
    if (errors[at] == '\r' && at + 1 < errors.size() &&
        errors[at + 1] == '\n') {
      continue;
    }
    plain += errors[at];
  }
  return plain;
}

// The fields the tool printed, "quillorn:   <Name> <value>", by name.
std::map<std::string, std::string> printedFields(const std::string& printed) {
  const std::string errors = plainLineEnds(printed);
  std::map<std::string, std::string> fields;
  size_t start = 0;
  const std::string lead = "quillorn:   ";
  while (start < errors.size()) {
    size_t end = errors.find('\n', start);
    if (end == std::string::npos) end = errors.size();
    const std::string line = errors.substr(start, end - start);
    start = end + 1;
    if (line.compare(0, lead.size(), lead) != 0) continue;
    // The name is every word before the last (which is the value), but
    // for the few values of two words.
    std::string rest = line.substr(lead.size());
    for (const char* two : {"Depth", "Section Size", "Sections Per Component",
                            "Number of Components", "Overall Resolution"}) {
      const std::string name = two;
      if (rest.compare(0, name.size() + 1, name + " ") == 0) {
        fields[name] = rest.substr(name.size() + 1);
        rest.clear();
      }
    }
    if (rest.empty()) continue;
    const size_t space = rest.find_last_of(' ');
    fields[rest.substr(0, space)] = rest.substr(space + 1);
  }
  return fields;
}

double number(const std::map<std::string, std::string>& fields,
              const std::string& name) {
  auto found = fields.find(name);
  EXPECT_NE(found, fields.end()) << name;
  return found == fields.end() ? NAN
                               : std::strtod(found->second.c_str(), nullptr);
}

// A grid of 16-bit samples, row 0 first as the file stores them.
struct Samples {
  int32_t width = 0, height = 0;
  std::vector<int32_t> values;
  int32_t at(int32_t row, int32_t column) const {
    return values[static_cast<size_t>(row) * static_cast<size_t>(width) +
                  static_cast<size_t>(column)];
  }
};

// A raw file of side x side little-endian samples; a PNG through the
// tool's own reading, which the corpus test holds to Pillow's.
bool readSquare(const std::string& path, Samples* samples) {
  std::string raw = path;
  if (path.size() > 4 && path.substr(path.size() - 4) == ".png") {
    raw = path + ".r16";
    if (runQuillorn({path, raw}).exitStatus != 0) return false;
  }
  std::vector<uint8_t> bytes;
  if (!readFileBytes(raw, &bytes)) return false;
  const auto side =
      static_cast<int32_t>(std::lround(std::sqrt(bytes.size() / 2)));
  samples->width = samples->height = side;
  samples->values.clear();
  for (size_t at = 0; at + 1 < bytes.size(); at += 2) {
    samples->values.push_back(bytes[at] | bytes[at + 1] << 8);
  }
  return 2u * static_cast<size_t>(side) * static_cast<size_t>(side) ==
         bytes.size();
}

// A terrain as an engine holds it: heights in metres, seen from above with
// north up, row 0 the north edge and column 0 the west.
struct Terrain {
  int32_t width = 0, height = 0;
  std::vector<double> metres;
  double& at(int32_t row, int32_t column) {
    return metres[static_cast<size_t>(row) * static_cast<size_t>(width) +
                  static_cast<size_t>(column)];
  }
  void resize(int32_t w, int32_t h) {
    width = w;
    height = h;
    metres.assign(static_cast<size_t>(w) * static_cast<size_t>(h), NAN);
  }
};

void expectCornersTrue(Terrain& terrain, double tolerance,
                       const std::string& what) {
  const int32_t east = terrain.width - 1, south = terrain.height - 1;
  EXPECT_NEAR(terrain.at(0, 0), kNorthWest, tolerance) << what << " NW";
  EXPECT_NEAR(terrain.at(0, east), kNorthEast, tolerance) << what << " NE";
  EXPECT_NEAR(terrain.at(south, 0), kSouthWest, tolerance) << what << " SW";
  EXPECT_NEAR(terrain.at(south, east), kSouthEast, tolerance) << what << " SE";
  EXPECT_EQ(std::count_if(terrain.metres.begin(), terrain.metres.end(),
                          [](double value) { return std::isnan(value); }),
            0)
      << what << ": parts of the terrain have no tile";
}

// A file whose row 0 is north, each sample v standing at metres(v).
Terrain northUp(const Samples& file,
                const std::function<double(int32_t)>& metres) {
  Terrain terrain;
  terrain.resize(file.width, file.height);
  for (int32_t row = 0; row < file.height; ++row) {
    for (int32_t column = 0; column < file.width; ++column) {
      terrain.at(row, column) = metres(file.at(row, column));
    }
  }
  return terrain;
}

// Unreal's height of sample v: (Location Z + (v - 32768) / 128 x Scale Z)
// centimetres, from the fields printed.
std::function<double(int32_t)> unrealMetres(
    const std::map<std::string, std::string>& fields) {
  const double scaleZ = number(fields, "Scale Z");
  const double locationZ = number(fields, "Location Z");
  return [=](int32_t v) {
    return (locationZ + (v - 32768) / 128.0 * scaleZ) / 100;
  };
}

// Unity's heightmap keeps 0 ... 32766 of the normalized 0 ... 1.
double unityKept(double normalized) {
  return std::round(normalized * 32766) / 32766;
}

class EngineRecipeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(writeFileBytes(dir_.file("N47E011.hgt"), hgtBytes(kSide)));
  }
  // Runs the recipe; its standard error holds no warning.
  ProcessResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), dir_.file("N47E011.hgt"));
    arguments[1] = dir_.file(arguments[1]);
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(result.lines.back(), "Done!");
    EXPECT_EQ(result.errors.find("warning"), std::string::npos)
        << result.errors;
    return result;
  }
  static constexpr int32_t kSide = 193;
  TempDir dir_;
};

// Import Raw: the file's first row on the terrain's south edge (z = 0),
// Flip Vertically off, sample v standing at Position Y + v / 65536 x
// Terrain Height.
TEST_F(EngineRecipeTest, UnityImportRaw) {
  ProcessResult result = run({"dem.raw", "-fit", "unity"});
  auto fields = printedFields(result.errors);
  EXPECT_EQ(fields["Flip Vertically"], "off");
  EXPECT_EQ(fields["Byte Order"], "Windows");
  EXPECT_EQ(fields["Depth"], "16 bit");
  Samples file;
  ASSERT_TRUE(readSquare(dir_.file("dem.raw"), &file));
  EXPECT_EQ(number(fields, "Heightmap Resolution"), file.width);
  EXPECT_EQ(file.width, 257);  // 193 is nearer 257 than 129 by ratio
  const double height = number(fields, "Terrain Height");
  const double base = number(fields, "Position Y");
  Terrain terrain;
  terrain.resize(file.width, file.height);
  for (int32_t z = 0; z < file.height; ++z) {
    for (int32_t x = 0; x < file.width; ++x) {
      terrain.at(file.height - 1 - z, x) =
          base + unityKept(file.at(z, x) / 65536.0) * height;
    }
  }
  expectCornersTrue(terrain, height / 32766, "Import Raw");
  // The SRTM tile's degree at 47.5 N: about 75 km east, 111 km north.
  EXPECT_NEAR(number(fields, "Terrain Width"), 75300, 300);
  EXPECT_NEAR(number(fields, "Terrain Length"), 111200, 300);
}

// The Toolbox's batch import: tile names sorted as text give the tiles in
// x-major order; each 2^n file is read with its last row and column
// repeated into a 2^n + 1 terrain, tile (x, z) placed at (x, z) terrain
// sizes from the start, each tile's first row its south edge; v / 65535 of
// Terrain Height. More than ten tiles a side: the indices must sort as
// numbers. The tile is 111 km long: beyond the Toolbox's 100 km, warned.
TEST_F(EngineRecipeTest, UnityToolboxTiles) {
  ProcessResult result =
      runQuillorn({dir_.file("N47E011.hgt"), dir_.file("t.raw"), "-fit",
                   "unity", "-tiles", "12x12"});
  ASSERT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.errors.find("quillorn: warning: the Terrain Toolbox clamps "
                               "Total Terrain Width and Length to 100000"),
            std::string::npos)
      << result.errors;
  auto fields = printedFields(result.errors);
  const int32_t across = static_cast<int32_t>(number(fields, "Tiles X Axis"));
  const int32_t along = static_cast<int32_t>(number(fields, "Tiles Z Axis"));
  const int32_t size =
      static_cast<int32_t>(number(fields, "Heightmap Resolution"));
  ASSERT_EQ(across, 12);
  ASSERT_EQ(along, 12);
  ASSERT_EQ(size & (size - 1), 0) << size;  // "must be a power of two"
  std::vector<std::string> names;
  for (const std::string& name : folderNames(dir_.path())) {
    if (name.compare(0, 2, "t_") == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names.size(), 144u);
  const double height = number(fields, "Terrain Height");
  const double base = number(fields, "Start Position Y");
  Terrain terrain;
  terrain.resize(across * size + 1, along * size + 1);
  for (int32_t x = 0; x < across; ++x) {
    for (int32_t z = 0; z < along; ++z) {
      Samples tile;
      const std::string& name = names[static_cast<size_t>(x * along + z)];
      ASSERT_TRUE(readSquare(dir_.file(name), &tile)) << name;
      ASSERT_EQ(tile.width, size) << name;
      for (int32_t row = 0; row <= size; ++row) {
        for (int32_t column = 0; column <= size; ++column) {
          const int32_t v =
              tile.at(std::min(row, size - 1), std::min(column, size - 1));
          const double metres = base + unityKept(v / 65535.0) * height;
          double& there = terrain.at(terrain.height - 1 - (z * size + row),
                                     x * size + column);
          // Neighbours' seams meet.
          if (!std::isnan(there)) {
            ASSERT_EQ(there, metres) << name << " " << row << " " << column;
          }
          there = metres;
        }
      }
    }
  }
  expectCornersTrue(terrain, height / 32766, "Toolbox");
}

// UE5's Import from File: one PNG, row 0 north; sample v stands at
// (Location Z + (v - 32768) / 128 x Scale Z) / 100 metres.
TEST_F(EngineRecipeTest, UnrealImportFromFile) {
  if (!toolHasPng()) GTEST_SKIP() << "this build has no PNG";
  ProcessResult result = run({"dem.png", "-fit", "unreal"});
  auto fields = printedFields(result.errors);
  EXPECT_EQ(fields["Overall Resolution"], "253 x 253");
  EXPECT_EQ(fields["Number of Components"], "2 x 2");
  Samples file;
  ASSERT_TRUE(readSquare(dir_.file("dem.png"), &file));
  ASSERT_EQ(file.width, 253);
  Terrain terrain = northUp(file, unrealMetres(fields));
  expectCornersTrue(terrain, number(fields, "Scale Z") / 128 / 100,
                    "Import from File");
  // 1 degree north over 252 spacings, in cm.
  EXPECT_NEAR(number(fields, "Scale Y"), 111200 * 100 / 252.0, 200);
}

// World Composition's tiled import: square tiles sharing their edges, tile
// (i, j) at (i, j) tile spans with j from the south (Flip Tile Y on), each
// tile's row 0 north.
TEST_F(EngineRecipeTest, WorldCompositionTiles) {
  if (!toolHasPng()) GTEST_SKIP() << "this build has no PNG";
  // A stale tile of the same prefix is warned about: the importer takes it.
  ASSERT_TRUE(writeFileBytes(dir_.file("old_x9_y9.png"), {1}));
  ProcessResult stale =
      runQuillorn({dir_.file("N47E011.hgt"), dir_.file("old.png"), "-fit",
                   "unreal", "-tiles", "2x2"});
  EXPECT_EQ(stale.exitStatus, 0);
  EXPECT_NE(plainLineEnds(stale.errors)
                .find("quillorn: warning: the folder already holds 1 "
                      "file named like the tiles (old_x9_y9.png), "
                      "which Unreal's tiled import takes too; move it "
                      "away\n"),
            std::string::npos)
      << stale.errors;

  ProcessResult result = run({"wc.png", "-fit", "unreal", "-tiles", "4x4"});
  auto fields = printedFields(result.errors);
  EXPECT_EQ(fields["Flip Tile Y Coordinate"], "on");
  const auto metresOf = unrealMetres(fields);
  EXPECT_EQ(fields["Overall Resolution"], "127 x 127");
  const int32_t size = 127;
  Terrain terrain;
  terrain.resize(4 * (size - 1) + 1, 4 * (size - 1) + 1);
  for (int32_t i = 0; i < 4; ++i) {
    for (int32_t j = 0; j < 4; ++j) {
      const std::string name =
          "wc_x" + std::to_string(i) + "_y" + std::to_string(j) + ".png";
      Samples tile;
      ASSERT_TRUE(readSquare(dir_.file(name), &tile)) << name;
      ASSERT_EQ(tile.width, size) << name;
      for (int32_t row = 0; row < size; ++row) {
        for (int32_t column = 0; column < size; ++column) {
          const double metres = metresOf(tile.at(row, column));
          // Tile j counts from the south: its top row is j + 1 spans up.
          const int32_t fromNorth = (3 - j) * (size - 1) + row;
          double& there = terrain.at(fromNorth, i * (size - 1) + column);
          if (!std::isnan(there)) {
            ASSERT_EQ(there, metres) << name;
          }
          there = metres;
        }
      }
    }
  }
  expectCornersTrue(terrain, number(fields, "Scale Z") / 128 / 100,
                    "World Composition");
}

// HTerrain: height = Position Y + Map Scale y x (Min + (Max - Min) x v /
// 65535), row 0 north, 2^n + 1 square, Min and Max within its dialog's
// -2000 ... 2000 and whole; Terrain3D: R16 Range min + (max - min) x v /
// 65535 at its R16 Size, and a warning that its one vertex spacing cannot
// hold the tile's 47 N spacing.
TEST_F(EngineRecipeTest, GodotAddOns) {
  ProcessResult result = runQuillorn(
      {dir_.file("N47E011.hgt"), dir_.file("g.raw"), "-fit", "godot"});
  ASSERT_EQ(result.exitStatus, 0);
  auto fields = printedFields(result.errors);
  Samples file;
  ASSERT_TRUE(readSquare(dir_.file("g.raw"), &file));
  EXPECT_EQ(file.width, 257);
  const double low = number(fields, "Min Height");
  const double high = number(fields, "Max Height");
  for (double entered : {low, high}) {
    EXPECT_LE(std::fabs(entered), 2000);
    EXPECT_EQ(entered, std::floor(entered));
  }
  // "Map Scale x <x>, y <y>, z <z>"
  double scaleX = NAN, scaleY = NAN, scaleZ = NAN;
  const std::string scale = "quillorn:   Map Scale x ";
  const size_t at = result.errors.find(scale);
  ASSERT_NE(at, std::string::npos) << result.errors;
  ASSERT_EQ(std::sscanf(result.errors.c_str() + at + scale.size(),
                        "%lf, y %lf, z %lf", &scaleX, &scaleY, &scaleZ),
            3);
  const double base =
      fields.count("Position Y") ? number(fields, "Position Y") : 0;
  Terrain hterrain = northUp(file, [&](int32_t v) {
    return base + scaleY * (low + (high - low) * v / 65535);
  });
  expectCornersTrue(hterrain, scaleY * (high - low) / 65535, "HTerrain");
  EXPECT_NEAR(scaleZ * 256, 111200, 300);
  EXPECT_NEAR(scaleX * 256, 75300, 300);

  double rangeLow = NAN, rangeHigh = NAN;
  const std::string range = "quillorn:   R16 Range x ";
  const size_t from = result.errors.find(range);
  ASSERT_NE(from, std::string::npos);
  ASSERT_EQ(std::sscanf(result.errors.c_str() + from + range.size(),
                        "%lf, y %lf", &rangeLow, &rangeHigh),
            2);
  EXPECT_NE(result.errors.find("quillorn:   R16 Size x 257, y 257"),
            std::string::npos)
      << result.errors;
  Terrain terrain3d = northUp(file, [&](int32_t v) {
    return rangeLow + (rangeHigh - rangeLow) * v / 65535;
  });
  expectCornersTrue(terrain3d, (rangeHigh - rangeLow) / 65535, "Terrain3D");
  EXPECT_NE(result.errors.find("quillorn: warning: Terrain3D has one vertex "
                               "spacing for x and z"),
            std::string::npos)
      << result.errors;
}

// Float metres from a terrain generator, stretched over the whole 16-bit
// range for the engine: no clamp, the corners true.
TEST_F(EngineRecipeTest, FloatHeightsForUnreal) {
  TiffPlan plan;
  plan.width = plan.height = 97;
  plan.bitsPerSample = 32;
  plan.sampleFormat = 3;
  for (int32_t row = 0; row < 97; ++row) {
    for (int32_t column = 0; column < 97; ++column) {
      plan.samples.push_back(elevation(97, row, column) + 0.25);
    }
  }
  ASSERT_TRUE(writeFileBytes(dir_.file("dem.tif"), buildTiff(plan)));
  if (!toolHasTiff()) GTEST_SKIP() << "this build has no TIFF";
  ProcessResult result = runQuillorn(
      {dir_.file("dem.tif"), dir_.file("ue.r16"), "-fit", "unreal"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.errors.find("warning"), std::string::npos) << result.errors;
  auto fields = printedFields(result.errors);
  Samples file;
  ASSERT_TRUE(readSquare(dir_.file("ue.r16"), &file));
  ASSERT_EQ(file.width, 127);
  const auto metres = unrealMetres(fields);
  Terrain terrain = northUp(file, [&](int32_t v) { return metres(v) - 0.25; });
  // The engine's whole range is spent on the terrain.
  EXPECT_LE(*std::min_element(file.values.begin(), file.values.end()), 1);
  EXPECT_GE(*std::max_element(file.values.begin(), file.values.end()), 65534);
  expectCornersTrue(terrain, number(fields, "Scale Z") / 128 / 100,
                    "float heights");
}

// Unreal's size file goes beside a .raw, and beside a .r16 that is not
// square; a square .r16 needs none.
TEST_F(EngineRecipeTest, UnrealSizeFileBesideRaw) {
  run({"s.raw", "-fit", "unreal"});
  std::vector<uint8_t> json;
  ASSERT_TRUE(readFileBytes(dir_.file("s.json"), &json));
  const std::string text(json.begin(), json.end());
  EXPECT_EQ(text, "{\"width\": 253, \"height\": 253, \"bpp\": 16}\n");
  run({"q.r16", "-fit", "unreal"});
  EXPECT_FALSE(fileExists(dir_.file("q.json")));
  // 300 x 150 takes 253 x 127.
  ASSERT_TRUE(writeFileBytes(dir_.file("wide.r16"),
                             std::vector<uint8_t>(2 * 300 * 150, 7)));
  ProcessResult wide = runQuillorn({dir_.file("wide.r16"), dir_.file("w.r16"),
                                    "-dim", "300x150", "-fit", "unreal"});
  EXPECT_EQ(wide.exitStatus, 0);
  ASSERT_TRUE(readFileBytes(dir_.file("w.json"), &json));
  EXPECT_EQ(std::string(json.begin(), json.end()),
            "{\"width\": 253, \"height\": 127, \"bpp\": 16}\n");
  EXPECT_EQ(std::filesystem::file_size(dir_.file("w.r16")), 2u * 253 * 127);
}

// An output the engine does not import, or names it will not list, is
// converted all the same, with the one warning that says what to name it;
// the right names (the recipes above) have none.
TEST_F(EngineRecipeTest, OutputsTheEngineDoesNotTakeAreNamed) {
  const struct {
    const char* output;
    std::vector<std::string> fit;
    const char* says;
  } cases[] = {
      {"u.pgm",
       {"unity"},
       ": Unity imports raw heights (Import Raw, the Terrain Toolbox); name "
       "the output .raw"},
      {"u.r16",
       {"unity"},
       ": Unity's file picker and Terrain Toolbox list .raw files only; name "
       "the output .raw"},
      {"e.bmp",
       {"unreal"},
       ": Unreal imports 16-bit PNG and raw heights (.png, .r16, .raw); name "
       "the output .png or .r16"},
      {"t.raw",
       {"unreal", "-tiles", "2x2"},
       ": Unreal reads a .raw tile only with a .json of its size beside it; "
       "name the tiles .r16 or .png"},
      {"g.png",
       {"godot"},
       ": Godot reads PNG at 8 bits (256 levels); name the output .exr (full "
       "precision) or .raw for its terrain add-ons"},
      {"g.bmp",
       {"godot"},
       ": Godot's terrain add-ons import OpenEXR and raw heights; name the "
       "output .exr (full precision) or .raw"},
      {"g.r16",
       {"godot"},
       ": HTerrain imports .raw, not .r16 (Terrain3D takes both); name the "
       "output .raw for either"},
  };
  for (const auto& c : cases) {
    if (std::string(c.output) == "g.png" && !toolHasPng()) continue;
    std::vector<std::string> arguments = {dir_.file("N47E011.hgt"),
                                          dir_.file(c.output), "-fit"};
    arguments.insert(arguments.end(), c.fit.begin(), c.fit.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.output;
    const std::string errors = plainLineEnds(result.errors);
    const std::string line =
        "quillorn: warning: " + dir_.file(c.output) + c.says + "\n";
    EXPECT_NE(errors.find(line), std::string::npos) << c.output << errors;
    // That warning alone among the engine's.
    EXPECT_EQ(errors.find("; name the", errors.find(line) + line.size()),
              std::string::npos)
        << c.output << errors;
  }
}

}  // namespace
