// OpenEXR files written by the OpenEXR library itself (half, float and
// unsigned channels, scanlines and tiles, Y and RGB grey, NaN) read by the
// built quillorn, each height checked; the channel refusals and -channel;
// damaged, truncated and forged files refused; what the tool writes read
// back by the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "end_to_end_support.h"
#include "test_support.h"

#ifdef QUILLORN_TEST_EXR
#include <Imath/half.h>
#include <openexr.h>
#endif

namespace {

#ifdef QUILLORN_TEST_EXR

// One channel of a test file: its name, type and samples, rows top first.
struct TestChannel {
  std::string name;
  exr_pixel_type_t type = EXR_PIXEL_FLOAT;
  std::vector<float> samples;
};

// The samples as the channel's type stores them, for the library's
// encoder.
std::vector<uint8_t> storedSamples(const TestChannel& channel) {
  std::vector<uint8_t> bytes;
  for (float value : channel.samples) {
    uint8_t stored[4] = {};
    size_t size = 4;
    if (channel.type == EXR_PIXEL_HALF) {
      const uint16_t half = imath_float_to_half(value);
      std::memcpy(stored, &half, 2);
      size = 2;
    } else if (channel.type == EXR_PIXEL_UINT) {
      const uint32_t whole = static_cast<uint32_t>(value);
      std::memcpy(stored, &whole, 4);
    } else {
      std::memcpy(stored, &value, 4);
    }
    bytes.insert(bytes.end(), stored, stored + size);
  }
  return bytes;
}

// Writes path through the library: scanlines, or tiles of tile x tile
// pixels; false with why when the library fails.
bool writeTestExr(const std::string& path, int32_t width, int32_t height,
                  const std::vector<TestChannel>& channels, int32_t tile,
                  exr_compression_t compression, std::string* why) {
  exr_context_t context = nullptr;
  exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
  exr_result_t code =
      exr_start_write(&context, path.c_str(), EXR_WRITE_FILE_DIRECTLY, &init);
  int part = 0;
  auto check = [&](const char* what) {
    if (code == EXR_ERR_SUCCESS) return true;
    *why = std::string(what) + ": " + exr_get_default_error_message(code);
    return false;
  };
  if (!check("start")) return false;
  code = exr_add_part(
      context, "", tile > 0 ? EXR_STORAGE_TILED : EXR_STORAGE_SCANLINE, &part);
  if (!check("part")) return false;
  code = exr_initialize_required_attr_simple(context, part, width, height,
                                             compression);
  if (!check("attributes")) return false;
  if (tile > 0) {
    code = exr_set_tile_descriptor(context, part, static_cast<uint32_t>(tile),
                                   static_cast<uint32_t>(tile),
                                   EXR_TILE_ONE_LEVEL, EXR_TILE_ROUND_DOWN);
    if (!check("tiles")) return false;
  }
  std::vector<std::vector<uint8_t>> stored;
  for (const TestChannel& channel : channels) {
    code = exr_add_channel(context, part, channel.name.c_str(), channel.type,
                           EXR_PERCEPTUALLY_LINEAR, 1, 1);
    if (!check("channel")) return false;
    stored.push_back(storedSamples(channel));
  }
  code = exr_write_header(context);
  if (!check("header")) return false;
  exr_encode_pipeline_t pipe{};
  bool started = false;
  // The library keeps its channels sorted by name.
  auto encode = [&](const exr_chunk_info_t& chunk, int32_t x, int32_t y) {
    code = started ? exr_encoding_update(context, part, &chunk, &pipe)
                   : exr_encoding_initialize(context, part, &chunk, &pipe);
    if (!check("encoder")) return false;
    started = true;
    for (int16_t index = 0; index < pipe.channel_count; ++index) {
      exr_coding_channel_info_t& coded = pipe.channels[index];
      for (size_t which = 0; which < channels.size(); ++which) {
        if (channels[which].name != coded.channel_name) continue;
        const int32_t size = channels[which].type == EXR_PIXEL_HALF ? 2 : 4;
        coded.encode_from_ptr =
            stored[which].data() +
            (static_cast<size_t>(y) * static_cast<size_t>(width) +
             static_cast<size_t>(x)) *
                static_cast<size_t>(size);
        coded.user_pixel_stride = size;
        coded.user_line_stride = size * width;
        coded.user_data_type = static_cast<uint16_t>(channels[which].type);
        coded.user_bytes_per_element = static_cast<int16_t>(size);
      }
    }
    code = exr_encoding_choose_default_routines(context, part, &pipe);
    if (!check("routines")) return false;
    code = exr_encoding_run(context, part, &pipe);
    return check("encoding");
  };
  if (tile > 0) {
    for (int32_t ty = 0; ty * tile < height; ++ty) {
      for (int32_t tx = 0; tx * tile < width; ++tx) {
        exr_chunk_info_t chunk = {};
        code = exr_write_tile_chunk_info(context, part, tx, ty, 0, 0, &chunk);
        if (!check("tile") || !encode(chunk, tx * tile, ty * tile)) {
          return false;
        }
      }
    }
  } else {
    int32_t rows = 1;
    exr_get_scanlines_per_chunk(context, part, &rows);
    for (int32_t y = 0; y < height; y += rows) {
      exr_chunk_info_t chunk = {};
      code = exr_write_scanline_chunk_info(context, part, y, &chunk);
      if (!check("rows") || !encode(chunk, 0, y)) return false;
    }
  }
  if (started) exr_encoding_destroy(context, &pipe);
  code = exr_finish(&context);
  return check("finish");
}

// Reads a one-channel float file back through the library.
bool readTestExr(const std::string& path, std::vector<std::string>* names,
                 int32_t* width, int32_t* height, std::vector<float>* samples,
                 exr_compression_t* compression) {
  exr_context_t context = nullptr;
  if (exr_start_read(&context, path.c_str(), nullptr) != EXR_ERR_SUCCESS) {
    return false;
  }
  const exr_attr_chlist_t* channels = nullptr;
  exr_attr_box2i_t window = {};
  exr_get_channels(context, 0, &channels);
  exr_get_data_window(context, 0, &window);
  exr_get_compression(context, 0, compression);
  for (int index = 0; index < channels->num_channels; ++index) {
    names->push_back(channels->entries[index].name.str);
  }
  *width = window.max.x - window.min.x + 1;
  *height = window.max.y - window.min.y + 1;
  samples->assign(static_cast<size_t>(*width) * static_cast<size_t>(*height),
                  0.0f);
  int32_t rows = 1;
  exr_get_scanlines_per_chunk(context, 0, &rows);
  exr_decode_pipeline_t pipe{};
  bool good = true;
  for (int32_t y = 0; good && y < *height; y += rows) {
    exr_chunk_info_t chunk = {};
    good = exr_read_scanline_chunk_info(context, 0, y, &chunk) ==
               EXR_ERR_SUCCESS &&
           (y == 0 ? exr_decoding_initialize(context, 0, &chunk, &pipe)
                   : exr_decoding_update(context, 0, &chunk, &pipe)) ==
               EXR_ERR_SUCCESS;
    if (!good) break;
    pipe.channels[0].decode_to_ptr = reinterpret_cast<uint8_t*>(
        samples->data() + static_cast<size_t>(y) * static_cast<size_t>(*width));
    pipe.channels[0].user_pixel_stride = 4;
    pipe.channels[0].user_line_stride = 4 * *width;
    pipe.channels[0].user_data_type = EXR_PIXEL_FLOAT;
    pipe.channels[0].user_bytes_per_element = 4;
    good = exr_decoding_choose_default_routines(context, 0, &pipe) ==
               EXR_ERR_SUCCESS &&
           exr_decoding_run(context, 0, &pipe) == EXR_ERR_SUCCESS;
  }
  exr_decoding_destroy(context, &pipe);
  exr_finish(&context);
  return good;
}

#endif  // QUILLORN_TEST_EXR

// True when the tool under test was built with OpenEXR.
bool toolHasExr() {
  ProcessResult version = runQuillorn({"--version"});
  return version.lines.size() == 2 &&
         version.lines[1].find("OpenEXR (") != std::string::npos;
}

std::vector<float> floatsOf(const std::vector<uint8_t>& bytes) {
  std::vector<float> values(bytes.size() / 4);
  std::memcpy(values.data(), bytes.data(), 4 * values.size());
  return values;
}

const float kNan = std::numeric_limits<float>::quiet_NaN();

}  // namespace

