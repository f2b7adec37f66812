#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/tiff_file.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

// The TIFF's heights as decoded (rows top first), each followed by "*"
// where nodata is marked, then the lowest sample; or the error.
std::string decode(const TiffPlan& plan) {
  TempDir dir;
  FileStream input;
  if (!writeFileBytes(dir.file("in.tif"), buildTiff(plan)) ||
      !openInputFile(dir.file("in.tif").c_str(), &input)) {
    return "cannot open";
  }
  TiffDecoder* decoder = nullptr;
  TiffInfo info;
  PlaneSet planes;
  SampleMapping mapping;
  StoreCount clamped;
  std::string error, read;
  if (openTiffDecoder(&input, &decoder, &info, &error) &&
      allocatePlanes(&planes, info.width, info.height, &error,
                     BlueUse::kMarks) &&
      decodeTiffHeights(decoder, info, MappingRequest(), &planes, &mapping,
                        &clamped, &error, nullptr)) {
    for (int32_t row = 0; row < info.height; ++row) {
      for (int32_t column = 0; column < info.width; ++column) {
        read += std::to_string(planes.inGreen[row][column] << 8 |
                               planes.inRed[row][column]) +
                (planes.inBlue[row][column] != 0 ? "* " : " ");
      }
    }
    read += "from " + std::to_string(static_cast<int64_t>(mapping.lowest));
  }
  freeTiffDecoder(decoder);
  releasePlanes(&planes);
  closeInputFile(&input);
  return read.empty() ? error : read;
}

// Strips decoded whole or a row at a time, a tile larger than the image,
// each sample type as its heights, nodata marked; data cut short refused.
TEST(TiffReaderTest, ReadsStripsAndTilesIntoHeights) {
  struct Case {
    uint32_t width, height;
    uint16_t bits, format;
    uint32_t tile;         // 0: one strip
    uint32_t storedBytes;  // 0: whole
    std::string nodata;
    std::string read;
  };
  const std::vector<double> samples = {0x0102, 0xfffe, 3, 0xab00, 205, 7};
  const std::vector<double> small = {200, 0, 3, 17, 255, 7};
  const std::vector<double> signedSamples = {-5, 7, -9999, 3, 2, 1};
  const std::vector<double> floats = {0, 29, 1, 2, 28, 3};
  const Case cases[] = {
      {3, 2, 16, 1, 0, 0, "", "258 65534 3 43776 205 7 from 0"},
      {6, 1, 16, 1, 0, 0, "", "258 65534 3 43776 205 7 from 0"},
      {3, 2, 16, 1, 16, 0, "", "258 65534 3 43776 205 7 from 0"},
      {3, 2, 8, 1, 0, 0, "", "200 0 3 17 255 7 from 0"},
      {3, 2, 16, 2, 0, 0, "-9999", "0 12 0* 8 7 6 from -5"},
      {3, 2, 16, 2, 16, 0, "-9999", "0 12 0* 8 7 6 from -5"},
      {3, 2, 64, 3, 0, 0, "", "0 65279 2251 4502 63028 6753 from 0"},
      {3, 2, 16, 1, 0, 11, "", "Malformed TIFF: "},
      {3, 2, 16, 1, 16, 20, "", "Malformed TIFF: "},
  };
  for (const Case& c : cases) {
    TiffPlan plan;
    plan.width = c.width;
    plan.height = c.height;
    plan.bitsPerSample = c.bits;
    plan.sampleFormat = c.format;
    plan.tileWidth = plan.tileHeight = c.tile;
    plan.storedBytes = c.storedBytes;
    plan.nodata = c.nodata;
    plan.samples = c.format == 3   ? floats
                   : c.format == 2 ? signedSamples
                   : c.bits == 8   ? small
                                   : samples;
    const std::string got = decode(plan);
    const std::string label =
        std::to_string(c.width) + " x " + std::to_string(c.height) + " tile " +
        std::to_string(c.tile) + " stored " + std::to_string(c.storedBytes);
    if (c.read.back() == ' ') {
      EXPECT_EQ(got.rfind(c.read, 0), 0u) << label << ": " << got;
    } else {
      EXPECT_EQ(got, c.read) << label;
    }
  }
}

}  // namespace
