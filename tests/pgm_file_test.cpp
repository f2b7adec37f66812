#include "image/pgm_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/height_formats.h"
#include "test_support.h"

namespace {

using Heights = std::vector<int32_t>;
using namespace std::string_literals;

// What a map's bytes read as: "<width> x <height>, maxval <maxval>, P2 or
// P5, samples from byte <offset>:" and its heights as base-256 planes hold
// them (rows top first); else the error.
std::string readPgm(const std::string& bytes) {
  TempDir dir;
  const std::string path = dir.file("in.pgm");
  FileStream input;
  if (!writeFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.end())) ||
      !openInputFile(path.c_str(), &input)) {
    return "cannot open";
  }
  std::string error;
  InputImage image;
  PlaneSet planes;
  std::string read;
  if (inspectPgm(&input, static_cast<int64_t>(bytes.size()), &image, &error) &&
      allocatePlanes(&planes, image.width, image.height, &error) &&
      readPgmHeights(&input, image, &planes, &error, nullptr)) {
    read = std::to_string(image.width) + " x " + std::to_string(image.height) +
           ", maxval " + std::to_string(image.maxval) +
           (image.text ? ", P2" : ", P5") + ", samples from byte " +
           std::to_string(image.dataOffset) + ":";
    for (int32_t row = 0; row < image.height; ++row) {
      for (int32_t column = 0; column < image.width; ++column) {
        read += " " + std::to_string(planes.inGreen[row][column] << 8 |
                                     planes.inRed[row][column]);
      }
    }
  }
  releasePlanes(&planes);
  closeInputFile(&input);
  return read.empty() ? error : read;
}

// Headers as other tools write them (comments, any whitespace, text or
// binary samples, one byte a sample up to maxval 255), and the checks in
// the order they are made: the size, the maxval, the one whitespace byte,
// then whether the samples fit.
TEST(PgmFileTest, ReadsHeadersAndSamplesOrSaysWhyNot) {
  const std::string kHeader = "Malformed PGM header: ";
  const std::string kCases[][2] = {
      {"P5\t# made by hand\n2\r\n1 # w h\n255\n\x07\xff"s,
       "2 x 1, maxval 255, P5, samples from byte 33: 7 255"},
      {"P5 2 1 256\n\x01\0\0\xff"s,
       "2 x 1, maxval 256, P5, samples from byte 11: 256 255"},
      {"P2\n2 1\n65535\n65535 12\n",
       "2 x 1, maxval 65535, P2, samples from byte 13: 65535 12"},
      {"P2 # by hand\r2 1 9 3 1\n",
       "2 x 1, maxval 9, P2, samples from byte 19: 3 1"},
      {"P5\n# only a comment\n", kHeader + "it ends too early"},
      {"P5 two 2 255\n", kHeader + "a number is expected"},
      {"P5 2147483648 1 255\n", kHeader + "a number is larger than 2147483647"},
      {"P5 2 0 70000\n", kHeader + "the image has no pixels"},
      {"P5 2 2 0\n", kHeader + "its maxval 0 is not in 1 ... 65535"},
      {"P5 2 2 70000\n", kHeader + "its maxval 70000 is not in 1 ... 65535"},
      {"P5 1 1 255#\x01", kHeader + "no whitespace after the maxval"},
      {"P5 2 2 256\n\x01\x02\x03\x04\x05\x06\x07"s,
       "Malformed PGM: its 2 x 2 samples of 2 bytes do not fit in the 7 bytes "
       "after its header"},
      {"P2 3 2 9\n1 2 3",
       "Malformed PGM: its 3 x 2 samples cannot fit in the 5 bytes after its "
       "header"},
      {"P2 2 2 9\n1 2 3    ",
       "Malformed PGM: it ends too early after 3 of its 4 samples"},
      {"P2 2 2 9\n1 2\n9 10\n",
       "Malformed PGM: the sample at row 2, column 2 is 10, above its maxval "
       "9"},
  };
  for (const auto& c : kCases) EXPECT_EQ(readPgm(c[0]), c[1]) << c[0];
}

// What is written is P5 of maxval 65535, each height high byte first, and
// reads back as the same heights.
TEST(PgmFileTest, WrittenMapsReadBack) {
  const Heights written = {0x0102, 0xfffe, 0, 0xab00, 0x00cd, 65535};
  PlaneSet planes;
  std::string error;
  ASSERT_TRUE(allocatePlanes(&planes, 3, 2, &error)) << error;
  for (size_t at = 0; at < written.size(); ++at) {
    const int32_t row = static_cast<int32_t>(at / 3);
    const int32_t column = static_cast<int32_t>(at % 3);
    planes.outRed[row][column] = static_cast<uint8_t>(written[at]);
    planes.outGreen[row][column] = static_cast<uint8_t>(written[at] >> 8);
  }
  TempDir dir;
  FileStream output;
  output.stream = std::fopen(dir.file("out.pgm").c_str(), "wb");
  ASSERT_NE(output.stream, nullptr);
  EXPECT_TRUE(writePgmHeader(&output, 3, 2, &error)) << error;
  EXPECT_TRUE(writePgmHeights(&output, planes, 3, 2, &error, nullptr)) << error;
  std::fclose(output.stream);
  releasePlanes(&planes);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(dir.file("out.pgm"), &bytes));
  const std::string expected =
      "P5\n3 2\n65535\n\x01\x02\xff\xfe\0\0\xab\0\0\xcd\xff\xff"s;
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
  EXPECT_EQ(readPgm(expected),
            "3 x 2, maxval 65535, P5, samples from byte 13: 258 65534 0 43776 "
            "205 65535");
}

}  // namespace
