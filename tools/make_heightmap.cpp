// make_heightmap: writes a synthetic terrain height map as a bitmap, for the
// README's sample, benchmarks and tests.
//
//   make_heightmap <output.bmp> <width> <height> [--8bit] [--top-down]
//                  [--tail <bytes>] [--seed <n>]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/bitmap_builder.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: make_heightmap <output.bmp> <width> <height> [--8bit] "
               "[--top-down] [--tail <bytes>] [--seed <n>]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  BitmapPlan plan;
  plan.width = std::atoi(argv[2]);
  plan.height = std::atoi(argv[3]);
  if (plan.width < 1 || plan.height < 1 || plan.width > 65536 ||
      plan.height > 65536) {
    std::fprintf(stderr,
                 "make_heightmap: width and height must be 1 to 65536\n");
    return 2;
  }
  bool topDown = false;
  unsigned seed = 1;
  for (int index = 4; index < argc; ++index) {
    if (std::strcmp(argv[index], "--8bit") == 0) {
      plan.bitsPerPixel = 8;
    } else if (std::strcmp(argv[index], "--top-down") == 0) {
      topDown = true;
    } else if (std::strcmp(argv[index], "--tail") == 0 && index + 1 < argc) {
      plan.tail.assign(static_cast<size_t>(std::atoi(argv[++index])), 0x5A);
    } else if (std::strcmp(argv[index], "--seed") == 0 && index + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++index], nullptr, 10));
    } else {
      return usage();
    }
  }
  HeightValue maxHeight = plan.bitsPerPixel == 8 ? 255 : 65279;
  std::vector<HeightValue> heights =
      makeTerrain(plan.width, plan.height, maxHeight, seed);
  plan.pixels =
      pixelsFromHeights(heights, plan.width, plan.height, plan.bitsPerPixel);
  if (topDown) {
    // Same picture, rows stored top first.
    size_t rowBytes = plan.pixels.size() / static_cast<size_t>(plan.height);
    std::vector<uint8_t> flipped(plan.pixels.size());
    for (int32_t row = 0; row < plan.height; ++row) {
      std::memcpy(flipped.data() + static_cast<size_t>(row) * rowBytes,
                  plan.pixels.data() +
                      static_cast<size_t>(plan.height - 1 - row) * rowBytes,
                  rowBytes);
    }
    plan.pixels.swap(flipped);
    plan.height = -plan.height;
  }
  std::vector<uint8_t> file = buildBitmap(plan);
  FILE* output = std::fopen(argv[1], "wb");
  if (output == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  bool ok = std::fwrite(file.data(), 1, file.size(), output) == file.size();
  ok = std::fclose(output) == 0 && ok;
  if (!ok) {
    std::perror(argv[1]);
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
