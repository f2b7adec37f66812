// Runs the built quillorn on inputs and switches that surprise it and checks
// what standard error says: a warning for each, once, and for a refusal what
// to do about it, while standard output keeps its lines.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/run_usage.h"
#include "end_to_end_support.h"
#include "image/height_formats.h"
#include "support/bitmap_builder.h"
#include "support/tiff_builder.h"
#include "test_support.h"

namespace {

// Whatever surprised the tool is said on standard error, once, and standard
// output stays exactly as without it; a run without surprises says nothing
// there.
TEST(EndToEndTest, SurprisesAreNamedOnStandardError) {
  if (throughLauncher()) GTEST_SKIP() << "standard error as POSIX passes it";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), fourByOne24()));
  std::vector<uint8_t> colourful = [] {
    BitmapPlan plan;
    plan.width = 2;
    plan.bitsPerPixel = 8;
    plan.pixels = {3, 9};
    std::vector<uint8_t> bytes = buildBitmap(plan);
    bytes[54 + 4 * 9 + 2] = 200;  // entry 9 turns reddish
    return bytes;
  }();
  ASSERT_TRUE(writeFileBytes(dir.file("palette.bmp"), colourful));
  BitmapPlan grey;
  grey.width = 2;
  grey.pixels = {40, 40, 40, 7, 7, 7};
  ASSERT_TRUE(writeFileBytes(dir.file("grey.bmp"), buildBitmap(grey)));
  BitmapPlan square = grey;  // 3 x 3, for tiles
  square.width = square.height = 3;
  ASSERT_TRUE(writeFileBytes(dir.file("square.bmp"), buildBitmap(square)));
  BitmapPlan tinted = grey;  // its second pixel's red = green, not blue
  tinted.pixels[3] = 60;
  ASSERT_TRUE(writeFileBytes(dir.file("tinted.bmp"), buildBitmap(tinted)));
  BitmapPlan summit;  // height 65280, whose mean wraps to 0
  summit.pixels = {9, 255, 255};
  ASSERT_TRUE(writeFileBytes(dir.file("summit.bmp"), buildBitmap(summit)));
  BitmapPlan floor;  // heights 0 and 510
  floor.width = 2;
  floor.pixels = {9, 0, 0, 9, 2, 0};
  ASSERT_TRUE(writeFileBytes(dir.file("floor.bmp"), buildBitmap(floor)));
  BitmapPlan eight;
  eight.bitsPerPixel = 8;
  eight.width = 2;
  eight.pixels = {3, 250};
  ASSERT_TRUE(writeFileBytes(dir.file("eight.bmp"), buildBitmap(eight)));
  const std::string w = "quillorn: warning: ";
  struct Case {
    std::string input;
    std::vector<std::string> switches;
    Lines processing;
    std::string errors;
    std::string output = "out.bmp";
  };
  const std::string formats =
      " (.bmp, .pgm, .r16, .raw, .r32, .png, .tif, .tiff and .exr name the "
      "formats)\n";
  const Case cases[] = {
      // A switch last on the line, with nothing to take as its value.
      {"in.bmp",
       {"-smo", "1", "-min"},
       {"Smooth x1"},
       w + "-min is the last argument, with no value after it; it is "
           "ignored\n"},
      // Names that say no format, for the output and for the picture.
      {"in.bmp",
       {},
       {},
       w + dir.file("out.dem") +
           ": no format is named by its ending, so a 24-bit bitmap is "
           "written" +
           formats,
       "out.dem"},
      {"in.bmp",
       {},
       {},
       w + dir.file("out") +
           ": no format is named by its ending, so a 24-bit bitmap is "
           "written" +
           formats,
       "out"},
      {"in.bmp",
       {"-view", dir.file("v.jpg")},
       {},
       w + dir.file("v.jpg") +
           ": a picture is a PNG when its name ends in .png, so a 24-bit "
           "bitmap is written\n"},
      // 8-bit heights in a 16-bit file, with and without -sca.
      {"eight.bmp",
       {},
       {},
       w + "the input's heights are 8-bit (0 ... 255), a 256th of what the "
           "16-bit output holds; -sca 257 spreads them over 0 ... 65535 but "
           "keeps their stair steps, which -smo (or a 16-bit source) "
           "smooths\n",
       "out.r16"},
      {"eight.bmp", {"-sca", "257"}, {}, "", "out.r16"},
      {"eight.bmp", {}, {}, "", "out.bmp"},
      {"in.bmp",
       {"-smo", "1", "-min", "0"},
       {"Smooth x1", "Minimum elevation 0"},
       ""},
      {"in.bmp",
       {"-smooth", "4", "-SMO", "2", "--", "-smo", "1", "-smo", "3"},
       {"Smooth x1"},
       w + "ignoring the repeated -smo (the first one counts)\n" + w +
           "ignoring \"-smooth\", which is no switch (did you mean -smo?)\n" +
           w + "ignoring \"4\", which is no switch\n" + w +
           "ignoring \"-SMO\", which is no switch (did you mean -smo?)\n" + w +
           "ignoring \"2\", which is no switch\n" + w +
           "ignoring \"--\", which is no switch\n"},
      {"in.bmp",
       {"-sca", "0,5"},
       {"Converting to 0-255. To scale back to original, use scale 2.35294"},
       w +
           "-sca 0,5 reads as 0, which normalizes: a decimal comma? write "
           "the scale with a point\n" +
           w +
           "the lowest height was 10, which the factor alone cannot "
           "restore: -sca 2.35294104 -min 10 restores the heights, to "
           "the 256 levels kept\n"},
      // A scale that leaves no height above 0, and one just above it.
      {"in.bmp",
       {"-sca", "0.0000152"},
       {},
       w + "-sca 0.0000152 reads as 1.52e-05, so small that every height "
           "becomes 0\n"},
      {"in.bmp", {"-sca", "0.0000153"}, {}, ""},
      {"in.bmp",
       {"-smo", "2.9", "-min", "12abc"},
       {"Smooth x2", "Minimum elevation 12"},
       w + "-smo 2.9 is not wholly a number: it reads as 2 passes\n" + w +
           "-min 12abc is not wholly a number: it reads as 12\n"},
      // A summit that wraps into a pit is always named.
      {"in.bmp",
       {"-sca", "200", "-min", "0"},
       {"Minimum elevation 0"},
       w + "1 height wrapped in the bitmap encoding (0 ... 65279): 1 above "
           "65279 after -sca; -sca 0 or a smaller -sca keeps them\n"},
      {"in.bmp",
       {"-dim", "4x1", "-view"},
       {},
       w + "-view needs a picture's path after it; no picture is written\n" +
           w + "-dim is ignored: " + dir.file("in.bmp") +
           " is not raw heights (.r16, .raw or .r32); its size is read from "
           "the "
           "file\n"},
      {"summit.bmp",
       {"-smo", "1"},
       {"Smooth x1"},
       w + "1 height wrapped in the bitmap encoding (0 ... 65279): 1 above "
           "65279 after -smo; -sca 0 or a smaller -sca keeps them\n"},
      // The factor alone restores heights whose lowest was 0.
      {"floor.bmp",
       {"-sca", "0"},
       {"Converting to 0-255. To scale back to original, use scale 2"},
       ""},
      // The 32-bit range from both sides.
      {"in.bmp", {"-smo", "2147483647"}, {"Smooth x2147483647"}, ""},
      {"in.bmp",
       {"-smo", "2147483648"},
       {"Smooth x2147483647"},
       w + "-smo 2147483648 is beyond 32 bits and reads as 2147483647 "
           "passes\n"},
      {"palette.bmp",
       {},
       {},
       w + "the input's palette is not a grey ramp (entry 9 is not the grey "
           "of its own index): its heights are the palette indices, not the "
           "colours a viewer shows\n"},
      {"tinted.bmp", {}, {}, ""},
      // Flips and turns count each time: repeating them is no mistake.
      {"in.bmp",
       {"-flip", "horizontal", "-rotate", "90", "-flip", "vertical", "-rotate",
        "270"},
       {},
       ""},
      {"grey.bmp",
       {},
       {},
       w + "every pixel of the input is grey (red = green = blue): a grey "
           "picture, whose heights read as 256 x its grey; -sca 0.00390625 "
           "reads the grey as it stands, or save it as an 8-bit greyscale "
           "bitmap, a PGM or a PNG\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {dir.file(c.input),
                                          dir.file(c.output)};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.errors;
    EXPECT_EQ(result.lines, successLines(c.processing)) << c.errors;
    EXPECT_EQ(result.errors, c.errors);
  }

  // Refusals say on standard error what to do; standard output keeps its
  // one ERROR line.
  std::ostringstream usageText;
  printUsage(usageText);
  const std::string usage = usageText.str();
  BitmapPlan rle = grey;
  std::vector<uint8_t> compressed = buildBitmap(rle);
  compressed[28] = 8;  // an 8-bit bitmap, RLE8-compressed
  compressed[30] = 1;
  std::vector<uint8_t> deep = buildBitmap(rle);
  deep[28] = 32;
  ASSERT_TRUE(writeFileBytes(dir.file("rle.bmp"), compressed));
  ASSERT_TRUE(writeFileBytes(dir.file("deep.bmp"), deep));
  ASSERT_TRUE(
      writeFileBytes(dir.file("odd.bin"), std::vector<uint8_t>(60, 'Z')));
  // A zip's local header: the name's length at byte 26, the name at 30.
  std::vector<uint8_t> zip(30, 0);
  zip[0] = 'P';
  zip[1] = 'K';
  zip[2] = 3;
  zip[3] = 4;
  zip[26] = 11;
  const std::string inside = "N47W122.hgt";
  zip.insert(zip.end(), inside.begin(), inside.end());
  zip.resize(200, 7);
  ASSERT_TRUE(writeFileBytes(dir.file("N47W122.hgt.zip"), zip));
  const std::string save =
      "save it as an uncompressed 24-bit or 8-bit grey bitmap (ImageMagick "
      "6: convert map.bmp -compress none -type TrueColor BMP3:plain.bmp; in "
      "an image editor, the BMP export's uncompressed, 24-bit option)\n";
  const std::string saveEightBits =
      "save it as an uncompressed 8-bit bitmap, which keeps its heights "
      "(ImageMagick 6: convert map.bmp -compress none BMP3:plain.bmp; in an "
      "image editor, the BMP export's uncompressed, 8-bit option)\n";
  struct Refused {
    std::vector<std::string> arguments;
    std::string line;
    std::string errors;
  };
  std::vector<Refused> refused = {
      {{dir.file("in.bmp")}, kUsage, usage},
      {{dir.file("in.bmp"), dir.file("o.bmp"), "-view", dir.file("in.bmp")},
       kUsage,
       "quillorn: " + dir.file("in.bmp") +
           ": the picture would replace the input; name another picture\n" +
           usage},
      {{dir.file("in.bmp"), dir.file("o.bmp"), "-view", dir.file("o.bmp")},
       kUsage,
       "quillorn: " + dir.file("o.bmp") +
           ": the picture would replace the output; name another picture\n" +
           usage},
      // Files still to be made are the same by folder and name, however
      // spelled.
      {{dir.file("in.bmp"), dir.file("o.bmp"), "-view",
        dir.path() + "/./o.bmp"},
       kUsage,
       "quillorn: " + dir.path() +
           "/./o.bmp: the picture would replace the output; name another "
           "picture\n" +
           usage},
      {{dir.file("square.bmp"), dir.file("o.bmp"), "-tiles", "2x1", "-view",
        dir.path() + "/./o_x1_y0.bmp"},
       kUsage,
       "quillorn: " + dir.path() +
           "/./o_x1_y0.bmp: the picture would replace a tile; name another "
           "picture\n" +
           usage},
      {{dir.file("rle.bmp"), dir.file("o.bmp")},
       "ERROR: Compressed bitmaps are not supported (compression type 1)",
       "quillorn: " + dir.file("rle.bmp") +
           ": it is compressed (RLE8, run-length encoded 8-bit), which "
           "Quillorn does not read: " +
           saveEightBits},
      {{dir.file("deep.bmp"), dir.file("o.bmp")},
       "ERROR: Invalid bit rate",
       "quillorn: " + dir.file("deep.bmp") +
           ": its pixels have 32 bits each; Quillorn reads 8-bit and 24-bit "
           "bitmaps: " +
           save},
      {{dir.file("odd.bin"), dir.file("o.bmp")},
       "ERROR: Input file is not a bitmap, PGM, PFM, PNG, TIFF or OpenEXR: it "
       "starts with none of their signatures (raw heights need a name ending "
       "in .r16 "
       "or .raw, raw floats one ending in .r32, SRTM tiles one ending in "
       ".hgt)",
       "quillorn: " + dir.file("odd.bin") +
           ": Quillorn reads 8- and 24-bit BMP, PGM (P5, P2), greyscale PNG, "
           "TIFF and GeoTIFF of one band, OpenEXR, greyscale PFM, SRTM tiles "
           "(.hgt), "
           "raw 16-bit heights (.r16, .raw) and raw 32-bit floats (.r32); "
           "save the map as one of them\n"},
      // SRTM tiles come zipped: the refusal names the tile inside.
      // With minizip, the archive cut short after its first header is
      // refused as damaged.
      haveFormatLibrary(FormatLibrary::kZip)
          ? Refused{{dir.file("N47W122.hgt.zip"), dir.file("o.bmp")},
                    "ERROR: Input file is a zip archive that cannot be read: "
                    "its "
                    "directory is damaged or cut short",
                    "quillorn: " + dir.file("N47W122.hgt.zip") +
                        ": download the tile again\n"}
          : Refused{{dir.file("N47W122.hgt.zip"), dir.file("o.bmp")},
                    "ERROR: Input file is a zip archive holding N47W122.hgt, "
                    "not "
                    "a height map: unzip it and convert the file inside",
                    "quillorn: " + dir.file("N47W122.hgt.zip") +
                        ": unzip the archive (unzip <archive>, or open it in "
                        "the "
                        "file manager), then: quillorn N47W122.hgt <output>\n"},
      // Picture formats no output is written in, refused before any work.
      {{dir.file("in.bmp"), dir.file("o.jpg"), "-smo", "1"},
       "ERROR: Output format not supported: Quillorn writes no JPEG",
       "quillorn: " + dir.file("o.jpg") +
           ": its name asks for JPEG, which Quillorn does not write; end it "
           "in .bmp, .pgm, .r16, .raw, .r32, .png, .tif, .tiff or .exr\n"},
      {{dir.file("in.bmp"), dir.file("o.JPEG")},
       "ERROR: Output format not supported: Quillorn writes no JPEG",
       "quillorn: " + dir.file("o.JPEG") +
           ": its name asks for JPEG, which Quillorn does not write; end it "
           "in .bmp, .pgm, .r16, .raw, .r32, .png, .tif, .tiff or .exr\n"},
      {{dir.file("in.bmp"), dir.file("o.gif")},
       "ERROR: Output format not supported: Quillorn writes no GIF",
       "quillorn: " + dir.file("o.gif") +
           ": its name asks for GIF, which Quillorn does not write; end it "
           "in .bmp, .pgm, .r16, .raw, .r32, .png, .tif, .tiff or .exr\n"},
      {{dir.file("in.bmp"), dir.file("o.webp"), "-tiles", "1x2"},
       "ERROR: Output format not supported: Quillorn writes no WebP",
       "quillorn: " + dir.file("o.webp") +
           ": its name asks for WebP, which Quillorn does not write; end it "
           "in .bmp, .pgm, .r16, .raw, .r32, .png, .tif, .tiff or .exr\n"},
  };
  // A world file or Unreal's size file is checked as the outputs are.
  ASSERT_TRUE(writeFileBytes(dir.file("x.json"), fourByOne24()));
  refused.push_back({{dir.file("x.json"), dir.file("x.raw"), "-fit", "unreal"},
                     "ERROR: Output file is the input file; choose another "
                     "output",
                     "quillorn: " + dir.file("x.json") +
                         ": the size file would replace the input\n"});
  if (toolHasTiff()) {
    TiffPlan geo;
    geo.width = 4;
    geo.pixelScale = {1, 1, 0};
    geo.tiepoints = {0, 0, 0, 500, 600, 0};
    geo.samples = {1, 2, 3, 4};
    ASSERT_TRUE(writeFileBytes(dir.file("o.bpw"), buildTiff(geo)));
    ASSERT_TRUE(writeFileBytes(dir.file("geo.tif"), buildTiff(geo)));
    refused.push_back({{dir.file("o.bpw"), dir.file("o.bmp"), "-world"},
                       "ERROR: Output file is the input file; choose another "
                       "output",
                       "quillorn: " + dir.file("o.bpw") +
                           ": the world file would replace the input\n"});
    refused.push_back(
        {{dir.file("geo.tif"), dir.file("p.bmp"), "-world", "-view",
          dir.path() + "/./p.bpw"},
         "ERROR: Two files of the run are the same file; choose other names",
         "quillorn: " + dir.path() +
             "/./p.bpw: the picture would replace the "
             "world file " +
             dir.file("p.bpw") + "\n"});
  }
  for (const Refused& r : refused) {
    ProcessResult result = runQuillorn(r.arguments);
    EXPECT_EQ(result.exitStatus, kFailed) << r.line;
    EXPECT_EQ(result.lines, withBanner({r.line})) << r.line;
    EXPECT_EQ(result.errors, r.errors) << r.line;
    if (r.arguments.size() > 1) {
      EXPECT_FALSE(fileExists(r.arguments[1])) << r.line;
    }
  }
  // Help asked for anywhere on the line is help, not a conversion.
  ProcessResult help =
      runQuillorn({dir.file("in.bmp"), dir.file("o.bmp"), "-smo", "--help"});
  EXPECT_EQ(help.exitStatus, 0);
  ASSERT_GT(help.lines.size(), 2u);
  EXPECT_EQ(help.lines[1].rfind("Usage: quillorn", 0), 0u);
  EXPECT_FALSE(fileExists(dir.file("o.bmp")));
}

