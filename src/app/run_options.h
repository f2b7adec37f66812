// The switches of a run: what each stores in RunOptions, and the one table
// that parsing, refusals, the help, the usage, bash completion and the
// fuzz target all read. A new switch is a row here and its effect.
#ifndef QUILLORN_APP_RUN_OPTIONS_H_
#define QUILLORN_APP_RUN_OPTIONS_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "image/channel_choice.h"
#include "image/height_formats.h"
#include "processing/engine_sizes.h"
#include "processing/height_tiles.h"
#include "processing/map_window.h"
#include "processing/nodata_fill.h"
#include "processing/plane_turns.h"
#include "processing/resampling.h"

// The switches found on the command line; a value is meaningful only when its
// flag is set.
struct RunOptions {
  float scale = 0.0f;  // after "-sca"; 0 asks for normalization
  bool scaleGiven = false;
  int32_t minimum = 0;  // after "-min"
  bool minimumGiven = false;
  int32_t smoothPasses = 0;  // after "-smo"
  bool smoothGiven = false;
  RasterSize size;  // after "-dim": a raw input's width and height
  bool sizeGiven = false;
  std::string view;  // after "-view": the relief picture's path
  bool viewGiven = false;
  bool viewMissing = false;  // "-view" was the last argument
  // after "-tilerows": an input's tiles named _x<i>_y<j> count j from the
  // bottom (World Machine's, -fit unreal's), not from the top.
  bool tileRowsFromBottom = false;
  bool tileRowsGiven = false;
  bool bigEndian = false;  // after "-order": raw heights' byte order
  bool orderGiven = false;
  double unit = 0;  // after "-unit": file units per height step
  bool unitGiven = false;
  RasterSize resize;  // after "-size": the size to resample to
  bool resizeGiven = false;
  ResampleFilter filter = kDefaultResampleFilter;  // after "-filter"
  bool filterGiven = false;
  // Every "-flip" and "-rotate", in the order given.
  std::vector<PlaneTurn> turns;
  Engine engine = Engine::kUnity;  // after "-fit"
  bool fitGiven = false;
  TileGrid tiles;  // after "-tiles"
  bool tilesGiven = false;
  bool world = false;                     // "-world", which takes no value
  int32_t fillReach = kDefaultFillReach;  // after "-fill": samples a fill
  bool fillGiven = false;                 // reaches; 0 fills nothing
  ChannelChoice channel = ChannelChoice::kGrey;  // after "-channel"
  bool channelGiven = false;
  MapWindow crop;  // after "-crop": the pixels kept
  bool cropGiven = false;
  GeoBounds bounds;        // after "-bounds": the edges to cover
  std::string boundsText;  // as given
  bool boundsGiven = false;
  int32_t depth = 16;       // after "-depth": a TIFF output's bits a sample,
  bool depthGiven = false;  // 16 (unsigned) or 32 (floats)
  // The switch whose refusal line the run ends with, "" when every value
  // was one its switch takes.
  std::string refused;
};

// One switch: how it is written, told, repeated, parsed and refused.
struct SwitchRow {
  const char* name;   // "-sca"
  const char* value;  // the help's name for its value; nullptr: takes none
  // The values it takes, separated by spaces, for completion; nullptr when
  // any number (or path) goes.
  const char* words;
  bool wordsInUsage;     // the usage lists the words ("little|big")
  bool startsUsageLine;  // the usage's synopsis breaks before it
  // The help's description; "{pictures}" stands for the picture formats.
  const char* help;
  bool repeatable;  // every occurrence counts, in order (else the first)
  // When it came to the tool (1: the first): typos are matched and
  // repeats told in this order.
  int added;
  // Stores value (nullptr for a switch that takes none) in its field of
  // options and sets its flag; false when the value is none it takes.
  bool (*parse)(const char* value, RunOptions* options);
  // The ERROR line for a value parse does not take; nullptr when it takes
  // every value.
  const char* refusal;
  // Of several values refused, the one with the lowest rank is told.
  int refusalRank;
};

// Every switch, in the order the help lists them.
const std::vector<SwitchRow>& switchTable();

// The same rows in the order of their field added.
const std::vector<const SwitchRow*>& switchesAsAdded();

// The row of the switch argument is exactly, or nullptr.
const SwitchRow* findSwitch(const char* argument);

// findOption's answer when no argument matches.
constexpr int kOptionNotFound = -1;

// The index of the first argument from index 3 on that equals name exactly,
// or kOptionNotFound.
int findOption(int argc, const char* const* argv, const char* name);

// Parses text as atof would (leading number, otherwise 0), narrowed to float.
float parseScale(const char* text);

// Parses text as atoi would (leading integer, otherwise 0), clamped to the
// 32-bit range instead of overflowing.
int32_t parseInteger(const char* text);

// Looks for every switch over every argument from index 3 on; the first
// occurrence counts (every one of a repeatable switch, in order), and a
// switch with nothing after it counts as not given. Values are not
// consumed: a value may itself be found as a switch.
RunOptions findRunOptions(int argc, const char* const* argv);

// The usage error: fewer than two paths, a switch where the output
// belongs, or a picture that would replace the input or the output.
constexpr const char* kUsageError =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";

// The synopsis, "Usage: quillorn <input> <output>" and one entry a switch,
// broken where the table says.
std::vector<std::string> synopsisLines();

// The usage and every switch, one line each, from the table: the help's
// start, and what a usage error adds on standard error. png: the pictures
// may be PNGs.
std::vector<std::string> usageLines(bool png);

// Prints the usage line and every switch, as the help starts.
void printUsage(std::ostream& diagnostics);

#endif  // QUILLORN_APP_RUN_OPTIONS_H_
