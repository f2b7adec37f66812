// The switches on the command line.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/elevation_recoder.h"
#include "image/exr_file.h"
#include "image/png_file.h"
#include "image/tiff_file.h"

namespace {

// The usage and every switch: the help's start, and what a usage error
// adds on standard error.
std::vector<std::string> usageLines(bool png) {
  return {
      "Usage: quillorn <input> <output> [-sca <scale>] [-min <minimum>] "
      "[-smo <passes>]",
      "         [-dim <w>x<h>] [-order little|big] [-unit <units>] "
      "[-view <picture>]",
      "         [-flip horizontal|vertical] [-rotate 90|180|270] "
      "[-size <w>x<h>]",
      "         [-filter <kernel>] [-fit unity|unreal|godot] [-tiles <c>x<r>]",
      "         [-world] [-fill <samples>] [-channel red|green|blue|alpha|luma]",
      "  -sca <scale>     multiply every height by <scale>; 0 normalizes the "
      "heights to 0-255",
      "  -min <minimum>   shift all heights so that the lowest equals "
      "<minimum>",
      "  -smo <passes>    smooth the heights with <passes> passes of a 3x3 "
      "mean",
      "  -dim <w>x<h>     the width and height of a raw input (default: "
      "square)",
      "  -order <order>   the byte order of raw heights, in and out: little "
      "(default) or big",
      "  -unit <units>    file units (metres) per height step for signed "
      "and float samples",
      std::string("  -view <picture>  also write a shaded relief of the "
                  "result (") +
          (png ? ".png or .bmp)" : ".bmp)"),
      "  -flip <way>      mirror the map, horizontal or vertical (any number, "
      "in order)",
      "  -rotate <angle>  turn the map clockwise by 90, 180 or 270 degrees "
      "(any number)",
      "  -size <w>x<h>    resample the heights to w x h, corners on corners",
      "  -filter <kernel> resampling kernel: cubic (default), linear, box, "
      "mitchell, bspline",
      "  -fit <engine>    resample to the size unity, unreal or godot takes, "
      "and say what to set",
      "  -tiles <c>x<r>   cut into c x r tiles that share their edges "
      "(name_x0_y0.ext ...)",
      "  -world           also write a world file beside each output of a "
      "GeoTIFF (.pgw, .tfw ...)",
      "  -fill <samples>  fill nodata holes from up to that many samples "
      "around (default 100, 0: none)",
      "  -channel <name>  read a colour PNG, TIFF or EXR's red, green, blue, "
      "alpha or luma",
  };
}

// The help text; PNG, TIFF and OpenEXR only where the build reads and
// writes them.
std::vector<std::string> helpLines(bool png, bool tiff, bool exr) {
  std::string inputs = "a PGM, ";
  if (png) inputs += "a greyscale PNG, ";
  if (tiff) inputs += "a TIFF or GeoTIFF, ";
  if (exr) inputs += "an OpenEXR, ";
  std::string outputs = ".pgm";
  if (png) outputs += ", .png";
  if (tiff) outputs += ", .tif";
  outputs += ",";
  const std::string floats = exr ? ".r32 and .exr" : ".r32";
  std::vector<std::string> lines = usageLines(png);
  std::vector<std::string> about = {
      "Re-encodes a height map: reads a BMP (8 or 24 bits, each height green "
      "x 255 + red),",
      inputs + "a PFM, an SRTM tile (.hgt),",
      "raw 16-bit heights (.r16, .raw) or raw 32-bit floats (.r32), and "
      "writes the format",
      "its output's name ends in: .r16 or .raw, " + outputs + " all 16-bit; " +
          floats,
      "each height's value as a float; anything else a 24-bit BMP in the "
      "same encoding.",
  };
  lines.insert(lines.begin() + 5, about.begin(), about.end());
  std::vector<std::string> rest = {
      "Flips, turns and resampling come right after reading, then scaling, "
      "smoothing",
      "and the minimum, whatever the order given.",
      "Examples:",
      "  quillorn terrain.bmp terrain24.bmp",
      "  quillorn terrain.bmp terrain_smooth.bmp -sca 0 -smo 4 -min 10",
      "  quillorn terrain.r16 terrain.bmp -dim 2049x1025 -order big",
      std::string("  quillorn N47W122.hgt map.bmp -view map.") +
          (png ? "png" : "bmp"),
      "  quillorn painted.bmp small.bmp -size 513x513 -filter linear",
      "  quillorn N47E011.hgt terrain.raw -fit unity",
  };
  lines.insert(lines.end(), rest.begin(), rest.end());
  if (tiff) lines.push_back("  quillorn dem.tif dem.r16 -unit 0.1");
  if (png)
    lines.push_back("  quillorn world.png tiles.png -fit unreal -tiles 4x4");
  if (png) lines.push_back("  quillorn painted.png h.r16 -channel luma");
  if (exr) lines.push_back("  quillorn dem.tif godot.exr -fit godot");
  lines.push_back(
      "Exit status: 0 when the output was written, -1 (255) on any error.");
  lines.push_back(
      "quillorn --version prints the version; see also man quillorn.");
  return lines;
}

}  // namespace

