// make_heightmap: writes a synthetic height map as a bitmap, for the
// README's sample, benchmarks and tests: generated terrain, the grey map a
// painter makes (red = green = blue, the peaks white, which decodes to
// 65280), or random bytes.
//
//   make_heightmap <output.bmp> <width> <height> [--8bit] [--top-down]
//                  [--tail <bytes>] [--seed <n>] [--kind terrain|grey|random]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "support/bitmap_builder.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: make_heightmap <output.bmp> <width> <height> [--8bit] "
               "[--top-down] [--tail <bytes>] [--seed <n>] "
               "[--kind terrain|grey|random]\n");
  return 2;
}

enum class MapKind { kTerrain, kGrey, kRandom };

// The terrain painted in grey levels, its top seventh white.
std::vector<uint8_t> greyPixels(const std::vector<HeightValue>& terrain,
                                int32_t width, int32_t height, int bits) {
  const size_t bytesPerPixel = bits == 8 ? 1 : 3;
  const size_t columns = static_cast<size_t>(width);
  std::vector<uint8_t> pixels(bytesPerPixel * terrain.size());
  for (int32_t row = 0; row < height; ++row) {
    // Bitmap rows run bottom-up.
    size_t fileRow = static_cast<size_t>(height - 1 - row);
    for (size_t column = 0; column < columns; ++column) {
      HeightValue value = terrain[static_cast<size_t>(row) * columns + column];
      uint8_t grey = static_cast<uint8_t>(std::min<int64_t>(
          255, int64_t{value} * 255 * 7 / 6 / kLargestStoredHeight));
      for (size_t byte = 0; byte < bytesPerPixel; ++byte) {
        pixels[(fileRow * columns + column) * bytesPerPixel + byte] = grey;
      }
    }
  }
  return pixels;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  BitmapPlan plan;
  long long width = std::atoll(argv[2]);
  long long height = std::atoll(argv[3]);
  // Any shape up to 2^28 pixels (a bitmap of at most 768 MiB).
  if (width < 1 || height < 1 || width > (1 << 28) || height > (1 << 28) ||
      width * height > (1 << 28)) {
    std::fprintf(stderr,
                 "make_heightmap: width and height must be at least 1, "
                 "together at most 2^28 pixels\n");
    return 2;
  }
  plan.width = static_cast<int32_t>(width);
  plan.height = static_cast<int32_t>(height);
  bool topDown = false;
  unsigned seed = 1;
  MapKind kind = MapKind::kTerrain;
  for (int index = 4; index < argc; ++index) {
    if (std::strcmp(argv[index], "--8bit") == 0) {
      plan.bitsPerPixel = 8;
    } else if (std::strcmp(argv[index], "--top-down") == 0) {
      topDown = true;
    } else if (std::strcmp(argv[index], "--tail") == 0 && index + 1 < argc) {
      plan.tail.assign(static_cast<size_t>(std::atoi(argv[++index])), 0x5A);
    } else if (std::strcmp(argv[index], "--seed") == 0 && index + 1 < argc) {
      seed = static_cast<unsigned>(std::strtoul(argv[++index], nullptr, 10));
    } else if (std::strcmp(argv[index], "--kind") == 0 && index + 1 < argc) {
      const char* name = argv[++index];
      if (std::strcmp(name, "terrain") == 0) {
        kind = MapKind::kTerrain;
      } else if (std::strcmp(name, "grey") == 0) {
        kind = MapKind::kGrey;
      } else if (std::strcmp(name, "random") == 0) {
        kind = MapKind::kRandom;
      } else {
        return usage();
      }
    } else {
      return usage();
    }
  }
  if (kind == MapKind::kRandom) {
    size_t bytes = static_cast<size_t>(width * height) *
                   (plan.bitsPerPixel == 8 ? 1u : 3u);
    plan.pixels.resize(bytes);
    std::mt19937 random(seed);
    for (uint8_t& byte : plan.pixels) byte = static_cast<uint8_t>(random());
  } else {
    HeightValue maxHeight =
        plan.bitsPerPixel == 8 && kind == MapKind::kTerrain ? 255 : 65279;
    std::vector<HeightValue> heights =
        makeTerrain(plan.width, plan.height, maxHeight, seed);
    plan.pixels =
        kind == MapKind::kGrey
            ? greyPixels(heights, plan.width, plan.height, plan.bitsPerPixel)
            : pixelsFromHeights(heights, plan.width, plan.height,
                                plan.bitsPerPixel);
  }
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
