#include "app/run_options.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/png_file.h"

namespace {

// "-dim" and "-size": <width>x<height>.
bool parseSize(const char* value, RasterSize* size, bool* given) {
  *given = true;
  return parseRasterSize(value, size);
}

bool addTurn(const char* name, const char* value, RunOptions* options) {
  PlaneTurn turn;
  if (!parsePlaneTurn(name, value, &turn)) return false;
  options->turns.push_back(turn);
  return true;
}

bool parseOrder(const char* value, RunOptions* options) {
  options->orderGiven = true;
  const std::string order = value;
  options->bigEndian = order == "big";
  return order == "little" || order == "big";
}

// The units a float output can hold: a step from kSmallestUnit up stays a
// normal float, and 65535 steps of kLargestUnit stay below the largest.
constexpr double kSmallestUnit = 1.2e-38;
constexpr double kLargestUnit = 5.1e33;

bool parseUnit(const char* value, RunOptions* options) {
  options->unitGiven = true;
  char* end = nullptr;
  const double unit = std::strtod(value, &end);
  const bool valid = end != value && *end == '\0' && unit >= kSmallestUnit &&
                     unit <= kLargestUnit;
  options->unit = valid ? unit : 0;
  return valid;
}

bool parseTiles(const char* value, RunOptions* options) {
  options->tilesGiven = true;
  RasterSize grid;
  const bool valid = parseRasterSize(value, &grid);
  options->tiles.columns = grid.width;
  options->tiles.rows = grid.height;
  return valid;
}

bool parseFill(const char* value, RunOptions* options) {
  options->fillGiven = true;
  char* end = nullptr;
  const long long reach = std::strtoll(value, &end, 10);
  const bool valid =
      end != value && *end == '\0' && reach >= 0 && reach <= INT32_MAX;
  if (valid) options->fillReach = static_cast<int32_t>(reach);
  return valid;
}

}  // namespace

