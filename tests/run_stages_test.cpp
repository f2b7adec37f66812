#include "app/run_stages.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

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
      {{}, reading + writing, {10, 255, 610, 254}},
      {{"-sca", "2"}, reading + writing, {20, 510, 1220, 508}},
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
    for (int32_t column = 0; column < 4; ++column) {
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

}  // namespace
