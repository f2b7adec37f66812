#include "processing/nodata_fill.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A map of heights (row by row) with marks where '#' stands in the layout.
struct Marked {
  Marked(int32_t mapWidth, const std::vector<HeightValue>& heights,
         const std::string& layout)
      : width(mapWidth),
        height(static_cast<int32_t>(heights.size()) / mapWidth) {
    std::string error;
    EXPECT_TRUE(allocatePlanes(&planes, width, height, &error)) << error;
    planes.base = kWideBase;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        const size_t at = static_cast<size_t>(row * width + column);
        storeHeight(kWideBase, heights[at], &planes.outRed[row][column],
                    &planes.outGreen[row][column]);
        planes.outBlue[row][column] = layout[at] == '#' ? 1 : 0;
      }
    }
  }
  ~Marked() { releasePlanes(&planes); }
  HeightValue at(int32_t row, int32_t column) const {
    return decodeHeightIn(kWideBase, planes.outRed[row][column],
                          planes.outGreen[row][column]);
  }
  int32_t width, height;
  PlaneSet planes;
};

// Each mark takes the 1 / d^2 mean of the nearest unmarked height along
// each of the eight ways within reach (diagonal steps sqrt(2)); none
// found, it keeps its height, and its mark (as 1); filled ones are cleared.
TEST(NodataFillTest, InverseDistanceAlongEightWaysWithinReach) {
  struct Case {
    const char* what;
    int32_t width;
    std::vector<HeightValue> heights;
    std::string layout;
    int32_t reach;
    std::vector<HeightValue> filled;
    int64_t filledCount, keptCount;
    std::string marksAfter;  // '#' where a mark stays
  };
  const Case cases[] = {
      // Left 100 at 1, right 400 at 2: (100 + 400 / 4) / (1 + 1 / 4) = 160.
      {"a row", 4, {100, 7, 7, 400}, ".##.", 5, {100, 160, 340, 400}, 2, 0, "...."},
      {"out of reach",
       5,
       {100, 7, 7, 7, 7},
       ".####",
       2,
       {100, 100, 100, 7, 7},
       2,
       2,
       "...##"},
      // The diagonal neighbour is sqrt(2) away: beyond a reach of 1.
      {"a diagonal beyond reach",
       2,
       {100, 7, 7, 9},
       ".###",
       1,
       {100, 100, 100, 9},
       2,
       1,
       "...#"},
      {"reach 0 fills nothing",
       3,
       {100, 7, 300},
       ".#.",
       0,
       {100, 7, 300},
       0,
       1,
       ".#."},
      // Centre of a 3 x 3 ring: four at 1 (10, 20, 30, 40) and four
      // corners at sqrt(2) (50 each): (100 + 100) / (4 + 2) = 33.3.
      {"a hole in a ring",
       3,
       {50, 10, 50, 20, 0, 30, 50, 40, 50},
       "....#....",
       3,
       {50, 10, 50, 20, 33, 30, 50, 40, 50},
       1,
       0,
       "........."},
  };
  for (const Case& c : cases) {
    Marked map(c.width, c.heights, c.layout);
    const FillOutcome outcome = fillNodata(&map.planes, &map.planes.outBlue,
                                           map.width, map.height, c.reach);
    EXPECT_EQ(outcome.filled, c.filledCount) << c.what;
    EXPECT_EQ(outcome.kept, c.keptCount) << c.what;
    for (int32_t row = 0; row < map.height; ++row) {
      for (int32_t column = 0; column < map.width; ++column) {
        EXPECT_EQ(map.at(row, column),
                  c.filled[static_cast<size_t>(row * map.width + column)])
            << c.what << " " << row << ", " << column;
        const size_t at = static_cast<size_t>(row * map.width + column);
        EXPECT_EQ(map.planes.outBlue[row][column],
                  c.marksAfter[at] == '#' ? 1 : 0)
            << c.what << " " << row << ", " << column;
      }
    }
  }
}

// A sea of marks 300 wide: only its coast is filled, the far side kept,
// whatever the reach's relation to the distance bound of 255 steps.
TEST(NodataFillTest, FarSeasAreKept) {
  for (int32_t reach : {3, 254, 300}) {
    std::vector<HeightValue> heights(301, 7);
    heights[0] = 1000;
    std::string layout(301, '#');
    layout[0] = '.';
    Marked map(301, heights, layout);
    const FillOutcome outcome = fillNodata(&map.planes, &map.planes.outBlue,
                                           map.width, map.height, reach);
    EXPECT_EQ(outcome.filled, std::min(reach, 300)) << reach;
    EXPECT_EQ(outcome.kept, 300 - std::min(reach, 300)) << reach;
    EXPECT_EQ(map.at(0, 300), reach >= 300 ? 1000 : 7) << reach;
  }
}

// A kept nodata's value in a 16-bit output: 65535 unless a valid height
// holds it, then 0 unless one holds that; marked heights do not count.
TEST(NodataFillTest, NodataValueIsOneNoValidHeightTakes) {
  struct Case {
    const char* what;
    std::vector<HeightValue> heights;
    std::string layout;
    int32_t nodata;
  };
  const Case cases[] = {
      {"the top free", {0, 65534, 5}, "..#", 65535},
      {"the top taken", {1, 65535, 5}, "..#", 0},
      {"the top taken by a mark only", {0, 65534, 65535}, "..#", 65535},
      {"the bottom taken by a mark only", {0, 65535, 7}, "#..", 0},
      {"both taken", {0, 65535, 7}, "..#", -1},
  };
  for (const Case& c : cases) {
    Marked map(3, c.heights, c.layout);
    EXPECT_EQ(chooseNodataHeight(map.planes, map.planes.outBlue, map.width,
                                 map.height),
              c.nodata)
        << c.what;
  }
}

}  // namespace
