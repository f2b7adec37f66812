#include "image/float_raw_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "image/height_formats.h"
#include "test_support.h"

namespace {

// The file's bytes in a temporary folder, opened as input.
struct InputFile {
  TempDir dir;
  FileStream stream;
  explicit InputFile(const std::string& bytes) {
    writeFileBytes(dir.file("in"), {bytes.begin(), bytes.end()});
    openInputFile(dir.file("in").c_str(), &stream);
  }
  ~InputFile() { closeInputFile(&stream); }
};

// A header as other tools write it: "<width> x <height> from byte <offset>,
// big- or little-endian"; else the error.
std::string inspect(const std::string& bytes) {
  InputFile file(bytes);
  InputImage image;
  std::string error;
  if (!inspectPfm(&file.stream, static_cast<int64_t>(bytes.size()), &image,
                  &error)) {
    return error;
  }
  return std::to_string(image.width) + " x " + std::to_string(image.height) +
         " from byte " + std::to_string(image.dataOffset) +
         (image.bigEndianFloats ? ", big-endian" : ", little-endian");
}

TEST(FloatRawFileTest, InspectsPfmHeadersOrSaysWhyNot) {
  const std::string kHeader =
      "Malformed PFM: its header is not \"Pf\", the width, the height and the "
      "scale, each after whitespace";
  const std::string kEight(8, '\0');
  const std::string kCases[][2] = {
      {"Pf\n2 1\n-1.0\n" + kEight, "2 x 1 from byte 12, little-endian"},
      {"Pf 2 1 1 " + kEight, "2 x 1 from byte 9, big-endian"},
      {"Pf\r\n1\t2\n+0.5\n" + kEight, "1 x 2 from byte 13, big-endian"},
      {"Pf\r\n2 1\r\n-1\r\n" + kEight, "2 x 1 from byte 13, little-endian"},
      {"Pf\n2 1\n-1.0\n" + kEight + "\n",
       "PFM file is too long: its 2 x 1 samples need 8 bytes after the "
       "header, it has 9"},
      {"Pf\n2 1\n-1.0\n" + kEight.substr(1),
       "PFM file is truncated: its 2 x 1 samples need 8 bytes after the "
       "header, it has 7"},
      {"Pf\n2147483647 2147483647 -1\n" + kEight,
       "PFM file is truncated: its 2147483647 x 2147483647 samples need "
       "18446744056529682436 bytes after the header, it has 8"},
      {"Pf\n2 1\n-1.0", kHeader},
      {"Pf\n2x 1\n-1\n" + kEight, kHeader},
      {"Pf2 1 -1\n" + kEight, kHeader},
      {"Pf\n0 1\n-1\n" + kEight,
       "Malformed PFM: it is 0 x 1 pixels at scale -1"},
      {"Pf\n2 1\n0\n" + kEight, "Malformed PFM: it is 2 x 1 pixels at scale 0"},
      {"Pf\n2 1\ninf\n" + kEight,
       "Malformed PFM: it is 2 x 1 pixels at scale inf"},
      {"Pf\n2147483648 1\n-1\n" + kEight,
       "Malformed PFM: it is 2147483648 x 1 pixels at scale -1"},
  };
  for (const auto& c : kCases) EXPECT_EQ(inspect(c[0]), c[1]) << c[0];
}

// 2 x 2 samples read twice: surveyed, then mapped (a PFM's rows bottom
// first); what the reading found is the mapping and the clamps.
TEST(FloatRawFileTest, ReadsFloatsInEitherOrderAndRowOrder) {
  const std::string kPfm = "Pf\n2 2\n-1\n";
  const float kUnitSamples[] = {-1, 2.5f, NAN, 40000};
  const float kStretchSamples[] = {-2, 0, 65277, INFINITY};
  const struct {
    HeightFormat format;
    bool big;
    double unit;
    const float* samples;
    size_t bytes;  // of samples in the file
    std::string heights;
    MappingRule rule;
    double lowest, step, highest;
    int64_t clampedHigh;
  } kCases[] = {
      {HeightFormat::kR32, false, 0.5, kUnitSamples, 16, "0 7 / 0 65535",
       MappingRule::kUnit, -1, 0.5, 40000, 1},
      {HeightFormat::kR32, true, 0, kStretchSamples, 16, "0 2 / 65279 0",
       MappingRule::kStretched, -2, 1, 65277, 0},
      {HeightFormat::kPfm, false, 0, kStretchSamples, 16, "65279 0 / 0 2",
       MappingRule::kStretched, -2, 1, 65277, 0},
      {HeightFormat::kR32, false, 0, kStretchSamples, 15,
       "Cannot read the input file", MappingRule::kAsStored, 0, 1, 0, 0},
  };
  for (const auto& c : kCases) {
    const bool pfm = c.format == HeightFormat::kPfm;
    std::string bytes = pfm ? kPfm : "";
    for (int at = 0; at < 4; ++at) {
      const uint32_t bits = bitsOfFloat(c.samples[at]);
      for (int byte = 0; byte < 4; ++byte) {
        bytes += static_cast<char>(bits >> 8 * (c.big ? 3 - byte : byte));
      }
    }
    bytes.resize(bytes.size() - (16 - c.bytes));
    InputFile file(bytes);
    InputImage image;
    image.format = c.format;
    image.width = image.height = 2;
    image.dataOffset = pfm ? static_cast<int64_t>(kPfm.size()) : 0;
    image.bigEndianFloats = c.big;
    image.request.mapping.unit = c.unit;
    PlaneSet planes;
    std::string error, heights;
    ASSERT_TRUE(allocatePlanes(&planes, 2, 2, &error)) << error;
    if (readFloatHeights(&file.stream, &image, &planes, &error, nullptr)) {
      for (int32_t at = 0; at < 4; ++at) {
        heights += (at == 0   ? ""
                    : at == 2 ? " / "
                              : " ") +
                   std::to_string(planes.inGreen[at / 2][at % 2] << 8 |
                                  planes.inRed[at / 2][at % 2]);
      }
    }
    releasePlanes(&planes);
    const std::string label = c.heights + (c.big ? ", big" : ", little");
    EXPECT_EQ(heights.empty() ? error.substr(0, c.heights.size()) : heights,
              c.heights);
    EXPECT_EQ(image.mapping.rule, c.rule) << label;
    EXPECT_DOUBLE_EQ(image.mapping.lowest, c.lowest) << label;
    EXPECT_DOUBLE_EQ(image.mapping.step, c.step) << label;
    EXPECT_DOUBLE_EQ(image.mapping.highest, c.highest) << label;
    EXPECT_EQ(image.mapping.nodata, heights.empty() ? 0 : 1) << label;
    EXPECT_EQ(image.mapping.nodataHeight, 0) << label;
    EXPECT_EQ(image.unitClamped.low, 0) << label;
    EXPECT_EQ(image.unitClamped.high, c.clampedHigh) << label;
  }
}

// Each height's value as a float, in the order asked; a value no float
// holds exactly is rounded to the nearest one.
TEST(FloatRawFileTest, WritesEachHeightsValue) {
  const int kHeights[] = {0, 1, 65535, 300};
  const struct {
    WrittenValues values;
    bool big;
    const char* hex;
  } kCases[] = {
      {{-100, 0.5}, true, "c2c80000 c2c70000 46ff3700 42480000"},
      {{-100, 0.5}, false, "0000c8c2 0000c7c2 0037ff46 00004842"},
      {{-9999.9f, 1}, true, "c61c3f9a c61c3b9a 4758ef1a c6178f9a"},
  };
  for (const auto& c : kCases) {
    PlaneSet planes;
    std::string error;
    ASSERT_TRUE(allocatePlanes(&planes, 2, 2, &error)) << error;
    for (int at = 0; at < 4; ++at) {
      planes.outRed[at / 2][at % 2] = static_cast<uint8_t>(kHeights[at]);
      planes.outGreen[at / 2][at % 2] = static_cast<uint8_t>(kHeights[at] >> 8);
    }
    TempDir dir;
    FileStream output;
    output.stream = std::fopen(dir.file("out.r32").c_str(), "wb");
    ASSERT_NE(output.stream, nullptr);
    EXPECT_TRUE(writeFloatHeights(&output, planes, 2, 2, c.values, c.big,
                                  &error, nullptr))
        << error;
    std::fclose(output.stream);
    releasePlanes(&planes);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(dir.file("out.r32"), &bytes));
    std::string hex;
    for (size_t at = 0; at < bytes.size(); ++at) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02x", bytes[at]);
      hex += (at > 0 && at % 4 == 0 ? " " : "") + std::string(digits);
    }
    EXPECT_EQ(hex, c.hex) << c.values.zero;
  }
}

}  // namespace
