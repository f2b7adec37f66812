#include "processing/smoothing_rows.h"

#include <gtest/gtest.h>

#include "processing_support.h"

namespace {

// The row engine, held to the plain rule on every kind of map, across bands,
// pass groups and early stops.
TEST(SmoothingRowsDifferentialTest, MatchesTheCellByCellRule) {
  forEachEngineCase([](const EngineCase& c) {
    auto rows = c.copy();
    ASSERT_TRUE(smoothHeightsInRows(c.passes, &rows->planes.outRed,
                                    &rows->planes.outGreen, c.shape.width,
                                    c.shape.height, c.base, nullptr));
    ASSERT_EQ(rows->bytes(), c.expected->bytes()) << c.what;
  });
}

}  // namespace
