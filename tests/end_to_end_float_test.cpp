// Runs the built quillorn on 32-bit float maps (raw ".r32" in both byte
// orders, PFM with either sign of scale) and checks each height that comes
// back out as a float, the mapping on standard error, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "test_support.h"

namespace {

using Floats = std::vector<float>;

uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

float bitsFloat(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The samples' bytes, four each, in the order asked for.
std::vector<uint8_t> floatBytes(const Floats& values, bool big) {
  std::vector<uint8_t> bytes;
  for (float value : values) {
    const uint32_t bits = floatBits(value);
    for (int index = 0; index < 4; ++index) {
      const int shift = big ? 24 - 8 * index : 8 * index;
      bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
  }
  return bytes;
}

Floats floatsOf(const std::vector<uint8_t>& bytes, size_t offset, bool big) {
  Floats values;
  for (size_t at = offset; at + 4 <= bytes.size(); at += 4) {
    uint32_t bits = 0;
    for (int index = 0; index < 4; ++index) {
      const int shift = big ? 24 - 8 * index : 8 * index;
      bits |= static_cast<uint32_t>(bytes[at + static_cast<size_t>(index)])
              << shift;
    }
    values.push_back(bitsFloat(bits));
  }
  return values;
}

// A PFM of rows top first as given: the file holds them bottom first.
std::vector<uint8_t> pfmBytes(int32_t width, int32_t height,
                              const Floats& values, bool big) {
  const std::string header = "Pf\n" + std::to_string(width) + " " +
                             std::to_string(height) + "\n" +
                             (big ? "1.0" : "-1.0") + "\n";
  std::vector<uint8_t> bytes(header.begin(), header.end());
  for (int32_t row = height - 1; row >= 0; --row) {
    Floats line(values.begin() + row * width,
                values.begin() + (row + 1) * width);
    std::vector<uint8_t> part = floatBytes(line, big);
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  return bytes;
}

const float kNan = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// 4 x 3 samples from -20.5 to 1999.75, a NaN and an infinity among them.
const Floats kSamples = {-20.5f, 0.0f,  13.25f, 100.0f,   kNan,   512.5f,
                         999.0f, -kInf, 1500.f, 1999.75f, 7.125f, 42.0f};

}  // namespace

// Every float input, in both byte orders, written as floats through no
// stage that changes heights: each value back bit for bit, NaN and the
// infinity included; with -unit, within half a step of the 16-bit heights
// that carried it, nodata at the lowest value.
TEST(EndToEndFloatTest, FloatsComeBackAsTheyWere) {
  TempDir dir;
  const double lowest = -20.5;
  struct Input {
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> switches;
  };
  const Input inputs[] = {
      {"le.r32", floatBytes(kSamples, false), {"-dim", "4x3"}},
      {"be.r32", floatBytes(kSamples, true), {"-dim", "4x3", "-order", "big"}},
      {"le.pfm", pfmBytes(4, 3, kSamples, false), {}},
      {"be.pfm", pfmBytes(4, 3, kSamples, true), {}},
  };
  struct Output {
    std::string name;
    std::vector<std::string> switches;
    bool big;
    double step;  // 0: stretched over 0 ... 65279
  };
  const Output outputs[] = {
      {"out.r32", {}, false, 0},
      {"out_be.r32", {"-order", "big"}, true, 0},
      {"unit.r32", {"-unit", "0.25"}, false, 0.25},
  };
  for (const Input& input : inputs) {
    ASSERT_TRUE(writeFileBytes(dir.file(input.name), input.bytes));
    for (const Output& output : outputs) {
      std::vector<std::string> arguments = {dir.file(input.name),
                                            dir.file(output.name)};
      arguments.insert(arguments.end(), input.switches.begin(),
                       input.switches.end());
      for (const std::string& word : output.switches) {
        // -order given once serves both files.
        if (word == "-order" || word == "big") continue;
        arguments.push_back(word);
      }
      const bool big = output.big;
      const bool inputBig = input.name.rfind("be", 0) == 0;
      // One -order serves input and output: skip the mixed pairs of raw
      // files.
      if (input.name.find(".r32") != std::string::npos && big != inputBig) {
        continue;
      }
      if (big && input.name.find(".pfm") != std::string::npos) {
        arguments.insert(arguments.end(), {"-order", "big"});
      }
      const std::string label = input.name + " -> " + output.name;
      ProcessResult result = runQuillorn(arguments);
      ASSERT_EQ(result.exitStatus, 0) << label << "\n" << result.errors;
      EXPECT_EQ(result.lines, successLines({})) << label;
      std::vector<uint8_t> written;
      ASSERT_TRUE(readFileBytes(dir.file(output.name), &written)) << label;
      Floats values = floatsOf(written, 0, big);
      ASSERT_EQ(values.size(), kSamples.size()) << label;
      for (size_t at = 0; at < values.size(); ++at) {
        if (output.step == 0) {
          EXPECT_EQ(floatBits(values[at]), floatBits(kSamples[at]))
              << label << " sample " << at;
          continue;
        }
        const double expected =
            std::isfinite(kSamples[at]) ? kSamples[at] : lowest;
        EXPECT_NEAR(values[at], expected, output.step / 2 + 1e-4)
            << label << " sample " << at;
      }
      if (throughLauncher()) continue;
      const std::string nodata =
          "quillorn: " + dir.file(input.name) +
          ": 2 samples were nodata (no value); they " +
          (output.step > 0 ? "take height 0, the lowest valid sample's"
                           : "stay nodata") +
          "\n";
      // The floats are their values: no mapping to tell.
      const std::string told =
          output.step > 0 ? "quillorn: " + dir.file(output.name) +
                                ": each height is written as its value, -20.5 "
                                "+ 0.25 x height (height 8081 = 1999.75)\n"
                          : "";
      EXPECT_EQ(result.errors.substr(0, nodata.size()), nodata) << label;
      EXPECT_EQ(result.errors.size() >= told.size()
                    ? result.errors.substr(result.errors.size() - told.size())
                    : result.errors,
                told)
          << label << "\n"
          << result.errors;
      EXPECT_EQ(
          output.step > 0,
          result.errors.find("heights from its values") != std::string::npos)
          << label;
    }
  }
}

// Heights without units written as floats: h x -unit, or h itself; a float
// map through a 16-bit file and back within half a step.
TEST(EndToEndFloatTest, SixteenBitHeightsBecomeValues) {
  TempDir dir;
  const std::vector<uint8_t> pgm = {'P', '5',  '\n', '3',  ' ', '1',  '\n',
                                    '6', '5',  '5',  '3',  '5', '\n', 0,
                                    0,   0x12, 0x34, 0xFF, 0xFF};
  ASSERT_TRUE(writeFileBytes(dir.file("in.pgm"), pgm));
  struct Case {
    std::vector<std::string> switches;
    Floats expected;
    std::string errors;
  };
  const std::string out = dir.file("out.r32");
  const Case cases[] = {
      {{},
       {0, 4660, 65535},
       "quillorn: " + out +
           ": each height is written as its value, 0 + 1 x height (height "
           "65535 = 65535)\n"},
      {{"-unit", "0.01"},
       {0, 46.6f, 655.35f},
       "quillorn: " + out +
           ": each height is written as its value, 0 + 0.01 x height (height "
           "65535 = 655.35)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {dir.file("in.pgm"), out};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors, c.errors);
    }
    std::vector<uint8_t> written;
    ASSERT_TRUE(readFileBytes(out, &written));
    EXPECT_EQ(floatsOf(written, 0, false), c.expected);
  }
  // Float -> PGM -> float: the PGM holds the heights, -unit the step back.
  ASSERT_TRUE(writeFileBytes(dir.file("f.r32"), floatBytes(kSamples, false)));
  ASSERT_EQ(runQuillorn({dir.file("f.r32"), dir.file("f.pgm"), "-dim", "4x3",
                         "-unit", "0.5"})
                .exitStatus,
            0);
  ASSERT_EQ(
      runQuillorn({dir.file("f.pgm"), dir.file("back.r32"), "-unit", "0.5"})
          .exitStatus,
      0);
  std::vector<uint8_t> back;
  ASSERT_TRUE(readFileBytes(dir.file("back.r32"), &back));
  Floats values = floatsOf(back, 0, false);
  ASSERT_EQ(values.size(), kSamples.size());
  for (size_t at = 0; at < values.size(); ++at) {
    const double expected = std::isfinite(kSamples[at]) ? kSamples[at] : -20.5;
    // The PGM's heights count from the lowest value, -20.5.
    EXPECT_NEAR(values[at] - 20.5, expected, 0.25) << at;
  }
}

// Float files that cannot be read: each refused before any work, saying
// why, with nothing written.
TEST(EndToEndFloatTest, MalformedFloatFilesAreRefused) {
  TempDir dir;
  std::vector<uint8_t> truncated = pfmBytes(4, 3, kSamples, false);
  truncated.resize(truncated.size() - 1);
  const std::string huge = "Pf\n2147483647 2147483647\n-1\n";
  const std::string noScale = "Pf\n4 3\n\n";
  const std::string colour = "PF\n1 1\n-1\n............";
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> switches;
    std::string line;
  };
  const Case cases[] = {
      {"short.pfm",
       truncated,
       {},
       "ERROR: PFM file is truncated: its 4 x 3 samples need 48 bytes after "
       "the header, it has 47"},
      {"huge.pfm",
       std::vector<uint8_t>(huge.begin(), huge.end()),
       {},
       "ERROR: PFM file is truncated: its 2147483647 x 2147483647 samples "
       "need 18446744056529682436 bytes after the header, it has 0"},
      {"noscale.pfm",
       std::vector<uint8_t>(noScale.begin(), noScale.end()),
       {},
       "ERROR: Malformed PFM: its header is not \"Pf\", the width, the height "
       "and the scale, each after whitespace"},
      {"colour.pfm",
       std::vector<uint8_t>(colour.begin(), colour.end()),
       {},
       "ERROR: Input file is a colour PFM (PF); a greyscale one (Pf) is "
       "expected"},
      {"odd.r32",
       std::vector<uint8_t>(12),
       {},
       "ERROR: Raw float file has 12 bytes, not 4 x n x n for a square map "
       "(4 bytes a float); give its size with -dim <width>x<height>"},
      {"dim.r32",
       std::vector<uint8_t>(12),
       {"-dim", "2x2"},
       "ERROR: Raw float file has 12 bytes, but -dim 2x2 needs 16 (4 bytes a "
       "float)"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFileBytes(dir.file(c.name), c.bytes));
    std::vector<std::string> arguments = {dir.file(c.name), dir.file("o.r32")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, kFailed) << c.name;
    EXPECT_EQ(result.lines, withBanner({c.line})) << c.name;
    EXPECT_FALSE(fileExists(dir.file("o.r32"))) << c.name;
  }
}
