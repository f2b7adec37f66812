#include "app/run_stages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "app/run_input.h"
#include "image/input_reading.h"
#include "support/bitmap_builder.h"
#include "test_support.h"

namespace {

// Each stage prints its line before it runs, whatever order the switches
// came in, and the target planes carry the heights each stage made.
TEST(RunStagesTest, EachStageItsLineAndItsHeights) {
  TempDir dir;
  BitmapPlan plan;
  plan.width = 4;  // heights 10, 255, 610, 254
  plan.pixels = {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254};
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), buildBitmap(plan)));
  const std::string reading =
      "Reading input header...\nInitializing temp arrays...\nReading input "
      "height...\nConverting...\n";
  const std::string writing =
      "Writing output header...\nWriting output height...\nFinishing "
      "output...\n";
  const struct {
    std::vector<const char*> switches;
    std::string lines;
    std::vector<HeightValue> heights;
  } cases[] = {
      // Nothing changes a height: the rows are copied, no planes made.
      {{}, reading + writing, {}},
      {{"-smo", "0"}, reading + "Smooth x0\n" + writing, {10, 255, 610, 254}},
      {{"-sca", "2"}, reading + writing, {20, 510, 1220, 508}},
      {{"-min", "3"},
       reading + "Minimum elevation 3\n" + writing,
       {3, 248, 603, 247}},
      {{"-min", "3", "-smo", "0"},
       reading + "Smooth x0\nMinimum elevation 3\n" + writing,
       {3, 248, 603, 247}},
  };
  for (const auto& c : cases) {
    const std::string input = dir.file("in.bmp");
    const std::string output = dir.file("out.bmp");
    std::vector<const char*> argv = {"q", input.c_str(), output.c_str()};
    argv.insert(argv.end(), c.switches.begin(), c.switches.end());
    const RunOptions options =
        findRunOptions(static_cast<int>(argv.size()), argv.data());
    std::ostringstream console, diagnostics;
    RunFiles files;
    std::string error;
    ASSERT_TRUE(
        openRunInput(argv[1], argv[2], options, &files, console, diagnostics));
    ASSERT_TRUE(planRunGeometry(options, 4, 1, &files.geometry, &error));
    files.outputPaths = {output};
    ASSERT_TRUE(openRunOutputs(argv[2], options, &files, console, diagnostics));
    PlaneSet planes;
    StageCounts counts;
    WrittenHeights written;
    EXPECT_TRUE(runStages(&files, options, &planes, &counts, &written, console,
                          diagnostics, &error))
        << error;
    EXPECT_EQ(console.str(), c.lines) << c.switches.size();
    EXPECT_EQ(planes.width, c.heights.empty() ? 0 : 4) << c.switches.size();
    for (int32_t column = 0; column < planes.width; ++column) {
      EXPECT_EQ(decodeHeightIn(planes.base, planes.outRed[0][column],
                               planes.outGreen[0][column]),
                c.heights[static_cast<size_t>(column)])
          << column;
    }
    releasePlanes(&planes);
    releaseOutput(&files.target);
    abandonFiles(&files);
    discardRunFiles(&files);
  }
}

// The stages run in the order the switches' help and the README tell:
// reading with its fill first, the shape, then the heights, then the files.
TEST(RunStagesTest, StagesRunInTheirOrder) {
  std::vector<std::string> names;
  for (const RunStage& stage : runStageTable()) names.push_back(stage.name);
  EXPECT_EQ(names, (std::vector<std::string>{"read", "fill", "window", "turn",
                                             "resample", "scale", "smooth",
                                             "minimum", "write", "picture"}));
}

// Raw floats through the stages stay floats: -sca multiplies, -min shifts
// the lowest valid value to it, a flip moves them, NaN stays nodata, and
// the output holds the results exactly, with the byte path's lines.
TEST(RunStagesTest, FloatHeightsStayFloats) {
  TempDir dir;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> samples = {1.5f, -2.25f, nan, 100.125f};
  std::vector<uint8_t> bytes(4 * samples.size());
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  ASSERT_TRUE(writeFileBytes(dir.file("in.r32"), bytes));
  const std::string lines =
      "Reading input header...\nInitializing temp arrays...\nReading input "
      "height...\nConverting...\nMinimum elevation 3\nWriting output "
      "header...\nWriting output height...\nFinishing output...\n";
  const struct {
    std::vector<const char*> switches;
    std::vector<float> values;
  } cases[] = {
      {{"-sca", "2", "-min", "3"}, {10.5f, 3.0f, nan, 207.75f}},
      {{"-min", "3", "-flip", "horizontal"}, {105.375f, nan, 3.0f, 6.75f}},
  };
  for (const auto& c : cases) {
    const std::string input = dir.file("in.r32");
    const std::string output = dir.file("out.r32");
    std::vector<const char*> argv = {"q", input.c_str(), output.c_str(), "-dim",
                                     "4x1"};
    argv.insert(argv.end(), c.switches.begin(), c.switches.end());
    const RunOptions options =
        findRunOptions(static_cast<int>(argv.size()), argv.data());
    std::ostringstream console, diagnostics;
    RunFiles files;
    std::string error;
    ASSERT_TRUE(
        openRunInput(argv[1], argv[2], options, &files, console, diagnostics));
    ASSERT_TRUE(readsAsFloats(files.source));
    ASSERT_TRUE(planRunGeometry(options, 4, 1, &files.geometry, &error));
    files.outputPaths = {output};
    ASSERT_TRUE(openRunOutputs(argv[2], options, &files, console, diagnostics));
    PlaneSet planes;
    StageCounts counts;
    WrittenHeights written;
    EXPECT_TRUE(runStages(&files, options, &planes, &counts, &written, console,
                          diagnostics, &error))
        << error;
    EXPECT_EQ(console.str(), lines) << c.switches[0];
    EXPECT_TRUE(written.floats);
    EXPECT_EQ(planes.outRed.rows, nullptr) << "no byte planes for floats";
    releasePlanes(&planes);
    releaseOutput(&files.target);
    abandonFiles(&files);
    ASSERT_TRUE(commitRunFiles(&files, console, diagnostics));
    std::vector<uint8_t> got;
    ASSERT_TRUE(readFileBytes(output, &got));
    ASSERT_EQ(got.size(), 4 * c.values.size());
    for (size_t at = 0; at < c.values.size(); ++at) {
      float value;
      std::memcpy(&value, got.data() + 4 * at, 4);
      if (std::isnan(c.values[at])) {
        EXPECT_TRUE(std::isnan(value)) << at;
      } else {
        EXPECT_EQ(value, c.values[at]) << c.switches[0] << " " << at;
      }
    }
  }
}

}  // namespace
