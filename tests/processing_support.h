// Helpers shared by the tests of the height computations: plane sets filled
// from heights or at random, random shapes, and the maps people smooth.
#ifndef QUILLORN_TESTS_PROCESSING_SUPPORT_H_
#define QUILLORN_TESTS_PROCESSING_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/height_planes.h"

// A plane set filled from heights (rows top first) with a known blue plane.
class Image {
 public:
  Image(int32_t width, int32_t height, const std::vector<HeightValue>& heights)
      : width_(width), height_(height) {
    std::string error;
    EXPECT_TRUE(allocatePlanes(&planes_, width, height, &error)) << error;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        HeightValue value = heights[static_cast<size_t>(row * width + column)];
        // 255 as red 255, green 0 (only a re-encoding turns it into 0, 1),
        // and 65280 as red 255, green 255, the one way to store it.
        if (value == 255 || value == 65280) {
          planes_.inRed[row][column] = 255;
          planes_.inGreen[row][column] = value == 255 ? 0 : 255;
        } else {
          encodeHeight(value, &planes_.inRed[row][column],
                       &planes_.inGreen[row][column]);
        }
        planes_.inBlue[row][column] = static_cast<uint8_t>(row * 16 + column);
      }
    }
  }
  ~Image() { releasePlanes(&planes_); }

  const PlaneSet& planes() const { return planes_; }
  PlaneSet* mutablePlanes() { return &planes_; }
  BytePlane* red() { return &planes_.outRed; }
  BytePlane* green() { return &planes_.outGreen; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

  std::vector<HeightValue> targetHeights() const {
    std::vector<HeightValue> heights;
    for (int32_t row = 0; row < height_; ++row) {
      for (int32_t column = 0; column < width_; ++column) {
        heights.push_back(decodeHeight(planes_.outRed[row][column],
                                       planes_.outGreen[row][column]));
      }
    }
    return heights;
  }

 private:
  int32_t width_, height_;
  PlaneSet planes_;
};

// A byte, with the encoding's edges (0, 1, 254, 255) turning up often.
uint8_t randomByte(std::mt19937& random);

// A random image whose heights avoid nothing: red 255 and green 255 included.
struct RandomImage {
  RandomImage(int32_t w, int32_t h, std::mt19937& random,
              HeightValue base = kHeightBase)
      : width(w), height(h) {
    std::string error;
    EXPECT_TRUE(allocatePlanes(&planes, w, h, &error)) << error;
    planes.base = base;
    for (int32_t row = 0; row < h; ++row) {
      for (int32_t column = 0; column < w; ++column) {
        planes.inRed[row][column] = randomByte(random);
        planes.inGreen[row][column] = randomByte(random);
        planes.inBlue[row][column] = randomByte(random);
      }
    }
  }
  ~RandomImage() { releasePlanes(&planes); }
  // Takes other's pixels (of the same size).
  void copyFrom(const RandomImage& other) {
    for (int32_t row = 0; row < height; ++row) {
      std::memcpy(planes.inRed[row], other.planes.inRed[row],
                  static_cast<size_t>(width));
      std::memcpy(planes.inGreen[row], other.planes.inGreen[row],
                  static_cast<size_t>(width));
      std::memcpy(planes.inBlue[row], other.planes.inBlue[row],
                  static_cast<size_t>(width));
    }
  }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> all;
    for (int32_t row = 0; row < height; ++row) {
      all.insert(all.end(), planes.outRed[row], planes.outRed[row] + width);
      all.insert(all.end(), planes.outGreen[row], planes.outGreen[row] + width);
      all.insert(all.end(), planes.outBlue[row], planes.outBlue[row] + width);
    }
    return all;
  }
  int32_t width, height;
  PlaneSet planes;
};

struct Shape {
  int32_t width, height;
};

// count random shapes up to 67 wide and maxHeight tall, then the fixed ones.
std::vector<Shape> randomShapes(std::mt19937& random, int count,
                                uint32_t maxHeight,
                                std::initializer_list<Shape> fixed);

// Wider than a block, taller than a band of rows.
std::vector<Shape> differentialShapes(std::mt19937& random);

// The maps people smooth: random bytes, a grey map (red = green = blue)
// with white areas, whose white decodes to 65280, sometimes in the first
// cell's corner, and a map of 65280 alone.
enum class MapKind { kRandom, kGreyWithWhite, kWhite };
// Paints a map of kind over image's source planes.
void paintMap(RandomImage* image, MapKind kind, std::mt19937& random);

// What a smoothing case is, for its failure messages.
std::string smoothingCase(Shape shape, int32_t passes, HeightValue base,
                          MapKind kind);

// A map for the smoothing engines and what the cell-by-cell rule
// (smoothHeightsDirect) makes of it.
struct EngineCase {
  Shape shape;
  int32_t passes;
  HeightValue base;
  const RandomImage* source;
  const RandomImage* expected;
  std::string what;  // for failure messages
  // A fresh copy of the source.
  std::unique_ptr<RandomImage> copy() const;
};

// Runs check on every kind of map over shapes across the lanes' bands (32
// rows) and skewed steps (124 columns between a band's first and last row),
// pass groups and early stops; stops at check's first fatal failure.
void forEachEngineCase(const std::function<void(const EngineCase&)>& check);

#endif  // QUILLORN_TESTS_PROCESSING_SUPPORT_H_