bool isHelpSwitch(const char* argument) {
  return std::strcmp(argument, "-h") == 0 ||
         std::strcmp(argument, "--help") == 0;
}

std::string formatsLine() {
  std::string line =
      "Formats: BMP, PGM, raw, raw floats (.r32), SRTM (.hgt, read), PFM "
      "(read)";
  std::vector<std::string> missing;
  auto library = [&](bool have, const char* name, const std::string& version) {
    if (have) {
      line += std::string(", ") + name + " (" + version + ")";
    } else {
      missing.push_back(name);
    }
  };
  library(havePng(), "PNG", pngLibraryVersion());
  library(haveTiff(), "TIFF", tiffLibraryVersion());
  library(haveExr(), "OpenEXR", exrLibraryVersion());
  if (missing.empty()) return line;
  line += "; no ";
  for (size_t index = 0; index < missing.size(); ++index) {
    line += index == 0 ? "" : index + 1 == missing.size() ? " or " : ", ";
    line += missing[index];
  }
  return line + " support in this build";
}

void printUsage(std::ostream& diagnostics) {
  for (const std::string& line : usageLines(havePng())) {
    diagnostics << line << std::endl;
  }
}

void printHelp(std::ostream& console) {
  for (const std::string& line : helpLines(havePng(), haveTiff(), haveExr())) {
    console << line << std::endl;
  }
}

bool isSwitch(const char* argument) {
  for (const char* name : kSwitches) {
    if (std::strcmp(argument, name) == 0) return true;
  }
  return false;
}

bool isFlagSwitch(const char* argument) {
  return std::strcmp(argument, "-world") == 0;
}

bool isRepeatableSwitch(const char* argument) {
  return std::strcmp(argument, "-flip") == 0 ||
         std::strcmp(argument, "-rotate") == 0;
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
  index = findOption(argc, argv, "-order");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.orderGiven = true;
    std::string order = argv[index + 1];
    options.orderValid = order == "little" || order == "big";
    options.bigEndian = order == "big";
  }
  index = findOption(argc, argv, "-unit");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.unitGiven = true;
    char* end = nullptr;
    double unit = std::strtod(argv[index + 1], &end);
    options.unitValid = end != argv[index + 1] && *end == '\0' &&
                        std::isfinite(unit) && unit > 0;
    options.unit = options.unitValid ? unit : 0;
  }
  index = findOption(argc, argv, "-size");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.resizeGiven = true;
    options.resizeValid = parseRasterSize(argv[index + 1], &options.resize);
  }
  index = findOption(argc, argv, "-filter");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.filterGiven = true;
    options.filterValid = parseResampleFilter(argv[index + 1], &options.filter);
  }
  index = findOption(argc, argv, "-fit");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.fitGiven = true;
    options.fitValid = parseEngine(argv[index + 1], &options.engine);
  }
  index = findOption(argc, argv, "-channel");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.channelGiven = true;
    options.channelValid =
        parseChannelChoice(argv[index + 1], &options.channel);
  }
  index = findOption(argc, argv, "-tiles");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.tilesGiven = true;
    RasterSize grid;
    options.tilesValid = parseRasterSize(argv[index + 1], &grid);
    options.tiles.columns = grid.width;
    options.tiles.rows = grid.height;
  }
  // Flips and turns count every time, in order.
  for (index = 3; index + 1 < argc; ++index) {
    if (!isRepeatableSwitch(argv[index])) continue;
    PlaneTurn turn;
    if (parsePlaneTurn(argv[index], argv[index + 1], &turn)) {
      options.turns.push_back(turn);
    } else if (options.badTurn.empty()) {
      options.badTurn = argv[index];
    }
  }
  options.world = findOption(argc, argv, "-world") != kOptionNotFound;
  index = findOption(argc, argv, "-fill");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.fillGiven = true;
    char* end = nullptr;
    const long long reach = std::strtoll(argv[index + 1], &end, 10);
    options.fillValid = end != argv[index + 1] && *end == '\0' && reach >= 0 &&
                        reach <= INT32_MAX;
    if (options.fillValid) options.fillReach = static_cast<int32_t>(reach);
  }
  index = findOption(argc, argv, "-view");
  if (index != kOptionNotFound) {
    options.viewGiven = index + 1 < argc;
    options.viewMissing = !options.viewGiven;
    if (options.viewGiven) options.view = argv[index + 1];
  }
  return options;
}
