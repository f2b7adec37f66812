// make_fuzz_seeds <folder>: writes a small seed corpus for the fuzzer: valid
// 8- and 24-bit files, odd widths, top-down rows, tails, with switch sets.
#include <cstdio>
#include <string>
#include <vector>

#include "run_fuzz_input.h"
#include "support/bitmap_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds <folder>\n");
    return 2;
  }
  struct Seed {
    int32_t width, height;
    int bits;
    size_t tail;
    std::vector<uint8_t> prefix;
  };
  const std::vector<Seed> seeds = {
      {4, 4, 8, 0, fuzzPrefix(false, 0, false, 0, false, 0)},
      {5, 3, 24, 0, fuzzPrefix(true, 0, true, 10, true, 2)},
      {3, -2, 24, 2, fuzzPrefix(true, 2, false, 0, true, 1)},
      {7, 2, 8, 5, fuzzPrefix(true, 0, true, -256, false, 0)},
      {1, 1, 24, 0, fuzzPrefix(false, 0, true, 0, true, 3)},
      {6, -3, 8, 1, fuzzPrefix(true, 5, true, 32767, true, 1)},
      {2, 9, 24, 0, fuzzPrefix(true, 6, false, 0, false, 0)},
  };
  int index = 0;
  for (const Seed& seed : seeds) {
    BitmapPlan plan;
    plan.width = seed.width;
    plan.height = seed.height;
    plan.bitsPerPixel = seed.bits;
    int32_t rows = seed.height < 0 ? -seed.height : seed.height;
    std::vector<HeightValue> heights =
        makeTerrain(seed.width, rows, seed.bits == 8 ? 255 : 65279,
                    static_cast<uint32_t>(index));
    plan.pixels = pixelsFromHeights(heights, seed.width, rows, seed.bits);
    plan.tail.assign(seed.tail, 0x7E);
    std::vector<uint8_t> bytes = seed.prefix;
    std::vector<uint8_t> file = buildBitmap(plan);
    bytes.insert(bytes.end(), file.begin(), file.end());
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(index++);
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr ||
        std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