// The advice for an RLE8 grey bitmap, run as written with ImageMagick,
// gives a bitmap of the same heights as the uncompressed original.
TEST(EndToEndTest, CompressedBitmapAdviceKeepsHeights) {
  const std::string convert = "/usr/bin/convert";
  if (!fileExists(convert)) {
    GTEST_SKIP() << "ImageMagick 6 is not installed (Debian's imagemagick): "
                    "the advice for an RLE8 bitmap is not run";
  }
  if (throughLauncher()) GTEST_SKIP() << "runs convert, not through a launcher";
  ChildSetup setup;
  setup.executable = convert;
  ProcessResult version = runQuillornWith({"-version"}, setup);
  if (version.lines.empty() ||
      version.lines[0].find("ImageMagick") == std::string::npos) {
    GTEST_SKIP() << convert << " is not ImageMagick's convert";
  }
  TempDir dir;
  BitmapPlan plan;
  plan.bitsPerPixel = 8;
  plan.width = 4;
  plan.height = 2;
  plan.pixels = {3, 250, 7, 7, 0, 1, 2, 200};
  const std::vector<uint8_t> plain = buildBitmap(plan);
  // The same pixels as RLE8 runs of one, each row ended, then the bitmap.
  const size_t offset = fieldLe32(plain, 10);
  std::vector<uint8_t> rle(plain.begin(),
                           plain.begin() + static_cast<ptrdiff_t>(offset));
  for (size_t row = 0; row < 2; ++row) {
    for (size_t column = 0; column < 4; ++column) {
      rle.insert(rle.end(), {1, plan.pixels[row * 4 + column]});
    }
    rle.insert(rle.end(), {0, 0});
  }
  rle.insert(rle.end(), {0, 1});
  const uint32_t fileSize = static_cast<uint32_t>(rle.size());
  const uint32_t imageSize = fileSize - static_cast<uint32_t>(offset);
  for (int byte = 0; byte < 4; ++byte) {
    rle[static_cast<size_t>(2 + byte)] =
        static_cast<uint8_t>(fileSize >> (8 * byte));
    rle[static_cast<size_t>(34 + byte)] =
        static_cast<uint8_t>(imageSize >> (8 * byte));
  }
  rle[30] = 1;
  ASSERT_TRUE(writeFileBytes(dir.file("map.bmp"), rle));
  ASSERT_TRUE(writeFileBytes(dir.file("twin.bmp"), plain));
  ProcessResult refused =
      runQuillorn({dir.file("map.bmp"), dir.file("no.r16")});
  ASSERT_EQ(refused.exitStatus, kFailed);
  // The command between "ImageMagick 6: " and ";", its file names ours.
  const std::string start = "ImageMagick 6: ";
  size_t from = refused.errors.find(start);
  ASSERT_NE(from, std::string::npos) << refused.errors;
  from += start.size();
  const size_t to = refused.errors.find(';', from);
  ASSERT_NE(to, std::string::npos) << refused.errors;
  std::istringstream words(refused.errors.substr(from, to - from));
  std::vector<std::string> command;
  for (std::string word; words >> word;) {
    if (word == "map.bmp") word = dir.file("map.bmp");
    if (word == "BMP3:plain.bmp") word = "BMP3:" + dir.file("plain.bmp");
    command.push_back(word);
  }
  ASSERT_FALSE(command.empty());
  ASSERT_EQ(command[0], "convert");
  command.erase(command.begin());
  ProcessResult converted = runQuillornWith(command, setup);
  ASSERT_EQ(converted.exitStatus, 0) << converted.errors;
  ASSERT_EQ(
      runQuillorn({dir.file("plain.bmp"), dir.file("plain.r16")}).exitStatus,
      0);
  ASSERT_EQ(
      runQuillorn({dir.file("twin.bmp"), dir.file("twin.r16")}).exitStatus, 0);
  std::vector<uint8_t> got, want;
  ASSERT_TRUE(readFileBytes(dir.file("plain.r16"), &got));
  ASSERT_TRUE(readFileBytes(dir.file("twin.r16"), &want));
  EXPECT_EQ(got, want);
  EXPECT_EQ(want.size(), 16u);
}

}  // namespace
