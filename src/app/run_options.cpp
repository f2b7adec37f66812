// The switches on the command line.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/elevation_recoder.h"
#include "image/png_file.h"

namespace {

// The help text; the PNG lines only where the build reads and writes PNG.
std::vector<std::string> helpLines(bool png) {
  std::vector<std::string> lines = {
      "Usage: quillorn <input> <output> [-sca <scale>] [-min <minimum>] "
      "[-smo <passes>] [-dim <width>x<height>] [-view <picture>]",
      "Re-encodes a height map: reads a BMP (8 or 24 bits, each height green "
      "x 255 + red),",
      std::string(png ? "a PGM, a greyscale PNG or raw" : "a PGM or raw") +
          " 16-bit heights (.r16, .raw), and writes the format",
      "its output's name ends in: .r16 or .raw (16-bit little-endian), .pgm "
      "(16-bit),",
      std::string(png ? ".png (16-bit greyscale), anything" : "anything") +
          " else a 24-bit BMP in the same encoding.",
      "  -sca <scale>    multiply every height by <scale>; 0 normalizes the "
      "heights to 0-255",
      "  -min <minimum>  shift all heights so that the lowest equals "
      "<minimum>",
      "  -smo <passes>   smooth the heights with <passes> passes of a 3x3 "
      "mean",
      "  -dim <w>x<h>    the width and height of a raw input (default: "
      "square)",
      std::string("  -view <picture> also write a shaded relief of the "
                  "result (") +
          (png ? ".png or .bmp)" : ".bmp)"),
      "Scaling comes first, then smoothing, then the minimum, whatever the "
      "order given.",
      "Examples:",
      "  quillorn terrain.bmp terrain24.bmp",
      "  quillorn terrain.bmp terrain_smooth.bmp -sca 0 -smo 4 -min 10",
      "  quillorn terrain.r16 terrain.bmp -dim 2049x1025",
      std::string("  quillorn dem.pgm dem.bmp -sca 0 -view dem_view.") +
          (png ? "png" : "bmp"),
      "Exit status: 0 when the output was written, -1 (255) on any error.",
      "quillorn --version prints the version; see also man quillorn.",
  };
  return lines;
}

}  // namespace

bool isHelpSwitch(const char* argument) {
  return std::strcmp(argument, "-h") == 0 ||
         std::strcmp(argument, "--help") == 0;
}

std::string formatsLine() {
  std::string line = "Formats: BMP, PGM, raw";
  if (havePng()) return line + ", PNG (" + pngLibraryVersion() + ")";
  return line + "; no PNG support in this build";
}

void printHelp(std::ostream& console) {
  for (const std::string& line : helpLines(havePng())) {
    console << line << std::endl;
  }
}

bool isSwitch(const char* argument) {
  for (const char* name : kSwitches) {
    if (std::strcmp(argument, name) == 0) return true;
  }
  return false;
}

int findOption(int argc, const char* const* argv, const char* name) {
  for (int index = 3; index < argc; ++index) {
    if (std::strcmp(argv[index], name) == 0) return index;
  }
  return kOptionNotFound;
}

float parseScale(const char* text) {
  return static_cast<float>(std::strtod(text, nullptr));
}

int32_t parseInteger(const char* text) {
  // strtoll saturates where atoi would overflow; long long covers int32 on
  // every platform, so the clamp below decides the result.
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

RunOptions findRunOptions(int argc, const char* const* argv) {
  RunOptions options;
  int index = findOption(argc, argv, "-sca");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.scale = parseScale(argv[index + 1]);
    options.scaleGiven = true;
  }
  index = findOption(argc, argv, "-min");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.minimum = parseInteger(argv[index + 1]);
    options.minimumGiven = true;
  }
  index = findOption(argc, argv, "-smo");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.smoothPasses = parseInteger(argv[index + 1]);
    options.smoothGiven = true;
  }
  index = findOption(argc, argv, "-dim");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.sizeGiven = true;
    options.sizeValid = parseRasterSize(argv[index + 1], &options.size);
  }
  index = findOption(argc, argv, "-view");
  if (index != kOptionNotFound) {
    options.viewGiven = index + 1 < argc;
    options.viewMissing = !options.viewGiven;
    if (options.viewGiven) options.view = argv[index + 1];
  }
  return options;
}
