#include "app/elevation_recoder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/command_line.h"
#include "image/exr_file.h"
#include "image/tiff_file.h"
#include "platform/interrupts.h"
#include "platform/outputs.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

// Every prefix of a valid file is refused with one "ERROR: " line and no
// output, unless only its tail was cut, in which case it converts.
TEST(ElevationRecoderTest, EveryTruncationIsRefusedOrConverts) {
  struct Case {
    int32_t width, height;
    int bits;
    size_t tail;
  };
  const Case cases[] = {{5, 3, 8, 3}, {3, -2, 24, 2}, {4, 2, 24, 0}};
  for (const Case& c : cases) {
    BitmapPlan plan;
    plan.width = c.width;
    plan.height = c.height;
    plan.bitsPerPixel = c.bits;
    plan.tail.assign(c.tail, 9);
    std::vector<uint8_t> whole = buildBitmap(plan);
    size_t pixelsEnd = whole.size() - c.tail;
    TempDir dir;
    for (size_t length = 0; length <= whole.size(); ++length) {
      ASSERT_TRUE(writeFileBytes(
          dir.file("in.bmp"),
          std::vector<uint8_t>(
              whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length))));
      ProcessResult result =
          runInProcess({dir.file("in.bmp"), dir.file("out.bmp"), "-sca", "0",
                        "-smo", "1", "-min", "5"});
      ASSERT_FALSE(result.lines.empty());
      if (length >= pixelsEnd) {
        EXPECT_EQ(result.exitStatus, kExitSuccess) << length;
        EXPECT_EQ(result.lines.back(), "Done!") << length;
        std::vector<uint8_t> output;
        ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
        EXPECT_EQ(fieldLe32(output, 2), output.size());
        EXPECT_EQ(output.size() - (length - pixelsEnd),
                  fieldLe32(output, 10) + fieldLe32(output, 34));
        std::remove(dir.file("out.bmp").c_str());
      } else {
        EXPECT_EQ(result.exitStatus, kExitFailure) << length;
        EXPECT_EQ(result.lines.size(), 3u) << length;
        EXPECT_EQ(result.lines.back().rfind("ERROR: ", 0), 0u) << length;
        EXPECT_FALSE(fileExists(dir.file("out.bmp"))) << length;
      }
    }
  }
}

// The same for the other formats' readers: no prefix converts, a PNG's
// included (its last checksums and end chunk are read too), a PFM's and an
// OpenEXR's.
TEST(ElevationRecoderTest, EveryTruncatedHeightFileIsRefused) {
  TempDir dir;
  std::string p5 = "P5\n# two by two\n2 2\n65535\n";
  p5 += std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  struct Case {
    const char* name;
    std::vector<uint8_t> whole;
  };
  std::vector<Case> cases = {
      {"a.pgm", std::vector<uint8_t>(p5.begin(), p5.end())},
      {"b.pgm", {'P', '2', ' ', '2', ' ', '1', ' ', '9', '\n', '1', ' ', '7'}},
  };
  std::vector<uint8_t> raw(2 * 9, 0x11);
  ASSERT_TRUE(writeFileBytes(dir.file("in.r16"), raw));
  if (runInProcess({dir.file("in.r16"), dir.file("in.png")}).exitStatus ==
      kExitSuccess) {
    std::vector<uint8_t> png;
    ASSERT_TRUE(readFileBytes(dir.file("in.png"), &png));
    cases.push_back({"c.png", png});
  }
  if (haveTiff()) {
    TiffPlan plan;
    plan.width = 3;
    plan.height = 2;
    plan.sampleFormat = 2;
    plan.nodata = "-9999";
    plan.samples = {-5, 7, -9999, 3, 2, 1};
    cases.push_back({"d.tif", buildTiff(plan)});
  }
  // A grey PFM of 2 x 2 little-endian floats.
  const std::string pfm = "Pf\n2 2\n-1.0\n" +
                          std::string("\0\0\x80\x3F\0\0\0\x40", 8) +
                          std::string("\0\0\x40\x40\0\0\x80\x40", 8);
  cases.push_back({"e.pfm", std::vector<uint8_t>(pfm.begin(), pfm.end())});
  if (haveExr() &&
      runInProcess({dir.file("in.r16"), dir.file("in.exr")}).exitStatus ==
          kExitSuccess) {
    std::vector<uint8_t> exr;
    ASSERT_TRUE(readFileBytes(dir.file("in.exr"), &exr));
    cases.push_back({"f.exr", exr});
  }
  for (const Case& c : cases) {
    for (size_t length = 0; length <= c.whole.size(); ++length) {
      ASSERT_TRUE(writeFileBytes(
          dir.file(c.name),
          std::vector<uint8_t>(
              c.whole.begin(),
              c.whole.begin() + static_cast<ptrdiff_t>(length))));
      ProcessResult result =
          runInProcess({dir.file(c.name), dir.file("out.r16"), "-smo", "1"});
      ASSERT_FALSE(result.lines.empty());
      if (length == c.whole.size()) {
        EXPECT_EQ(result.exitStatus, kExitSuccess) << c.name;
      } else {
        EXPECT_EQ(result.exitStatus, kExitFailure) << c.name << " " << length;
        EXPECT_EQ(result.lines.back().rfind("ERROR: ", 0), 0u)
            << c.name << " " << length;
        EXPECT_FALSE(fileExists(dir.file("out.r16"))) << c.name << length;
      }
      std::remove(dir.file("out.r16").c_str());
    }
  }
}

// An interruption raised between the replacement of the output and that of
// its picture is held until both are in place: never one new and the other
// old, and no temporary left. Then every output is new, and the signal no
// longer turns the run into a failure: it ends with "Done!" and status 0.
TEST(ElevationRecoderTest, AnInterruptionNeverSplitsTheOutputFromItsPicture) {
  TempDir dir;
  BitmapPlan plan;
  plan.width = 5;
  plan.height = 3;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), buildBitmap(plan)));
  ASSERT_EQ(runInProcess({dir.file("in.bmp"), dir.file("new.bmp"), "-sca", "2",
                          "-view", dir.file("new_view.bmp")})
                .exitStatus,
            kExitSuccess);
  std::vector<uint8_t> output, view;
  ASSERT_TRUE(readFileBytes(dir.file("new.bmp"), &output));
  ASSERT_TRUE(readFileBytes(dir.file("new_view.bmp"), &view));
  ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), {'o', 'l', 'd'}));
  ASSERT_TRUE(writeFileBytes(dir.file("view.bmp"), {'o', 'l', 'd'}));
  EXPECT_EXIT(
      {
        beforeLaterReplacement = [](int) { std::raise(SIGTERM); };
        ProcessResult late =
            runInProcess({dir.file("in.bmp"), dir.file("out.bmp"), "-sca", "2",
                          "-view", dir.file("view.bmp")});
        const bool done = late.exitStatus == kExitSuccess &&
                          !late.lines.empty() && late.lines.back() == "Done!";
        std::exit(done ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &bytes));
  EXPECT_EQ(bytes, output);
  ASSERT_TRUE(readFileBytes(dir.file("view.bmp"), &bytes));
  EXPECT_EQ(bytes, view);
  EXPECT_EQ(folderNames(dir.path()),
            std::vector<std::string>(
                {"in.bmp", "new.bmp", "new_view.bmp", "out.bmp", "view.bmp"}));
}

}  // namespace
