#include "processing/plane_turns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Turns = std::vector<PlaneTurn>;
constexpr PlaneTurn kH = PlaneTurn::kFlipHorizontal;
constexpr PlaneTurn kV = PlaneTurn::kFlipVertical;
constexpr PlaneTurn k90 = PlaneTurn::kRotate90;
constexpr PlaneTurn k180 = PlaneTurn::kRotate180;
constexpr PlaneTurn k270 = PlaneTurn::kRotate270;

// A grid of values, rows top first.
struct Grid {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<int> cells;
  int at(int32_t row, int32_t column) const {
    return cells[static_cast<size_t>(row * width + column)];
  }
};

// Each turn by its own index mapping, one after another: the reference.
Grid turnedByHand(Grid grid, const Turns& turns) {
  for (PlaneTurn turn : turns) {
    const bool quarter = turn == k90 || turn == k270;
    Grid out;
    out.width = quarter ? grid.height : grid.width;
    out.height = quarter ? grid.width : grid.height;
    const int32_t w = grid.width, h = grid.height;
    for (int32_t r = 0; r < out.height; ++r) {
      for (int32_t c = 0; c < out.width; ++c) {
        int value = 0;
        switch (turn) {
          case kH:
            value = grid.at(r, w - 1 - c);
            break;
          case kV:
            value = grid.at(h - 1 - r, c);
            break;
          case k90:
            value = grid.at(h - 1 - c, r);
            break;
          case k180:
            value = grid.at(h - 1 - r, w - 1 - c);
            break;
          case k270:
            value = grid.at(c, w - 1 - r);
            break;
        }
        out.cells.push_back(value);
      }
    }
    grid = out;
  }
  return grid;
}

// Red, green and blue each told apart from the others and from every
// other pixel (within a byte for the maps here).
uint8_t planeValue(int plane, int32_t row, int32_t column, int32_t width) {
  return static_cast<uint8_t>(plane * 85 + row * width + column);
}

TEST(PlaneTurnsTest, EveryTurnAndListMatchesItsIndexMapping) {
  const Turns lists[] = {{},
                         {kH},
                         {kV},
                         {k90},
                         {k180},
                         {k270},
                         {kH, k90},
                         {k90, kH},
                         {kV, k270, kH},
                         {kH, kH},
                         {k90, k180},
                         {k270, k90, kV, k180, kH},
                         {k90, k90, k90, k90}};
  const int32_t sizes[][2] = {{5, 3}, {4, 4}, {1, 6}, {131, 67}, {70, 70}};
  for (const auto& size : sizes) {
    for (const Turns& turns : lists) {
      PlaneSet planes;
      std::string error;
      ASSERT_TRUE(allocatePlanes(&planes, size[0], size[1], &error));
      planes.base = kWideBase;
      BytePlane* all[] = {&planes.inRed, &planes.inGreen, &planes.inBlue};
      Grid source{size[0], size[1], {}};
      for (int32_t row = 0; row < size[1]; ++row) {
        for (int32_t column = 0; column < size[0]; ++column) {
          source.cells.push_back(row * size[0] + column);
          for (int plane = 0; plane < 3; ++plane) {
            (*all[plane])[row][column] =
                planeValue(plane, row, column, size[0]);
          }
        }
      }
      const Grid expected = turnedByHand(source, turns);
      if (turns.size() == 4 && turns[1] == k90) {
        // Four quarter turns give the map back.
        ASSERT_EQ(expected.cells, source.cells);
      }
      int32_t width = size[0], height = size[1];
      ASSERT_TRUE(applyPlaneTurns(turns, &planes, &width, &height, &error));
      ASSERT_EQ(width, expected.width);
      ASSERT_EQ(height, expected.height);
      EXPECT_EQ(planes.base, kWideBase);
      const BytePlane* targets[] = {&planes.outRed, &planes.outGreen,
                                    &planes.outBlue};
      for (int32_t row = 0; row < height; ++row) {
        for (int32_t column = 0; column < width; ++column) {
          int from = expected.at(row, column);
          for (int plane = 0; plane < 3; ++plane) {
            ASSERT_EQ(
                (*targets[plane])[row][column],
                planeValue(plane, from / size[0], from % size[0], size[0]))
                << size[0] << "x" << size[1] << " list of " << turns.size()
                << " at " << row << ", " << column << " plane " << plane;
          }
        }
      }
      releasePlanes(&planes);
    }
  }
}

TEST(PlaneTurnsTest, ParsesTheSwitchesValues) {
  PlaneTurn turn = kH;
  EXPECT_TRUE(parsePlaneTurn("-flip", "vertical", &turn) && turn == kV);
  EXPECT_TRUE(parsePlaneTurn("-rotate", "270", &turn) && turn == k270);
  EXPECT_TRUE(parsePlaneTurn("-flip", "horizontal", &turn) && turn == kH);
  for (const char* value : {"-90", "360", "Horizontal", "90"}) {
    EXPECT_FALSE(parsePlaneTurn("-flip", value, &turn)) << value;
  }
  EXPECT_FALSE(parsePlaneTurn("-rotate", "vertical", &turn));
  EXPECT_EQ(turn, kH);
}

}  // namespace
