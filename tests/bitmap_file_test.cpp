#include "image/bitmap_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "image/little_endian.h"
#include "image/picture_file.h"
#include "support/bitmap_builder.h"
#include "test_support.h"

namespace {

// Writes bytes to a file of dir and opens it for reading.
FileStream openBytes(const TempDir& dir, const std::vector<uint8_t>& bytes) {
  std::string path = dir.file("input.bmp");
  FileStream file;
  if (writeFileBytes(path, bytes)) openInputFile(path.c_str(), &file);
  return file;
}

std::string inspectError(const std::vector<uint8_t>& bytes) {
  TempDir dir;
  FileStream file = openBytes(dir, bytes);
  if (file.stream == nullptr) return "cannot open";
  BitmapInfo info;
  std::string error;
  bool ok = inspectBitmap(&file, &info, &error);
  closeInputFile(&file);
  return ok ? "" : error;
}

std::vector<uint8_t> validBitmap(int32_t width, int32_t height, int bits) {
  BitmapPlan plan;
  plan.width = width;
  plan.height = height;
  plan.bitsPerPixel = bits;
  return buildBitmap(plan);
}

TEST(InspectBitmapTest, RefusesBadHeadersWithTheFirstProblemFound) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;  // expected start of the error
  };
  std::vector<Case> cases;
  auto patched = [](std::vector<uint8_t> bytes, size_t at, uint32_t value,
                    int width) {
    if (width == 2)
      storeLe16(bytes.data() + at, static_cast<uint16_t>(value));
    else
      storeLe32(bytes.data() + at, value);
    return bytes;
  };
  std::vector<uint8_t> good = validBitmap(3, 2, 24);
  cases.push_back({"empty", {}, "Input file is not a bitmap"});
  cases.push_back(
      {"one byte",
       {'B'},
       "Input file is not a bitmap: 1 byte is too short for a bitmap header"});
  cases.push_back({"53 bytes",
                   std::vector<uint8_t>(good.begin(), good.begin() + 53),
                   "Input file is not a bitmap"});
  std::vector<uint8_t> noSignature = good;
  noSignature[0] = 'X';
  cases.push_back({"no BM", noSignature, "Input file is not a bitmap"});
  // The signature is checked before the depth.
  cases.push_back({"no BM, 32 bits", patched(noSignature, 28, 32, 2),
                   "Input file is not a bitmap"});
  cases.push_back({"32 bits", patched(good, 28, 32, 2), "Invalid bit rate"});
  cases.push_back({"16 bits", patched(good, 28, 16, 2), "Invalid bit rate"});
  // The depth is checked before the rest of the header.
  cases.push_back({"1 bit, compressed",
                   patched(patched(good, 28, 1, 2), 30, 1, 4),
                   "Invalid bit rate"});
  cases.push_back({"12-byte info header", patched(good, 14, 12, 4),
                   "Unsupported bitmap header"});
  // OS/2 1.x keeps its depth elsewhere: the Windows offset holds anything,
  // and a small file may end before 54 bytes.
  std::vector<uint8_t> os2 = patched(patched(good, 14, 12, 4), 28, 0x5A5A, 2);
  cases.push_back({"OS/2 1.x header", os2, "Unsupported bitmap header"});
  cases.push_back({"OS/2 1.x header in 30 bytes",
                   std::vector<uint8_t>(os2.begin(), os2.begin() + 30),
                   "Unsupported bitmap header"});
  cases.push_back({"RLE8", patched(good, 30, 1, 4),
                   "Compressed bitmaps are not supported"});
  cases.push_back({"bit fields", patched(good, 30, 3, 4),
                   "Compressed bitmaps are not supported"});
  cases.push_back({"width 0", patched(good, 18, 0, 4), "Invalid bitmap width"});
  cases.push_back({"width -3", patched(good, 18, static_cast<uint32_t>(-3), 4),
                   "Invalid bitmap width"});
  cases.push_back(
      {"height 0", patched(good, 22, 0, 4), "Invalid bitmap height"});
  cases.push_back({"height INT32_MIN", patched(good, 22, 0x80000000u, 4),
                   "Invalid bitmap height"});
  cases.push_back({"offset inside headers", patched(good, 10, 53, 4),
                   "Invalid pixel data offset"});
  cases.push_back({"offset past end", patched(good, 10, 100000, 4),
                   "Invalid pixel data offset"});
  cases.push_back({"v5 header, offset 54", patched(good, 14, 124, 4),
                   "Invalid pixel data offset"});
  cases.push_back({"one byte short",
                   std::vector<uint8_t>(good.begin(), good.end() - 1),
                   "Input file is truncated"});
  cases.push_back({"huge height", patched(good, 22, 0x7FFFFFFF, 4),
                   "Input file is truncated"});
  cases.push_back(
      {"huge width and height",
       patched(patched(good, 18, 0x7FFFFFFF, 4), 22, 0x80000001u, 4),
       "Input file is truncated"});
  for (const Case& c : cases) {
    std::string error = inspectError(c.bytes);
    EXPECT_EQ(error.rfind(c.message, 0), 0u)
        << c.what << ": got \"" << error << "\"";
  }
}