#ifdef QUILLORN_TEST_EXR

// Every kind of grey file the library writes: the heights come back as
// floats within half a step of the samples, NaN at the lowest.
TEST(ExrFileTest, GreyFilesOfEveryKindAreRead) {
  if (!toolHasExr()) GTEST_SKIP() << "the tool was built without OpenEXR";
  TempDir dir;
  const int32_t width = 5, height = 19;  // more rows than one ZIP chunk
  std::vector<float> samples;
  for (int32_t index = 0; index < width * height; ++index) {
    samples.push_back(static_cast<float>(index * 3 % 41) - 8.5f);
  }
  samples[7] = kNan;
  struct Case {
    std::string name;
    std::vector<std::string> channels;
    exr_pixel_type_t type;
    int32_t tile;
    exr_compression_t compression;
  };
  const Case cases[] = {
      {"y_float_scan", {"Y"}, EXR_PIXEL_FLOAT, 0, EXR_COMPRESSION_ZIP},
      {"y_half_tiled", {"Y"}, EXR_PIXEL_HALF, 4, EXR_COMPRESSION_PIZ},
      {"rgb_half_scan",
       {"R", "G", "B"},
       EXR_PIXEL_HALF,
       0,
       EXR_COMPRESSION_NONE},
      {"rgb_float_tiled",
       {"R", "G", "B"},
       EXR_PIXEL_FLOAT,
       3,
       EXR_COMPRESSION_ZIPS},
      {"height_ya", {"height", "A"}, EXR_PIXEL_FLOAT, 0, EXR_COMPRESSION_RLE},
      // Half R, G, B read beside A left unread: painting programs' default.
      {"rgba_half_scan",
       {"R", "G", "B", "A"},
       EXR_PIXEL_HALF,
       0,
       EXR_COMPRESSION_ZIP},
  };
  for (const Case& c : cases) {
    std::vector<TestChannel> channels;
    for (const std::string& name : c.channels) {
      channels.push_back({name, c.type, samples});
    }
    if (c.channels.back() == "A")
      channels.back().samples.assign(samples.size(), 1.0f);
    std::string why;
    const std::string input = dir.file(c.name + ".exr");
    ASSERT_TRUE(writeTestExr(input, width, height, channels, c.tile,
                             c.compression, &why))
        << c.name << ": " << why;
    const std::string output = dir.file(c.name + ".r32");
    ProcessResult result = runQuillorn({input, output, "-unit", "0.5"});
    ASSERT_EQ(result.exitStatus, 0) << c.name << "\n" << result.errors;
    EXPECT_EQ(result.lines, successLines({})) << c.name;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(output, &bytes));
    std::vector<float> values = floatsOf(bytes);
    ASSERT_EQ(values.size(), samples.size()) << c.name;
    for (size_t at = 0; at < values.size(); ++at) {
      const float expected = std::isnan(samples[at]) ? -8.5f : samples[at];
      EXPECT_NEAR(values[at], expected, 0.25) << c.name << " sample " << at;
    }
    EXPECT_NE(result.errors.find("1 sample was nodata"), std::string::npos)
        << c.name << "\n"
        << result.errors;
  }
}

