#include "app/run_files.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Everything committed or discarded together: the output, the other tiles,
// the world files, the size file and the picture last; and the size file's
// text for the map's size.
TEST(RunFilesTest, OutputsInCommitOrderAndTheSizeFile) {
  RunFiles files;
  files.tiles.resize(2);
  files.worlds.resize(3);
  std::vector<OutputFile*> expected = {&files.output,    &files.tiles[0],
                                       &files.tiles[1],  &files.worlds[0],
                                       &files.worlds[1], &files.worlds[2]};
  EXPECT_EQ(allOutputs(&files), expected);
  files.sidecarWanted = true;
  files.viewWanted = true;
  expected.push_back(&files.sidecar);
  expected.push_back(&files.view);
  EXPECT_EQ(allOutputs(&files), expected);

  files.geometry.width = 2017;
  files.geometry.height = 1009;
  EXPECT_EQ(sidecarText(files),
            "{\"width\": 2017, \"height\": 1009, \"bpp\": 16}\n");
}

}  // namespace
