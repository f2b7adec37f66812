// The command line and the conversion run: switches, the fixed order of the
// stages, the progress lines and the failure exits.
#ifndef QUILLORN_APP_ELEVATION_RECODER_H_
#define QUILLORN_APP_ELEVATION_RECODER_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "image/height_formats.h"
#include "processing/engine_sizes.h"
#include "processing/height_tiles.h"
#include "processing/nodata_fill.h"
#include "processing/plane_turns.h"
#include "processing/resampling.h"

// The version the banner shows.
constexpr const char* kVersion = "1.00";

// Exit statuses: a converted file, and every failure (usage, input, output).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

// The usage error: fewer than two paths, a switch where the output
// belongs, or a picture that would replace the input or the output.
constexpr const char* kUsageError =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";

// findOption's answer when no argument matches.
constexpr int kOptionNotFound = -1;

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
  bool sizeValid = false;  // the value had the form <width>x<height>
  std::string view;        // after "-view": the relief picture's path
  bool viewGiven = false;
  bool viewMissing = false;  // "-view" was the last argument
  bool bigEndian = false;    // after "-order": raw heights' byte order
  bool orderGiven = false;
  bool orderValid = false;  // the value was "little" or "big"
  double unit = 0;          // after "-unit": file units per height step
  bool unitGiven = false;
  bool unitValid = false;  // the value was a positive, finite number
  RasterSize resize;       // after "-size": the size to resample to
  bool resizeGiven = false;
  bool resizeValid = false;
  ResampleFilter filter = kDefaultResampleFilter;  // after "-filter"
  bool filterGiven = false;
  bool filterValid = false;
  // Every "-flip" and "-rotate", in the order given (the only switches that
  // count each time); badTurn names the first whose value is none of theirs.
  std::vector<PlaneTurn> turns;
  std::string badTurn;
  Engine engine = Engine::kUnity;  // after "-fit"
  bool fitGiven = false;
  bool fitValid = false;
  TileGrid tiles;  // after "-tiles"
  bool tilesGiven = false;
  bool tilesValid = false;
  bool world = false;                     // "-world", which takes no value
  int32_t fillReach = kDefaultFillReach;  // after "-fill": samples a fill
  bool fillGiven = false;                 // reaches; 0 fills nothing
  bool fillValid = false;
  ChannelChoice channel = ChannelChoice::kGrey;  // after "-channel"
  bool channelGiven = false;
  bool channelValid = false;
};

// The switches a run takes, and the one function of each.
constexpr const char* kSwitches[] = {
    "-sca",    "-min",   "-smo",    "-dim",  "-view",  "-order",
    "-unit",   "-size",  "-filter", "-flip", "-rotate", "-fit",
    "-tiles",  "-world", "-fill",   "-channel"};

// True for the switches that take no value ("-world").
bool isFlagSwitch(const char* argument);

// True for the switches that may be given more than once, each counting.
bool isRepeatableSwitch(const char* argument);

// True when argument is one of kSwitches.
bool isSwitch(const char* argument);

// True for "-h" and "--help", which anywhere on the line ask for the help.
bool isHelpSwitch(const char* argument);

// Prints the help text, a line at a time.
void printHelp(std::ostream& console);

// Prints the usage line and every switch, as the help starts.
void printUsage(std::ostream& diagnostics);

// "Formats: BMP, PGM, raw" and PNG with its library where the build has it,
// for --version.
std::string formatsLine();

// The index of the first argument from index 3 on that equals name exactly,
// or kOptionNotFound.
int findOption(int argc, const char* const* argv, const char* name);

// Parses text as atof would (leading number, otherwise 0), narrowed to float.
float parseScale(const char* text);

// Parses text as atoi would (leading integer, otherwise 0), clamped to the
// 32-bit range instead of overflowing.
int32_t parseInteger(const char* text);

// Looks for every switch over every argument from index 3 on; the first
// occurrence counts, and a switch with nothing after it counts as not given.
// Values are not consumed: a value may itself be found as a switch.
RunOptions findRunOptions(int argc, const char* const* argv);

// Names on diagnostics, as warnings, every argument from index 3 on that is
// neither a switch nor the word after one (with the switch it probably
// meant), every repeated switch, and every value read other than as written
// ("-smo 2.9" reads as 2 passes, "-sca 0,5" as 0, which normalizes).
void warnAboutArguments(int argc, const char* const* argv,
                        const RunOptions& options, std::ostream& diagnostics);

// Refuses, with its ERROR line on console, a value no switch takes, an
// output named for a picture format no output is written in (the reason on
// diagnostics), and a picture that is a switch, the input or the output
// (then with the reason and the usage on diagnostics); warns about switches
// the paths make moot.
// Needs no file opened.
bool checkSwitchValues(const RunOptions& options, const char* inputPath,
                       const char* outputPath, std::ostream& console,
                       std::ostream& diagnostics);

// Performs one conversion, printing its progress lines and any "ERROR: " line
// to console, and the system's reasons and warnings to diagnostics.
class ElevationRecoder {
 public:
  // argv[1] is the input, argv[2] the output, argv[3...] the switches; needs
  // argc >= 3. Prints the hint line once the switches' values are accepted,
  // before any file is opened. The output is replaced only by a complete
  // file: returns false
  // after a failure, having printed its "ERROR: " line and left the input
  // and any existing output as they were. A console that takes no lines,
  // at the start or before the outputs are replaced, fails the run with no
  // line of its own.
  bool run(int argc, const char* const* argv, std::ostream& console,
           std::ostream& diagnostics);
};

// The whole program: "--version" alone prints the version line; otherwise
// the banner, then help ("-h" or "--help" anywhere), usage (fewer than two
// paths, or a switch where the output belongs) or one run. Returns the
// process's exit status: a failure too when console did not take every
// line, said on diagnostics.
int runCommandLine(int argc, const char* const* argv, std::ostream& console,
                   std::ostream& diagnostics);

#endif  // QUILLORN_APP_ELEVATION_RECODER_H_