// Unsigned channels, and -channel on colour: each channel and the luma.
TEST(ExrFileTest, ChannelsArePickedOrRefused) {
  if (!toolHasExr()) GTEST_SKIP() << "the tool was built without OpenEXR";
  TempDir dir;
  const std::vector<float> red = {0, 100, 200, 300};
  const std::vector<float> green = {50, 60, 70, 80};
  const std::vector<float> blue = {1000, 0, 10, 20};
  std::string why;
  ASSERT_TRUE(writeTestExr(dir.file("rgb.exr"), 2, 2,
                           {{"R", EXR_PIXEL_UINT, red},
                            {"G", EXR_PIXEL_UINT, green},
                            {"B", EXR_PIXEL_UINT, blue}},
                           0, EXR_COMPRESSION_ZIP, &why))
      << why;
  ASSERT_TRUE(writeTestExr(
      dir.file("za.exr"), 2, 2,
      {{"Z", EXR_PIXEL_FLOAT, red}, {"depth", EXR_PIXEL_FLOAT, green}}, 0,
      EXR_COMPRESSION_ZIP, &why))
      << why;
  // Grey needs blue to agree too.
  ASSERT_TRUE(writeTestExr(dir.file("rg.exr"), 1, 1,
                           {{"R", EXR_PIXEL_HALF, {5}},
                            {"G", EXR_PIXEL_HALF, {5}},
                            {"B", EXR_PIXEL_HALF, {7}}},
                           0, EXR_COMPRESSION_NONE, &why))
      << why;
  std::vector<float> luma;
  for (size_t at = 0; at < red.size(); ++at) {
    luma.push_back(static_cast<float>(0.2126 * red[at] + 0.7152 * green[at] +
                                      0.0722 * blue[at]));
  }
  const std::string w =
      "quillorn: warning: " + dir.file("rgb.exr") + ": the heights are ";
  struct Case {
    std::string input;
    std::vector<std::string> switches;
    std::vector<float> expected;  // empty: refused with line
    std::string line;
    std::string warning;
  };
  const Case cases[] = {
      {"rgb.exr",
       {"-channel", "red"},
       red,
       "",
       w + "its R channel (-channel red), not a grey the colours agree on\n"},
      {"rgb.exr",
       {"-channel", "blue"},
       blue,
       "",
       w + "its B channel (-channel blue), not a grey the colours agree on\n"},
      {"rgb.exr",
       {"-channel", "luma"},
       luma,
       "",
       w + "the luma of R, G and B (-channel luma), not a grey the colours "
           "agree on\n"},
      {"rgb.exr",
       {},
       {},
       "ERROR: Input file is a colour OpenEXR: pixel (0, 0) is R 0, G 50, B "
       "1000, not grey; -channel red, green, blue or luma reads it, or save it "
       "from the editor's greyscale mode",
       ""},
      {"rg.exr",
       {},
       {},
       "ERROR: Input file is a colour OpenEXR: pixel (0, 0) is R 5, G 5, B 7, "
       "not grey; -channel red, green, blue or luma reads it, or save it from "
       "the editor's greyscale mode",
       ""},
      {"rgb.exr",
       {"-channel", "alpha"},
       {},
       "ERROR: Input file is an OpenEXR of channels B, G, R: it has no A for "
       "-channel alpha",
       ""},
      {"za.exr",
       {},
       {},
       "ERROR: Input file is an OpenEXR of channels Z, depth; one is read as "
       "the heights: -channel red, green, blue, alpha or luma picks it",
       ""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {dir.file(c.input), dir.file("o.r32")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    // The stretch is undone by the float output: values within half a step.
    ProcessResult result = runQuillorn(arguments);
    const std::string label =
        c.input + " " + (c.switches.empty() ? "" : c.switches[1]);
    if (c.expected.empty()) {
      EXPECT_EQ(result.exitStatus, kFailed) << label;
      // Channels are chosen from the header; grey is seen reading.
      const Lines reading = {"Reading input header...",
                             "Initializing temp arrays...",
                             "Reading input height..."};
      EXPECT_EQ(
          result.lines,
          withBanner(c.switches.empty() && c.input != "za.exr"
                         ? Lines{reading[0], reading[1], reading[2], c.line}
                         : Lines{c.line}))
          << label;
      continue;
    }
    ASSERT_EQ(result.exitStatus, 0) << label << "\n" << result.errors;
    // A launcher's build ends its lines its own way.
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors.rfind(c.warning, 0), 0u) << label << "\n"
                                                       << result.errors;
    }
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(dir.file("o.r32"), &bytes));
    std::vector<float> values = floatsOf(bytes);
    ASSERT_EQ(values.size(), c.expected.size());
    for (size_t at = 0; at < values.size(); ++at) {
      EXPECT_NEAR(values[at], c.expected[at], 0.01) << label << " " << at;
    }
  }
}