const std::vector<SwitchRow>& switchTable() {
  // Each row: name, value, words, wordsInUsage, startsUsageLine, help,
  // repeatable, added, parse, refusal, refusalRank.
  static const std::vector<SwitchRow> rows = {
      {"-sca", "<scale>", nullptr, false, false,
       "multiply every height by <scale>; 0 normalizes the heights to 0-255",
       false, 1,
       [](const char* value, RunOptions* options) {
         options->scale = parseScale(value);
         options->scaleGiven = true;
         return true;
       },
       nullptr, 0},
      {"-min", "<minimum>", nullptr, false, false,
       "shift all heights so that the lowest equals <minimum>", false, 2,
       [](const char* value, RunOptions* options) {
         options->minimum = parseInteger(value);
         options->minimumGiven = true;
         return true;
       },
       nullptr, 0},
      {"-smo", "<passes>", nullptr, false, false,
       "smooth the heights with <passes> passes of a 3x3 mean", false, 3,
       [](const char* value, RunOptions* options) {
         options->smoothPasses = parseInteger(value);
         options->smoothGiven = true;
         return true;
       },
       nullptr, 0},
      {"-dim", "<w>x<h>", nullptr, false, true,
       "the width and height of a raw input (default: square)", false, 4,
       [](const char* value, RunOptions* options) {
         return parseSize(value, &options->size, &options->sizeGiven);
       },
       "ERROR: Invalid size after -dim, should be <width>x<height>, e.g. -dim "
       "2049x1025",
       1},
      {"-order", "<order>", "little big", true, false,
       "the byte order of raw heights, in and out: little (default) or big",
       false, 6, parseOrder,
       "ERROR: Invalid byte order after -order, should be little or big", 2},
      {"-unit", "<units>", nullptr, false, false,
       "file units (metres) per height step for signed and float samples",
       false, 7, parseUnit,
       "ERROR: Invalid unit after -unit, should be a positive number of file "
       "units per height step, from 1.2e-38 to 5.1e+33, e.g. -unit 0.1",
       3},
      {"-view", "<picture>", nullptr, false, false,
       "also write a shaded relief of the result ({pictures})", false, 5,
       [](const char* value, RunOptions* options) {
         options->view = value;
         options->viewGiven = true;
         return true;
       },
       nullptr, 0},
      {"-crop", "<window>", nullptr, false, true,
       "keep <w>x<h>+<x>+<y>: w x h pixels from pixel (x, y), before turns",
       false, 18,
       [](const char* value, RunOptions* options) {
         options->cropGiven = true;
         return parseMapWindow(value, &options->crop);
       },
       "ERROR: Invalid window after -crop, should be "
       "<width>x<height>+<x>+<y>, e.g. -crop 512x512+0+0",
       13},
      {"-bounds", "<edges>", nullptr, false, false,
       "keep the fewest samples covering <west>,<south>,<east>,<north>", false,
       19,
       [](const char* value, RunOptions* options) {
         options->boundsGiven = true;
         options->boundsText = value;
         return parseGeoBounds(value, &options->bounds);
       },
       "ERROR: Invalid bounds after -bounds, should be "
       "<west>,<south>,<east>,<north>, west below east and south below "
       "north, e.g. -bounds 11.25,47.1,11.5,47.3",
       14},
      {"-flip", "<way>", "horizontal vertical", true, true,
       "mirror the map, horizontal or vertical (any number, in order)", true,
       10,
       [](const char* value, RunOptions* options) {
         return addTurn("-flip", value, options);
       },
       "ERROR: Invalid value after -flip, should be horizontal or vertical", 6},
      {"-rotate", "<angle>", "90 180 270", true, false,
       "turn the map clockwise by 90, 180 or 270 degrees (any number)", true,
       11,
       [](const char* value, RunOptions* options) {
         return addTurn("-rotate", value, options);
       },
       "ERROR: Invalid value after -rotate, should be 90, 180 or 270 (degrees "
       "clockwise)",
       7},
      {"-size", "<w>x<h>", nullptr, false, false,
       "resample the heights to w x h, corners on corners", false, 8,
       [](const char* value, RunOptions* options) {
         return parseSize(value, &options->resize, &options->resizeGiven);
       },
       "ERROR: Invalid size after -size, should be <width>x<height>, e.g. "
       "-size 1025x1025",
       4},
      {"-filter", "<kernel>", "cubic linear box mitchell bspline", false, true,
       "resampling kernel: cubic (default), linear, box, mitchell, bspline",
       false, 9,
       [](const char* value, RunOptions* options) {
         options->filterGiven = true;
         return parseResampleFilter(value, &options->filter);
       },
       "ERROR: Invalid filter after -filter, should be cubic, linear, box, "
       "mitchell or bspline",
       5},
      {"-fit", "<engine>", "unity unreal godot", true, false,
       "resample to the size unity, unreal or godot takes, and say what to set",
       false, 12,
       [](const char* value, RunOptions* options) {
         options->fitGiven = true;
         return parseEngine(value, &options->engine);
       },
       "ERROR: Invalid engine after -fit, should be unity, unreal or godot", 8},
      {"-tiles", "<c>x<r>", nullptr, false, false,
       "cut into c x r tiles that share their edges (name_x0_y0.ext ...)",
       false, 13, parseTiles,
       "ERROR: Invalid tiles after -tiles, should be <columns>x<rows>, e.g. "
       "-tiles 4x4",
       10},
      {"-world", nullptr, nullptr, false, true,
       "also write a world file beside each output of a GeoTIFF (.pgw, .tfw "
       "...)",
       false, 14,
       [](const char*, RunOptions* options) {
         options->world = true;
         return true;
       },
       nullptr, 0},
      {"-fill", "<samples>", nullptr, false, false,
       "fill nodata holes from up to that many samples around (default 100, "
       "0: none)",
       false, 15, parseFill,
       "ERROR: Invalid distance after -fill, should be a whole number of "
       "samples, 0 or more, e.g. -fill 100",
       9},
      {"-channel", "<name>", "red green blue alpha luma", true, false,
       "read a colour PNG, TIFF or EXR's red, green, blue, alpha or luma",
       false, 16,
       [](const char* value, RunOptions* options) {
         options->channelGiven = true;
         return parseChannelChoice(value, &options->channel);
       },
       "ERROR: Invalid channel after -channel, should be red, green, blue, "
       "alpha or luma",
       11},
      {"-depth", "<bits>", "16 32", true, false,
       "a TIFF output's samples: 16-bit heights or 32-bit floats (default: "
       "floats for float heights)",
       false, 17,
       [](const char* value, RunOptions* options) {
         options->depthGiven = true;
         const std::string bits = value;
         options->depth = bits == "32" ? 32 : 16;
         return bits == "16" || bits == "32";
       },
       "ERROR: Invalid depth after -depth, should be 16 or 32 (bits a sample "
       "of a TIFF output)",
       12},
      {"-tilerows", "<order>", "top bottom", true, false,
       "an input's <name>_x<i>_y<j> tiles count j from the top (default) or "
       "the bottom",
       false, 20,
       [](const char* value, RunOptions* options) {
         options->tileRowsGiven = true;
         const std::string order = value;
         options->tileRowsFromBottom = order == "bottom";
         return order == "top" || order == "bottom";
       },
       "ERROR: Invalid row order after -tilerows, should be top or bottom", 13},
  };
  return rows;
}

