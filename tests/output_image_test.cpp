#include "image/output_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/input_reading.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

// 2 x 2 heights, rows top first, with high and low bytes apart; the second
// is beyond what a bitmap holds.
const int32_t kHeights[] = {0x0102, 0xfffe, 0x0003, 0xab00};

// Writes the header, the heights of base-256 planes and the end of image
// to path; marked pixels have blue 1. False with error set on a failure.
bool writeImage(const std::string& path, OutputImage* image,
                const std::vector<uint8_t>& marks, std::string* error) {
  PlaneSet planes;
  if (!allocatePlanes(&planes, 2, 2, error, BlueUse::kMarks)) return false;
  planes.base = kWideBase;
  for (int32_t at = 0; at < 4; ++at) {
    planes.outRed[at / 2][at % 2] = static_cast<uint8_t>(kHeights[at]);
    planes.outGreen[at / 2][at % 2] = static_cast<uint8_t>(kHeights[at] >> 8);
    if (!marks.empty()) planes.outBlue[at / 2][at % 2] = marks[at];
  }
  InputImage source;
  source.format = HeightFormat::kRaw;
  FileStream input, output;
  output.stream = std::fopen(path.c_str(), "w+b");
  image->width = image->height = 2;
  const bool written =
      output.stream != nullptr &&
      writeOutputHeader(&input, &output, source, image, error) &&
      writeOutputHeights(&output, planes, source, image, error, nullptr) &&
      finishOutputImage(&input, &output, source, image, error);
  releaseOutput(image);
  if (output.stream != nullptr) std::fclose(output.stream);
  releasePlanes(&planes);
  return written;
}

// Each format's bytes: a raw map in either order, the bottom row first for
// Unity; a PGM's header; a new bitmap clamping what it cannot hold. Formats
// only read are refused.
TEST(OutputImageTest, WritesEachFormatsBytesInItsRowOrder) {
  struct Case {
    HeightFormat format;
    bool bigEndian, southFirst;
    std::string bytes;  // for a bitmap: its size
    int64_t clamped;
    std::string error;
  };
  const Case cases[] = {
      {HeightFormat::kRaw, false, false, "\x02\x01\xfe\xff\x03\0\0\xab"s, 0,
       ""},
      {HeightFormat::kRaw, true, true, "\0\x03\xab\0\x01\x02\xff\xfe"s, 0, ""},
      {HeightFormat::kPgm, false, false,
       "P5\n2 2\n65535\n\x01\x02\xff\xfe\0\x03\xab\0"s, 0, ""},
      {HeightFormat::kBmp, false, false, "70", 1, ""},
      {HeightFormat::kHgt, false, false, "", 0, "SRTM tiles are not written"},
      {HeightFormat::kPfm, false, false, "", 0, "PFM files are not written"},
  };
  for (const Case& c : cases) {
    const int label = static_cast<int>(c.format);
    TempDir dir;
    OutputImage image;
    image.format = c.format;
    image.bigEndian = c.bigEndian;
    image.southFirst = c.southFirst;
    std::string error;
    EXPECT_EQ(writeImage(dir.file("out"), &image, {}, &error), c.error.empty())
        << label;
    EXPECT_EQ(error, c.error) << label;
    EXPECT_EQ(image.clamped, c.clamped) << label;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(dir.file("out"), &bytes));
    if (c.format != HeightFormat::kBmp) {
      EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
                c.error.empty() ? c.bytes : "")
          << label;
      continue;
    }
    EXPECT_EQ(std::to_string(bytes.size()), c.bytes);
    DecodedImage decoded;
    std::string why;
    ASSERT_TRUE(decode24(bytes, &decoded, &why)) << why;
    EXPECT_EQ(decoded.height(0, 0), 0x0102);
    EXPECT_EQ(decoded.height(0, 1), 65279);
    EXPECT_EQ(decoded.height(1, 0), 3);
    EXPECT_EQ(decoded.height(1, 1), 0xab00);
  }
}

// A TIFF takes its nodata value where the blue plane marks nodata, and
// names it; without one, every height is written as it is.
TEST(OutputImageTest, TiffsWriteTheNodataValueWhereMarked) {
  if (!haveTiff()) GTEST_SKIP() << "this build has no TIFF";
  for (int32_t nodata : {kNoNodata, 0}) {
    TempDir dir;
    OutputImage image;
    image.format = HeightFormat::kTiff;
    image.nodata = nodata;
    std::string error;
    ASSERT_TRUE(writeImage(dir.file("out.tif"), &image, {0, 1, 0, 1}, &error))
        << error;
    FileStream input;
    ASSERT_TRUE(openInputFile(dir.file("out.tif").c_str(), &input));
    InputImage read;
    PlaneSet planes;
    ASSERT_TRUE(inspectInput(&input, ReadRequest(), &read, &error)) << error;
    ASSERT_TRUE(allocatePlanes(&planes, 2, 2, &error, BlueUse::kMarks));
    planes.base = kWideBase;
    ASSERT_TRUE(readInputHeights(&input, &read, &planes, &error, nullptr))
        << error;
    EXPECT_EQ(read.tiff.hasNodata, nodata != kNoNodata);
    EXPECT_EQ(read.tiff.nodata, 0);
    for (int32_t at = 0; at < 4; ++at) {
      const bool marked = nodata != kNoNodata && at % 2 == 1;
      EXPECT_EQ(planes.inBlue[at / 2][at % 2], marked ? 1 : 0) << at;
      if (marked) continue;
      EXPECT_EQ(
          planes.inGreen[at / 2][at % 2] << 8 | planes.inRed[at / 2][at % 2],
          kHeights[at])
          << at;
    }
    releaseInput(&read);
    releasePlanes(&planes);
    closeInputFile(&input);
  }
}

// A new bitmap is refused when its 32-bit sizes cannot describe it; a
// bitmap from a bitmap of its grid was measured when it was read.
TEST(OutputImageTest, RefusesBitmapsTooLargeForTheirFields) {
  InputImage raw, bitmap;
  raw.format = HeightFormat::kRaw;
  std::string error;
  EXPECT_TRUE(
      checkOutputSize(raw, HeightFormat::kBmp, 37837, 37837, false, &error));
  EXPECT_FALSE(
      checkOutputSize(raw, HeightFormat::kBmp, 37837, 37838, true, &error));
  EXPECT_EQ(error,
            "The output bitmap would have 4295067110 bytes, more than a "
            "bitmap file can hold");
  EXPECT_TRUE(
      checkOutputSize(bitmap, HeightFormat::kBmp, 37837, 37838, true, &error));
  EXPECT_TRUE(
      checkOutputSize(raw, HeightFormat::kRaw, 65536, 65536, false, &error));
}

}  // namespace