// What the tool writes: one float channel Y, ZIP, each height's value; a
// float map back within half a step.
TEST(ExrFileTest, WrittenFilesHoldEachHeightsValue) {
  if (!toolHasExr()) GTEST_SKIP() << "the tool was built without OpenEXR";
  TempDir dir;
  const int32_t width = 3, height = 20;
  std::vector<float> samples;
  for (int32_t index = 0; index < width * height; ++index) {
    samples.push_back(1000.0f + 12.75f * static_cast<float>(index % 17));
  }
  std::string why;
  ASSERT_TRUE(writeTestExr(dir.file("in.exr"), width, height,
                           {{"Y", EXR_PIXEL_FLOAT, samples}}, 0,
                           EXR_COMPRESSION_ZIP, &why))
      << why;
  ProcessResult result = runQuillorn({dir.file("in.exr"), dir.file("out.exr")});
  ASSERT_EQ(result.exitStatus, 0) << result.errors;
  EXPECT_EQ(result.lines, successLines({}));
  std::vector<std::string> names;
  int32_t readWidth = 0, readHeight = 0;
  std::vector<float> values;
  exr_compression_t compression = EXR_COMPRESSION_NONE;
  ASSERT_TRUE(readTestExr(dir.file("out.exr"), &names, &readWidth, &readHeight,
                          &values, &compression));
  EXPECT_EQ(names, std::vector<std::string>{"Y"});
  EXPECT_EQ(readWidth, width);
  EXPECT_EQ(readHeight, height);
  EXPECT_EQ(compression, EXR_COMPRESSION_ZIP);
  // Floats to floats: every value as it was, and no mapping to tell.
  EXPECT_EQ(values, samples);
  if (!throughLauncher()) {
    EXPECT_EQ(result.errors, "");
  }
  // Float -> 16-bit PNG-free PGM -> EXR with the step: back within half a
  // step.
  ASSERT_EQ(
      runQuillorn({dir.file("in.exr"), dir.file("mid.pgm"), "-unit", "0.25"})
          .exitStatus,
      0);
  ASSERT_EQ(
      runQuillorn({dir.file("mid.pgm"), dir.file("back.exr"), "-unit", "0.25"})
          .exitStatus,
      0);
  names.clear();
  ASSERT_TRUE(readTestExr(dir.file("back.exr"), &names, &readWidth, &readHeight,
                          &values, &compression));
  for (size_t at = 0; at < values.size(); ++at) {
    EXPECT_NEAR(values[at] + 1000.0f, samples[at], 0.125) << at;
  }
}

