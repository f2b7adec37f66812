#include "processing/float_turns.h"

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

struct Grid {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<float> cells;
  float at(int32_t row, int32_t column) const {
    return cells[static_cast<size_t>(row * width + column)];
  }
};

// Each turn by its own index mapping, one after another.
Grid turnedByHand(Grid grid, const Turns& turns) {
  for (PlaneTurn turn : turns) {
    const bool quarter = turn == k90 || turn == k270;
    Grid out;
    out.width = quarter ? grid.height : grid.width;
    out.height = quarter ? grid.width : grid.height;
    const int32_t w = grid.width, h = grid.height;
    for (int32_t r = 0; r < out.height; ++r) {
      for (int32_t c = 0; c < out.width; ++c) {
        float value = 0;
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

// Lists giving all eight ways a grid can lie, some through several turns.
TEST(FloatTurnsTest, EveryOrientationIsTheTurnsExactPermutation) {
  const Turns lists[] = {
      {},     {kH},      {kV},      {k90},          {k180},
      {k270}, {kH, k90}, {k90, kH}, {kV, k270, kH}, {k90, k180, kV, k90}};
  // Shapes: wide, tall, square (in place), and past a 64-value tile.
  const int32_t shapes[][2] = {{5, 3}, {3, 7},   {4, 4},
                               {1, 6}, {70, 67}, {67, 67}};
  for (const auto& shape : shapes) {
    Grid grid{shape[0], shape[1], {}};
    for (int32_t i = 0; i < shape[0] * shape[1]; ++i) {
      grid.cells.push_back(i % 11 == 3 ? std::nanf("")
                                       : 0.25f * static_cast<float>(i) - 7.5f);
    }
    for (const Turns& turns : lists) {
      FloatPlane plane;
      std::string error;
      ASSERT_TRUE(allocateFloatPlane(&plane, grid.width, grid.height, &error));
      std::copy(grid.cells.begin(), grid.cells.end(), plane.values);
      ASSERT_TRUE(applyFloatTurns(turns, &plane, &error));
      const Grid want = turnedByHand(grid, turns);
      ASSERT_EQ(plane.width, want.width);
      ASSERT_EQ(plane.height, want.height);
      for (size_t i = 0; i < want.cells.size(); ++i) {
        const float got = plane.values[i];
        ASSERT_TRUE(std::isnan(want.cells[i]) ? std::isnan(got)
                                              : got == want.cells[i])
            << shape[0] << " x " << shape[1] << ", " << turns.size()
            << " turns, value " << i;
      }
      releaseFloatPlane(&plane);
    }
  }
}

}  // namespace