TEST(InspectBitmapTest, DerivesLayoutFromTheHeader) {
  struct Case {
    int32_t width, height;
    int bits;
    size_t tail;
    int64_t inputStride, outputStride;
  };
  const Case cases[] = {
      {1, 1, 8, 0, 4, 4},  {5, 3, 8, 2, 8, 16},    {4, -2, 8, 0, 4, 12},
      {1, 2, 24, 0, 4, 4}, {3, -4, 24, 5, 12, 12}, {7, 1, 24, 0, 24, 24},
  };
  for (const Case& c : cases) {
    BitmapPlan plan;
    plan.width = c.width;
    plan.height = c.height;
    plan.bitsPerPixel = c.bits;
    plan.tail.assign(c.tail, 0xEE);
    std::vector<uint8_t> bytes = buildBitmap(plan);
    TempDir dir;
    FileStream file = openBytes(dir, bytes);
    ASSERT_NE(file.stream, nullptr);
    BitmapInfo info;
    std::string error;
    ASSERT_TRUE(inspectBitmap(&file, &info, &error)) << error;
    closeInputFile(&file);
    int32_t rows = c.height < 0 ? -c.height : c.height;
    EXPECT_EQ(info.rowCount, rows);
    EXPECT_EQ(info.topDown, c.height < 0);
    EXPECT_EQ(info.inputRowStride, c.inputStride);
    EXPECT_EQ(info.outputRowStride, c.outputStride);
    EXPECT_EQ(info.fileSize, static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(info.tailOffset, static_cast<int64_t>(bytes.size() - c.tail));
    EXPECT_EQ(info.outputFileSize, static_cast<int64_t>(info.pixelDataOffset) +
                                       c.outputStride * rows +
                                       static_cast<int64_t>(c.tail));
  }
}

// Runs the whole read, copy and write path on a file's bytes.
struct Converted {
  std::vector<uint8_t> output;
  DecodedImage image;  // the output as decoded by the tests' own reader
};

Converted convertPlainly(const std::vector<uint8_t>& bytes) {
  Converted result;
  TempDir dir;
  FileStream input = openBytes(dir, bytes);
  std::string outputPath = dir.file("output.bmp");
  FileStream output;
  output.stream = std::fopen(outputPath.c_str(), "wb");
  BitmapInfo info;
  PlaneSet planes;
  std::string error;
  EXPECT_TRUE(inspectBitmap(&input, &info, &error)) << error;
  EXPECT_TRUE(allocatePlanes(&planes, info.width, info.rowCount, &error));
  EXPECT_TRUE(readPixels(&input, info, &planes, &error)) << error;
  EXPECT_TRUE(readTail(&input, &info, &error)) << error;
  EXPECT_TRUE(writeHeader(&input, &output, info, &error)) << error;
  EXPECT_TRUE(writePixels(&output, info, planes, &error)) << error;
  EXPECT_TRUE(copyTail(&input, &output, info, &error)) << error;
  releasePlanes(&planes);
  closeInputFile(&input);
  std::fclose(output.stream);
  readFileBytes(outputPath, &result.output);
  std::string why;
  EXPECT_TRUE(decode24(result.output, &result.image, &why)) << why;
  return result;
}

TEST(BitmapFileTest, PlainCopyKeepsEveryPixelAtEveryWidthDepthAndOrder) {
  std::mt19937 random(7);
  for (int bits : {8, 24}) {
    for (int32_t width = 1; width <= 8; ++width) {
      for (int32_t height : {1, 3, -3}) {
        for (size_t tail : {0, 2}) {
          SCOPED_TRACE(testing::Message() << bits << " bits, " << width << " x "
                                          << height << ", tail " << tail);
          int32_t rows = height < 0 ? -height : height;
          BitmapPlan plan;
          plan.width = width;
          plan.height = height;
          plan.bitsPerPixel = bits;
          plan.pixels.resize(static_cast<size_t>(width * rows * bits / 8));
          for (uint8_t& byte : plan.pixels)
            byte = static_cast<uint8_t>(random());
          plan.tail.assign(tail, 0xA5);
          if (!plan.tail.empty()) plan.tail.front() = 0x01;
          std::vector<uint8_t> input = buildBitmap(plan);
          Converted converted = convertPlainly(input);

          if (bits == 24) {
            EXPECT_EQ(converted.output, input)
                << "24-bit copies come back whole";
          }
          const std::vector<uint8_t>& out = converted.output;
          uint32_t offset = fieldLe32(input, 10);
          size_t outStride = (3 * static_cast<size_t>(width) + 3) / 4 * 4;
          EXPECT_EQ(out.size(),
                    offset + outStride * static_cast<size_t>(rows) + tail);
          EXPECT_EQ(fieldLe32(out, 2), out.size());
          EXPECT_EQ(fieldLe32(out, 34), outStride * static_cast<size_t>(rows));
          EXPECT_EQ(out[28] | out[29] << 8, 24);
          for (size_t at = 0; at < offset; ++at) {
            if ((at >= 2 && at < 6) || at == 28 || (at >= 34 && at < 38))
              continue;
            ASSERT_EQ(out[at], input[at]) << "header byte " << at;
          }
          EXPECT_TRUE(std::equal(plan.tail.begin(), plan.tail.end(),
                                 out.end() - static_cast<ptrdiff_t>(tail)));
          // Pixel (row, column), top row first, as the input stored it.
          for (int32_t row = 0; row < rows; ++row) {
            int32_t fileRow = height < 0 ? row : rows - 1 - row;
            for (int32_t column = 0; column < width; ++column) {
              size_t at = static_cast<size_t>(row * width + column);
              size_t from = static_cast<size_t>(fileRow * width + column) *
                            static_cast<size_t>(bits / 8);
              if (bits == 8) {
                EXPECT_EQ(converted.image.red[at], plan.pixels[from]);
                EXPECT_EQ(converted.image.green[at], 0);
                EXPECT_EQ(converted.image.blue[at], 0);
              } else {
                EXPECT_EQ(converted.image.blue[at], plan.pixels[from]);
                EXPECT_EQ(converted.image.green[at], plan.pixels[from + 1]);
                EXPECT_EQ(converted.image.red[at], plan.pixels[from + 2]);
              }
            }
          }
          // Output padding is zero.
          for (int32_t fileRow = 0; fileRow < rows; ++fileRow) {
            for (size_t pad = 3 * static_cast<size_t>(width); pad < outStride;
                 ++pad) {
              ASSERT_EQ(
                  out[offset + outStride * static_cast<size_t>(fileRow) + pad],
                  0);
            }
          }
        }
      }
    }
  }
}

TEST(BitmapFileTest, EightBitFourByFourKeepsPaletteAndReportsRealSize) {
  BitmapPlan plan;
  plan.width = 4;
  plan.height = 4;
  plan.bitsPerPixel = 8;
  for (int value = 0; value < 16; ++value)
    plan.pixels.push_back(static_cast<uint8_t>(value * 16));
  std::vector<uint8_t> input = buildBitmap(plan);
  ASSERT_EQ(input.size(), 1078u + 16u);
  Converted converted = convertPlainly(input);
  EXPECT_EQ(converted.output.size(), input.size() + 32);
  EXPECT_EQ(fieldLe32(converted.output, 10), 1078u);
  EXPECT_EQ(fieldLe32(converted.output, 2), converted.output.size());
  EXPECT_TRUE(std::equal(input.begin() + 54, input.begin() + 1078,
                         converted.output.begin() + 54))
      << "palette kept";
  // First file row is the bottom row: bytes 0, 16, 32, 48.
  EXPECT_EQ(converted.image.red[12], 0);
  EXPECT_EQ(converted.image.red[13], 16);
  EXPECT_EQ(converted.image.red[3], 240);
}

TEST(BitmapFileTest, ImageSizeFieldStaysZeroWhereItWasZero) {
  BitmapPlan plan;
  plan.width = 3;
  plan.height = 2;
  plan.bitsPerPixel = 8;
  plan.writeImageSize = false;
  Converted converted = convertPlainly(buildBitmap(plan));
  EXPECT_EQ(fieldLe32(converted.output, 34), 0u);
  EXPECT_EQ(fieldLe32(converted.output, 2), converted.output.size());
}

}  // namespace