// Unsigned samples become floats as they are where a float holds them;
// beyond 2^24, where two may meet at one float, a warning counts them.
TEST(ExrFileTest, UnsignedSamplesBeyondAFloatAreCounted) {
  if (!toolHasExr()) GTEST_SKIP() << "the tool was built without OpenEXR";
  TempDir dir;
  const struct {
    std::vector<uint32_t> wholes;
    std::vector<float> values;
    std::string warning;
  } cases[] = {
      {{7, 65536, 16777216}, {7.0f, 65536.0f, 16777216.0f}, ""},
      {{16777217, 16777216, 4294967000u},
       {16777216.0f, 16777216.0f, 4294967040.0f},
       "quillorn: warning: " + dir.file("in.exr") +
           ": 2 unsigned samples are beyond what a 32-bit float holds exactly "
           "(2^24) and read as the nearest float, where neighbouring values "
           "may meet\n"},
  };
  for (const auto& c : cases) {
    // The test's channels are floats: samples 1, 2, 3, uncompressed, then
    // their bytes put to the samples wanted.
    std::string why;
    ASSERT_TRUE(writeTestExr(dir.file("in.exr"), 3, 1,
                             {{"Y", EXR_PIXEL_UINT, {1, 2, 3}}}, 0,
                             EXR_COMPRESSION_NONE, &why))
        << why;
    std::vector<uint8_t> file;
    ASSERT_TRUE(readFileBytes(dir.file("in.exr"), &file));
    const uint8_t stored[12] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    auto at = std::search(file.begin(), file.end(), stored, stored + 12);
    ASSERT_NE(at, file.end());
    std::memcpy(&*at, c.wholes.data(), 12);
    ASSERT_TRUE(writeFileBytes(dir.file("in.exr"), file));
    ProcessResult result =
        runQuillorn({dir.file("in.exr"), dir.file("out.r32")});
    ASSERT_EQ(result.exitStatus, 0) << result.errors;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(dir.file("out.r32"), &bytes));
    std::vector<float> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), 4 * values.size());
    EXPECT_EQ(values, c.values);
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors.substr(0, c.warning.size()), c.warning);
      EXPECT_EQ(result.errors.find("beyond what") != std::string::npos,
                !c.warning.empty());
    }
  }
}