const std::vector<const SwitchRow*>& switchesAsAdded() {
  static const std::vector<const SwitchRow*> rows = [] {
    std::vector<const SwitchRow*> sorted;
    for (const SwitchRow& row : switchTable()) sorted.push_back(&row);
    std::sort(sorted.begin(), sorted.end(),
              [](const SwitchRow* a, const SwitchRow* b) {
                return a->added < b->added;
              });
    return sorted;
  }();
  return rows;
}

const SwitchRow* findSwitch(const char* argument) {
  for (const SwitchRow& row : switchTable()) {
    if (std::strcmp(argument, row.name) == 0) return &row;
  }
  return nullptr;
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
  std::vector<const SwitchRow*> refused;
  for (const SwitchRow& row : switchTable()) {
    if (row.repeatable) continue;
    const int index = findOption(argc, argv, row.name);
    if (index == kOptionNotFound) continue;
    // A switch last on the line has no value and counts as not given.
    if (row.value != nullptr && index + 1 == argc) continue;
    const char* value = row.value == nullptr ? nullptr : argv[index + 1];
    if (!row.parse(value, &options)) refused.push_back(&row);
  }
  options.viewMissing = findOption(argc, argv, "-view") == argc - 1;
  // Repeatable switches count every time, in order; the first value none
  // of them takes is the one refused.
  const SwitchRow* badRepeat = nullptr;
  for (int index = 3; index + 1 < argc; ++index) {
    const SwitchRow* row = findSwitch(argv[index]);
    if (row == nullptr || !row->repeatable) continue;
    if (!row->parse(argv[index + 1], &options) && badRepeat == nullptr) {
      badRepeat = row;
    }
  }
  if (badRepeat != nullptr) refused.push_back(badRepeat);
  if (!refused.empty()) {
    options.refused =
        (*std::min_element(refused.begin(), refused.end(),
                           [](const SwitchRow* a, const SwitchRow* b) {
                             return a->refusalRank < b->refusalRank;
                           }))
            ->name;
  }
  return options;
}

std::vector<std::string> synopsisLines() {
  std::vector<std::string> lines = {"Usage: quillorn <input> <output>"};
  for (const SwitchRow& row : switchTable()) {
    std::string entry = std::string("[") + row.name;
    if (row.value != nullptr) {
      std::string value = row.wordsInUsage ? row.words : row.value;
      for (char& letter : value) letter = letter == ' ' ? '|' : letter;
      entry += " " + value;
    }
    if (row.startsUsageLine) {
      lines.push_back("        ");
    }
    lines.back() += " " + entry + "]";
  }
  return lines;
}

std::vector<std::string> usageLines(bool png) {
  std::vector<std::string> lines = synopsisLines();
  for (const SwitchRow& row : switchTable()) {
    std::string line = std::string("  ") + row.name;
    if (row.value != nullptr) line += std::string(" ") + row.value;
    line.resize(std::max<size_t>(line.size(), 18), ' ');
    std::string help = row.help;
    const size_t pictures = help.find("{pictures}");
    if (pictures != std::string::npos) {
      help.replace(pictures, 10, png ? ".png or .bmp" : ".bmp");
    }
    lines.push_back(line + " " + help);
  }
  return lines;
}

void printUsage(std::ostream& diagnostics) {
  for (const std::string& line : usageLines(havePng())) {
    diagnostics << line << std::endl;
  }
}