namespace {

// Rows longer than the read buffer go through it in pieces: a 24-bit row of
// 90001 pixels (270,003 bytes and a padding byte) comes back byte for byte,
// 8-bit rows of 270,001 pixels too. A header and a tail too large to keep
// (over 16 MiB) are copied from the input, each from its own offset.
TEST(BitmapFileTest, LongRowsLargeHeadersAndTailsComeBackWhole) {
  std::mt19937 random(3);
  struct Case {
    int bits;
    int32_t width;
    int64_t gap;  // bytes between the info header and the pixels
    int64_t tail;
  };
  const Case cases[] = {
      {24, 90001, 0, 0},
      {8, 270001, 0, 0},
      {24, 5, kKeptBytes + 1, kKeptBytes + 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bits << " bits, " << c.width);
    BitmapPlan plan;
    plan.width = c.width;
    plan.height = 2;
    plan.bitsPerPixel = c.bits;
    plan.pixels.resize(static_cast<size_t>(plan.width) * 2 * (c.bits / 8));
    for (uint8_t& byte : plan.pixels) byte = static_cast<uint8_t>(random());
    // Bytes that differ from place to place: a copy from another offset
    // shows.
    plan.tail.resize(static_cast<size_t>(c.tail));
    for (uint8_t& byte : plan.tail) byte = static_cast<uint8_t>(random());
    std::vector<uint8_t> input = buildBitmap(plan);
    if (c.gap > 0) {
      std::vector<uint8_t> gap(static_cast<size_t>(c.gap));
      for (uint8_t& byte : gap) byte = static_cast<uint8_t>(random());
      input.insert(input.begin() + 54, gap.begin(), gap.end());
      storeLe32(input.data() + 2, static_cast<uint32_t>(input.size()));
      storeLe32(input.data() + 10, static_cast<uint32_t>(54 + c.gap));
    }
    Converted converted = convertPlainly(input);
    ASSERT_EQ(converted.image.width, plan.width);
    if (c.bits == 24) {
      EXPECT_TRUE(converted.output == input);
    } else {
      // The index is the red part; the last pixel of the first file row is
      // the bottom row's.
      size_t last = static_cast<size_t>(plan.width) * 2 - 1;
      EXPECT_EQ(converted.image.red[last],
                plan.pixels[static_cast<size_t>(plan.width) - 1]);
    }
  }
}

// Pictures are made and written in pieces of rows: every pixel lands where
// it belongs, bottom-up and blue first, however long the row.
TEST(BitmapFileTest, PicturesInPiecesHoldEveryPixel) {
  for (int32_t width : {5, 90001}) {
    const int32_t height = 3;
    auto colour = [](int32_t row, int32_t column, int channel) {
      return static_cast<uint8_t>(row * 101 + column * 7 + channel * 50 +
                                  column / 256);
    };
    auto makeRow = [&](int32_t row, int32_t column, int32_t count,
                       uint8_t* rgb) {
      for (int32_t pixel = 0; pixel < count; ++pixel) {
        for (int channel = 0; channel < 3; ++channel) {
          rgb[3 * pixel + channel] = colour(row, column + pixel, channel);
        }
      }
    };
    TempDir dir;
    std::string path = dir.file("picture.bmp");
    FileStream output;
    output.stream = std::fopen(path.c_str(), "wb");
    std::string error;
    EXPECT_TRUE(writePicture(&output, false, width, height, makeRow, &error))
        << error;
    std::fclose(output.stream);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(path, &bytes));
    DecodedImage image;
    std::string why;
    ASSERT_TRUE(decode24(bytes, &image, &why)) << why;
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.rows, height);
    int32_t wrong = 0;
    for (int32_t row = 0; row < height; ++row) {
      for (int32_t column = 0; column < width; ++column) {
        size_t at = static_cast<size_t>(row) * static_cast<size_t>(width) +
                    static_cast<size_t>(column);
        wrong += image.red[at] != colour(row, column, 0) ||
                 image.green[at] != colour(row, column, 1) ||
                 image.blue[at] != colour(row, column, 2);
      }
    }
    EXPECT_EQ(wrong, 0) << width;
  }
}