// Damaged, truncated and forged files: refused before any work, nothing
// written.
TEST(ExrFileTest, BrokenFilesAreRefused) {
  if (!toolHasExr()) GTEST_SKIP() << "the tool was built without OpenEXR";
  TempDir dir;
  std::vector<float> samples(64 * 64, 5.0f);
  for (size_t at = 0; at < samples.size(); ++at) {
    samples[at] = static_cast<float>(at % 97);
  }
  std::string why;
  ASSERT_TRUE(writeTestExr(dir.file("good.exr"), 64, 64,
                           {{"Y", EXR_PIXEL_FLOAT, samples}}, 0,
                           EXR_COMPRESSION_ZIP, &why))
      << why;
  std::vector<uint8_t> good;
  ASSERT_TRUE(readFileBytes(dir.file("good.exr"), &good));
  std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
  std::vector<uint8_t> damaged = good;
  for (size_t at = good.size() - 200; at < good.size() - 100; ++at) {
    damaged[at] = static_cast<uint8_t>(damaged[at] ^ 0x5A);
  }
  std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 40);
  // The data window's largest corner, as a forged size: the attribute's
  // value follows its name and type.
  std::vector<uint8_t> forged = good;
  const std::string window = "dataWindow";
  auto at =
      std::search(forged.begin(), forged.end(), window.begin(), window.end());
  ASSERT_NE(at, forged.end());
  // name, NUL, "box2i", NUL, size (4), then min x, min y, max x, max y.
  const size_t maxX =
      static_cast<size_t>(at - forged.begin()) + window.size() + 1 + 6 + 4 + 8;
  const uint8_t huge[4] = {0xFE, 0xFF, 0xFF, 0x3F};
  std::memcpy(&forged[maxX], huge, 4);
  std::memcpy(&forged[maxX + 4], huge, 4);
  // 30000 x 30000 would pass a looser bound, and take gigabytes of planes.
  std::vector<uint8_t> wide = forged;
  const uint8_t side[4] = {0x2F, 0x75, 0, 0};
  std::memcpy(&wide[maxX], side, 4);
  std::memcpy(&wide[maxX + 4], side, 4);
  // The compression attribute's value, after its name and type, as DWAA
  // and DWAB, which the library's C core may not decode.
  const std::string compressed = "compression";
  auto kind = std::search(good.begin(), good.end(), compressed.begin(),
                          compressed.end());
  ASSERT_NE(kind, good.end());
  const size_t codec = static_cast<size_t>(kind - good.begin()) +
                       2 * (compressed.size() + 1) + 4;
  ASSERT_EQ(good[codec], EXR_COMPRESSION_ZIP);
  std::vector<uint8_t> dwaa = good, dwab = good;
  dwaa[codec] = EXR_COMPRESSION_DWAA;
  dwab[codec] = EXR_COMPRESSION_DWAB;
  int major = 0, minor = 0, patch = 0;
  const char* extra = nullptr;
  exr_get_library_version(&major, &minor, &patch, &extra);
  const bool dwaRead = major * 100 + minor >= 302;
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
    std::string start;  // the ERROR line's start
  };
  const Case cases[] = {
      {"truncated.exr", truncated, "ERROR: Malformed OpenEXR: "},
      {"damaged.exr", damaged, "ERROR: Malformed OpenEXR: "},
      {"header.exr", headerOnly, "ERROR: Malformed OpenEXR: "},
      {"forged.exr", forged,
       "ERROR: Malformed OpenEXR: its 1073741823 x 1073741823 samples cannot "
       "be in "},
      {"wide.exr", wide,
       "ERROR: Malformed OpenEXR: its 30000 x 30000 samples cannot be in "},
      {"dwaa.exr", dwaa,
       dwaRead ? "ERROR: Malformed OpenEXR: "
               : "ERROR: Unsupported OpenEXR compression: this build reads "
                 "no DWAA-compressed OpenEXR; save it with ZIP, PIZ or no "
                 "compression"},
      {"dwab.exr", dwab,
       dwaRead ? "ERROR: Malformed OpenEXR: "
               : "ERROR: Unsupported OpenEXR compression: this build reads "
                 "no DWAB-compressed OpenEXR"},
  };
  // A forged size must be refused before any allocation: the address space
  // is limited, but AddressSanitizer needs more than any limit.
