// make_fuzz_seeds <folder>: writes a small seed corpus for the fuzzer: valid
// 8- and 24-bit files, odd widths, top-down rows, tails, raw heights, PGMs,
// a PNG, elevation and float files (raw floats, PFM, an OpenEXR), with
// switch sets and output formats.
#include <cstdio>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "run_fuzz_input.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"

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
      // A bitmap written to every other format, one with a picture.
      {5, 4, 24, 0, fuzzPrefix(true, 1, false, 0, true, 1, 1 << 2)},
      {4, 3, 8, 2, fuzzPrefix(false, 0, true, -3, false, 0, 2 << 2 | 16)},
      {3, 3, 24, 0, fuzzPrefix(true, 5, false, 0, false, 0, 3 << 2)},
      // Geometry (byte 5): a flip, -size 5x3 cut into 2 x 1 tiles, linear;
      // a quarter turn cut into 2 x 2; Unity's tiles, mitchell; repeated
      // turns fitted to Unreal.
      {9, 7, 24, 0,
       fuzzPrefix(false, 0, false, 0, false, 0, 1 << 2,
                  1 | 1 << 2 | 1 << 4 | 1 << 6)},
      {9, 7, 8, 0, fuzzPrefix(true, 2, false, 0, true, 1, 0, 2 | 3 << 4)},
      {5, 4, 24, 0,
       fuzzPrefix(false, 0, true, 5, false, 0, 2 << 2,
                  2 << 2 | 3 << 4 | 3 << 6)},
      {3, 3, 24, 1, fuzzPrefix(false, 0, false, 0, true, 2, 16, 3 | 3 << 2)},
  };
  int index = 0;
  auto save = [&](const std::vector<uint8_t>& bytes) {
    std::string path = std::string(argv[1]) + "/seed" + std::to_string(index++);
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr ||
        std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size() ||
        std::fclose(out) != 0) {
      std::perror(path.c_str());
      return false;
    }
    return true;
  };
  // Byte 4 of the prefix: input ending, output ending (<< 2), -view (16),
  // a PNG picture (32), -dim 3x2 (64).
  const std::string raw(12, '\x30');
  const std::string p5 = "P5\n# seed\n3 2\n65535\n" + raw;
  const std::string p2 = "P2 3 2 300\n1 2 3\n299 300 0\n";
  const std::string texts[] = {raw, p5, p2};
  const uint8_t formats[] = {1 | 64 | 2 << 2, 2 | 3 << 2 | 16 | 32, 2 | 1 << 2};
  for (int text = 0; text < 3; ++text) {
    std::vector<uint8_t> bytes =
        fuzzPrefix(true, 3, text == 1, 7, true, 1, formats[text]);
    bytes.insert(bytes.end(), texts[text].begin(), texts[text].end());
    if (!save(bytes)) return 1;
  }
  // A PNG made by the tool itself from the raw heights.
  std::string folder = argv[1];
  std::FILE* rawFile = std::fopen((folder + "/seed.r16").c_str(), "wb");
  if (rawFile == nullptr) return 1;
  std::fwrite(raw.data(), 1, raw.size(), rawFile);
  std::fclose(rawFile);
  std::string rawPath = folder + "/seed.r16";
  std::string pngPath = folder + "/seed.png";
  const char* convert[] = {"quillorn", rawPath.c_str(), pngPath.c_str(), "-dim",
                           "3x2"};
  std::ostringstream ignored;
  if (runCommandLine(5, convert, ignored, ignored) == kExitSuccess) {
    std::FILE* pngFile = std::fopen(pngPath.c_str(), "rb");
    std::vector<uint8_t> bytes = fuzzPrefix(false, 0, false, 0, true, 2, 3);
    for (int c; pngFile != nullptr && (c = std::fgetc(pngFile)) != EOF;) {
      bytes.push_back(static_cast<uint8_t>(c));
    }
    if (pngFile != nullptr) std::fclose(pngFile);
    if (!save(bytes)) return 1;
  }
  // An OpenEXR made by the tool itself, where the build has OpenEXR: read
  // as a float file (byte 4 bits 7 and 6), written as one.
  std::string exrPath = folder + "/seed.exr";
  const char* toExr[] = {"quillorn", rawPath.c_str(), exrPath.c_str(), "-dim",
                         "3x2"};
  if (runCommandLine(5, toExr, ignored, ignored) == kExitSuccess) {
    std::FILE* exrFile = std::fopen(exrPath.c_str(), "rb");
    std::vector<uint8_t> bytes =
        fuzzPrefix(false, 0, false, 0, true, 1, 0 | 0 << 2 | 64 | 128);
    for (int c; exrFile != nullptr && (c = std::fgetc(exrFile)) != EOF;) {
      bytes.push_back(static_cast<uint8_t>(c));
    }
    if (exrFile != nullptr) std::fclose(exrFile);
    if (!save(bytes)) return 1;
  }
  std::remove(rawPath.c_str());
  std::remove(pngPath.c_str());
  std::remove(exrPath.c_str());
  // Raw floats of 3 x 2 (a NaN and an infinity among them) in both byte
  // orders, and a PFM of them: each to a float output and a 16-bit one.
  const float samples[6] = {-5.5f,
                            120.25f,
                            3.0f,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            1e30f};
  std::vector<uint8_t> little, big;
  for (float sample : samples) {
    uint8_t bytes[4];
    std::memcpy(bytes, &sample, 4);
    // The seeds are made on little-endian hosts, as the fuzzer runs.
    little.insert(little.end(), bytes, bytes + 4);
    big.insert(big.end(), {bytes[3], bytes[2], bytes[1], bytes[0]});
  }
  const std::string pfmHeader = "Pf\n3 2\n-1.0\n";
  std::vector<uint8_t> pfm(pfmHeader.begin(), pfmHeader.end());
  pfm.insert(pfm.end(), little.begin(), little.end());
  struct FloatSeed {
    const std::vector<uint8_t>* file;
    uint8_t names;  // byte 4's name bits
  };
  const FloatSeed floatSeeds[] = {
      {&big, 2 | 1 << 2}, {&little, 3 | 0 << 2}, {&pfm, 1 | 2 << 2}};
  for (const FloatSeed& seed : floatSeeds) {
    std::vector<uint8_t> bytes = fuzzPrefix(
        false, 0, false, 0, false, 0, static_cast<uint8_t>(seed.names | 192));
    bytes.insert(bytes.end(), seed.file->begin(), seed.file->end());
    if (!save(bytes)) return 1;
  }
  // Elevation files (byte 4 bit 7): TIFFs of several sample types, an SRTM
  // tile with a void, big-endian raw heights.
  struct Elevation {
    uint16_t bits, format;
    std::string nodata;
    uint8_t names;  // byte 4's name bits
  };
  const Elevation elevations[] = {
      {16, 1, "", 0 | 1 << 2},    {16, 2, "-9999", 0 | 2 << 2 | 16},
      {32, 3, "nan", 3 | 0 << 2}, {64, 3, "", 0 | 3 << 2},
      {8, 2, "", 3 | 1 << 2},     {32, 1, "", 0 | 1 << 2},
  };
  for (const Elevation& e : elevations) {
    TiffPlan plan;
    plan.width = 3;
    plan.height = 2;
    plan.bitsPerSample = e.bits;
    plan.sampleFormat = e.format;
    plan.nodata = e.nodata;
    plan.samples = {-5, 120.5, 3, -9999, 70000, 1};
    std::vector<uint8_t> bytes = fuzzPrefix(
        false, 0, false, 0, true, 1, static_cast<uint8_t>(e.names | 128));
    std::vector<uint8_t> file = buildTiff(plan);
    bytes.insert(bytes.end(), file.begin(), file.end());
    if (!save(bytes)) return 1;
  }
  const uint8_t tile[] = {0xFF, 0xF6, 0x00, 0x00, 0x80, 0x00, 0x01, 0x2C, 0x00,
                          0x07, 0x00, 0x03, 0x00, 0x03, 0x00, 0x64, 0x00, 0x05};
  const uint8_t tileNames[] = {1 | 1 << 2, 2 | 2 << 2, 1 | 0 << 2};
  for (uint8_t names : tileNames) {
    std::vector<uint8_t> bytes = fuzzPrefix(true, 0, false, 0, false, 0,
                                            static_cast<uint8_t>(names | 128));
    bytes.insert(bytes.end(), tile, tile + sizeof tile);
    if (!save(bytes)) return 1;
  }
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
    if (!save(bytes)) return 1;
  }
  return 0;
}