// A grey row at every width up to a few blocks, then each of its bytes
// changed alone: the row is no longer grey wherever the byte lies (the
// vector blocks, their edges, the tail). A byte past the row never counts.
TEST(BitmapFileTest, GreyRowsFoundAtEveryWidthAndEveryByte) {
  std::mt19937 random(5);
  for (size_t count = 0; count <= 67; ++count) {
    std::vector<uint8_t> row(3 * count + 1);
    for (size_t pixel = 0; pixel < count; ++pixel) {
      const uint8_t grey =
          static_cast<uint8_t>(random() % 3 == 0 ? random() : 0);
      row[3 * pixel] = row[3 * pixel + 1] = row[3 * pixel + 2] = grey;
    }
    row.back() = 0x99;
    bool lit = false;
    for (size_t pixel = 0; pixel < count; ++pixel) lit |= row[3 * pixel] != 0;
    bool black = true;
    EXPECT_TRUE(bgrRowIsGrey(row.data(), count, &black)) << count;
    EXPECT_EQ(black, !lit) << count;
    for (size_t index = 0; index < 3 * count; ++index) {
      std::vector<uint8_t> coloured = row;
      coloured[index] ^= 0x10;
      black = true;
      EXPECT_FALSE(bgrRowIsGrey(coloured.data(), count, &black))
          << count << " " << index;
    }
  }
  // Black stays black; one lit grey pixel at the end clears it.
  std::vector<uint8_t> dark(3 * 50, 0);
  bool black = true;
  EXPECT_TRUE(bgrRowIsGrey(dark.data(), 50, &black));
  EXPECT_TRUE(black);
  dark[147] = dark[148] = dark[149] = 1;
  EXPECT_TRUE(bgrRowIsGrey(dark.data(), 50, &black));
  EXPECT_FALSE(black);
}

}  // namespace