#if defined(__SANITIZE_ADDRESS__)
  const uint64_t addressSpace = 0;
#else
  const uint64_t addressSpace = uint64_t{1} << 31;
#endif
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFileBytes(dir.file(c.name), c.bytes));
    ProcessResult result =
        runQuillorn({dir.file(c.name), dir.file("o.r32")}, false, addressSpace);
    EXPECT_EQ(result.exitStatus, kFailed) << c.name << "\n" << result.errors;
    ASSERT_FALSE(result.lines.empty()) << c.name;
    EXPECT_EQ(result.lines.back().rfind(c.start, 0), 0u)
        << c.name << ": " << result.lines.back();
    EXPECT_FALSE(fileExists(dir.file("o.r32"))) << c.name;
  }
}

#endif  // QUILLORN_TEST_EXR

// A build without OpenEXR refuses .exr outputs before it touches a file.
TEST(ExrFileTest, NamesTheMissingLibrary) {
  if (toolHasExr()) GTEST_SKIP() << "the tool was built with OpenEXR";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.r16"), {1, 0, 2, 0, 3, 0, 4, 0}));
  ProcessResult result = runQuillorn({dir.file("in.r16"), dir.file("out.exr")});
  EXPECT_EQ(result.exitStatus, kFailed);
  EXPECT_EQ(result.lines,
            withBanner({"ERROR: This build of Quillorn has no OpenEXR "
                        "support; save the map as a float TIFF, raw 32-bit "
                        "floats (.r32) or a PFM"}));
  EXPECT_FALSE(fileExists(dir.file("out.exr")));
}
