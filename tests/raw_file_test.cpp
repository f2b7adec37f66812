#include "image/raw_file.h"

#include <gtest/gtest.h>

#include <string>

#include "image/height_formats.h"

namespace {

TEST(RawFileTest, SizesComeFromTheLengthOrFromDim) {
  struct Case {
    int64_t fileSize;
    RasterSize dim;  // 0 x 0: no -dim
    int64_t sampleBytes;
    int32_t width;  // 0: refused with error
    int32_t height;
    std::string error;
  };
  const std::string kSquare =
      ", not 2 x n x n for a square map (2 bytes a height); give its size "
      "with -dim <width>x<height>";
  const Case kCases[] = {
      {8, {0, 0}, 2, 2, 2, ""},
      {int64_t{2} << 32, {0, 0}, 2, 65536, 65536, ""},
      {16, {0, 0}, 4, 2, 2, ""},
      {0, {0, 0}, 2, 0, 0, "Raw height file has 0 bytes" + kSquare},
      {6, {0, 0}, 2, 0, 0, "Raw height file has 6 bytes" + kSquare},
      {12, {3, 2}, 2, 3, 2, ""},
      {12,
       {2, 2},
       2,
       0,
       0,
       "Raw height file has 12 bytes, but -dim 2x2 needs 8 (2 bytes a "
       "height)"},
      {8,
       {3, 1},
       4,
       0,
       0,
       "Raw float file has 8 bytes, but -dim 3x1 needs 12 (4 bytes a "
       "float)"},
  };
  for (const Case& c : kCases) {
    const std::string label = std::to_string(c.fileSize) + " bytes, -dim " +
                              std::to_string(c.dim.width) + "x" +
                              std::to_string(c.dim.height);
    InputImage image;
    std::string error;
    const RasterSize* dim = c.dim.width > 0 ? &c.dim : nullptr;
    EXPECT_EQ(inspectRaw(c.fileSize, dim, c.sampleBytes, &image, &error),
              c.width > 0)
        << label;
    EXPECT_EQ(error, c.error) << label;
    if (c.width == 0) continue;
    EXPECT_EQ(image.width, c.width) << label;
    EXPECT_EQ(image.height, c.height) << label;
  }
}

TEST(RawFileTest, SrtmTilesAreSquare) {
  InputImage image;
  std::string error;
  EXPECT_TRUE(inspectHgt(2 * 3601 * 3601, &image, &error));
  EXPECT_EQ(image.width, 3601);
  EXPECT_EQ(image.height, 3601);
  EXPECT_FALSE(inspectHgt(2 * 1201 * 1200, &image, &error));
  EXPECT_EQ(error,
            "SRTM tile has 2882400 bytes, not 2 x n x n for a square tile "
            "(1201 x 1201 or 3601 x 3601, 2 bytes a height)");
}

}  // namespace
