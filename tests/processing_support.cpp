#include "processing_support.h"

#include <memory>

#include "processing/smoothing.h"

uint8_t randomByte(std::mt19937& random) {
  static const uint8_t kEdges[] = {0, 1, 254, 255};
  return random() % 4 == 0 ? kEdges[random() % 4]
                           : static_cast<uint8_t>(random());
}

std::vector<Shape> randomShapes(std::mt19937& random, int count,
                                uint32_t maxHeight,
                                std::initializer_list<Shape> fixed) {
  std::vector<Shape> shapes;
  for (int i = 0; i < count; ++i) {
    shapes.push_back({static_cast<int32_t>(1 + random() % 67),
                      static_cast<int32_t>(1 + random() % maxHeight)});
  }
  shapes.insert(shapes.end(), fixed);
  return shapes;
}

std::vector<Shape> differentialShapes(std::mt19937& random) {
  return randomShapes(
      random, 150, 9,
      {Shape{255, 3}, Shape{256, 17}, Shape{257, 9}, Shape{600, 20},
       Shape{1, 40}, Shape{513, 1}, Shape{770, 11}});
}

void paintMap(RandomImage* image, MapKind kind, std::mt19937& random) {
  if (kind == MapKind::kRandom) return;
  struct Area {
    int32_t top, left, bottom, right;
  };
  std::vector<Area> white;
  for (int i = 0; i < 3; ++i) {
    int32_t top = static_cast<int32_t>(random() % image->height);
    int32_t left = static_cast<int32_t>(random() % image->width);
    if (i == 0 && random() % 2 == 0) top = left = 0;
    white.push_back({top, left, top + 1 + static_cast<int32_t>(random() % 40),
                     left + 1 + static_cast<int32_t>(random() % 90)});
  }
  for (int32_t row = 0; row < image->height; ++row) {
    for (int32_t column = 0; column < image->width; ++column) {
      bool inWhite = kind == MapKind::kWhite;
      for (const Area& area : white) {
        inWhite = inWhite || (row >= area.top && row < area.bottom &&
                              column >= area.left && column < area.right);
      }
      uint8_t grey = inWhite ? 255 : static_cast<uint8_t>(random() % 255);
      image->planes.inRed[row][column] = grey;
      image->planes.inGreen[row][column] = grey;
      image->planes.inBlue[row][column] = grey;
    }
  }
}

std::string smoothingCase(Shape shape, int32_t passes, HeightValue base,
                          MapKind kind) {
  return std::to_string(shape.width) + " x " + std::to_string(shape.height) +
         ", " + std::to_string(passes) + " passes, base " +
         std::to_string(base) + ", map kind " +
         std::to_string(static_cast<int>(kind));
}

std::unique_ptr<RandomImage> EngineCase::copy() const {
  std::mt19937 unused(0);
  auto image =
      std::make_unique<RandomImage>(shape.width, shape.height, unused, base);
  image->copyFrom(*source);
  return image;
}

void forEachEngineCase(const std::function<void(const EngineCase&)>& check) {
  std::mt19937 random(23);
  std::vector<Shape> shapes =
      randomShapes(random, 60, 100,
                   {Shape{125, 32}, Shape{126, 33}, Shape{300, 65},
                    Shape{257, 97}, Shape{1, 40}, Shape{700, 7}, Shape{70, 420},
                    Shape{2, 2}, Shape{1, 1}, Shape{1, 2}, Shape{2, 1}});
  for (Shape shape : shapes) {
    int32_t passes = static_cast<int32_t>(random() % 5);
    // More passes than a group, over more bands than the ring holds.
    if (random() % 3 == 0 || shape.height > 100)
      passes = static_cast<int32_t>(9 + random() % 9);
    if (shape.width * shape.height <= 60 && random() % 4 == 0) passes = 5000;
    HeightValue base = random() % 2 == 0 ? kHeightBase : kWideBase;
    MapKind kind = static_cast<MapKind>(random() % 3);
    RandomImage source(shape.width, shape.height, random, base);
    paintMap(&source, kind, random);
    EngineCase engineCase{shape,   passes,
                          base,    &source,
                          nullptr, smoothingCase(shape, passes, base, kind)};
    std::unique_ptr<RandomImage> expected = engineCase.copy();
    smoothHeightsDirect(passes, &expected->planes.outRed,
                        &expected->planes.outGreen, shape.width, shape.height,
                        base);
    engineCase.expected = expected.get();
    check(engineCase);
    if (::testing::Test::HasFatalFailure()) return;
  }
}
