#include "processing/map_window.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// 30 m pixels from (1000, 2000) at the top left, north up.
Affine metres() {
  Affine model;
  model.a = 30;
  model.c = 1000;
  model.e = -30;
  model.f = 2000;
  return model;
}

TEST(MapWindowTest, BoundsTakeTheFewestSamplesCoveringThem) {
  struct Case {
    const char* what;
    bool pointSamples;
    GeoBounds bounds;
    MapWindow window;  // width 0: refused
  };
  // A 10 x 8 map: areas from 1000 to 1300 east, 1760 to 2000 north;
  // points from 1000 to 1270 and 1790 to 2000.
  const Case cases[] = {
      {"within pixels", false, {1045, 1850, 1100, 1990}, {1, 0, 3, 5}},
      {"on pixel borders", false, {1030, 1850, 1090, 1970}, {1, 1, 2, 4}},
      {"a hair past a border",
       false,
       {1030, 1850, 1090.01, 1970},
       {1, 1, 3, 4}},
      {"the whole map", false, {1000, 1760, 1300, 2000}, {0, 0, 10, 8}},
      {"past the east", false, {1030, 1850, 1300.1, 1970}, {}},
      {"past the south", false, {1030, 1759.9, 1090, 1970}, {}},
      {"on samples", true, {1030, 1850, 1090, 1970}, {1, 1, 3, 5}},
      {"between samples", true, {1031, 1851, 1089, 1969}, {1, 1, 3, 5}},
      {"the last sample", true, {1000, 1790, 1270, 2000}, {0, 0, 10, 8}},
      {"past the last sample", true, {1000, 1790, 1271, 2000}, {}},
  };
  for (const Case& c : cases) {
    MapWindow window;
    const bool found =
        windowOfBounds(metres(), c.pointSamples, 10, 8, c.bounds, &window);
    EXPECT_EQ(found, c.window.width > 0) << c.what;
    if (!found || c.window.width == 0) continue;
    EXPECT_EQ(windowText(window), windowText(c.window)) << c.what;
  }
  const GeoBounds areas = boundsOfMap(metres(), false, 10, 8);
  EXPECT_EQ(areas.east, 1300);
  EXPECT_EQ(areas.south, 1760);
  const GeoBounds points = boundsOfMap(metres(), true, 10, 8);
  EXPECT_EQ(points.east, 1270);
  EXPECT_EQ(points.south, 1790);
}

TEST(MapWindowTest, ParsesWindowsAndBoundsOfTheirFormOnly) {
  MapWindow window;
  EXPECT_TRUE(parseMapWindow("40x3+0+7", &window));
  EXPECT_EQ(windowText(window), "40x3+0+7");
  for (const char* text : {"40x3+0", "40x3+0+7+", "0x3+0+0", "40x3-1+0",
                           "40x3+0+4294967296", "x3+0+0", "40 x3+0+0"}) {
    EXPECT_FALSE(parseMapWindow(text, &window)) << text;
  }
  GeoBounds bounds;
  EXPECT_TRUE(parseGeoBounds("-122.5,47,-121,4.75e1", &bounds));
  EXPECT_EQ(bounds.north, 47.5);
  for (const char* text : {"0,0,1", "0,0,1,1,", "1,0,1,1", "0,1,1,1",
                           "0,0,1,nan", "0,0,inf,1", "0;0;1;1"}) {
    EXPECT_FALSE(parseGeoBounds(text, &bounds)) << text;
  }
  EXPECT_TRUE(windowFits({5, 4, 4, 3}, 9, 7));
  EXPECT_FALSE(windowFits({6, 4, 4, 3}, 9, 7));
  EXPECT_FALSE(windowFits({5, 5, 4, 3}, 9, 7));
}

TEST(MapWindowTest, CutsPlanesAndFloatsInTheirOwnMemory) {
  const int32_t width = 7, height = 5;
  const MapWindow window = {2, 1, 4, 3};
  for (BlueUse blue : {BlueUse::kPixels, BlueUse::kMarks}) {
    PlaneSet planes;
    std::string error;
    ASSERT_TRUE(allocatePlanes(&planes, width, height, &error, blue));
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        planes.inRed[row][column] = static_cast<uint8_t>(row * 10 + column);
        planes.inGreen[row][column] = static_cast<uint8_t>(100 + row);
        if (blue == BlueUse::kPixels) {
          planes.inBlue[row][column] = static_cast<uint8_t>(200 + column);
        }
      }
    }
    cutPlanesToWindow(&planes, window);
    for (int32_t row = 0; row < window.height; ++row) {
      for (int32_t column = 0; column < window.width; ++column) {
        EXPECT_EQ(planes.outRed[row][column], (row + 1) * 10 + column + 2);
        EXPECT_EQ(planes.outGreen[row][column], 101 + row);
        if (blue == BlueUse::kPixels) {
          EXPECT_EQ(planes.outBlue[row][column], 202 + column);
        }
      }
    }
    releasePlanes(&planes);
  }
  FloatPlane floats;
  std::string error;
  ASSERT_TRUE(allocateFloatPlane(&floats, width, height, &error));
  for (int32_t row = 0; row < height; ++row) {
    for (int32_t column = 0; column < width; ++column) {
      floats.row(row)[column] = static_cast<float>(row * 100 + column);
    }
  }
  cutFloatsToWindow(&floats, window);
  EXPECT_EQ(floats.width, 4);
  EXPECT_EQ(floats.height, 3);
  for (int32_t row = 0; row < window.height; ++row) {
    for (int32_t column = 0; column < window.width; ++column) {
      EXPECT_EQ(floats.row(row)[column],
                static_cast<float>((row + 1) * 100 + column + 2));
    }
  }
  releaseFloatPlane(&floats);
}

}  // namespace
