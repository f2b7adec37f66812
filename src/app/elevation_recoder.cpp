#include "app/elevation_recoder.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/console_progress.h"
#include "image/bitmap_file.h"
#include "image/height_planes.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/terminal.h"
#include "processing/height_processing.h"

namespace {

const char* const kUsageError =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";

const char* const kHelpLines[] = {
    "Usage: quillorn <input.bmp> <output.bmp> [-sca <scale>] [-min <minimum>] "
    "[-smo <passes>]",
    "Re-encodes an 8- or 24-bit BMP height map as a 24-bit BMP.",
    "Each height is green x 255 + red; an 8-bit pixel's byte is the red part.",
    "  -sca <scale>    multiply every height by <scale>; 0 normalizes the "
    "heights to 0-255",
    "  -min <minimum>  shift all heights so that the lowest equals <minimum>",
    "  -smo <passes>   smooth the heights with <passes> passes of a 3x3 mean",
    "Scaling comes first, then smoothing, then the minimum, whatever the order "
    "given.",
    "Examples:",
    "  quillorn terrain.bmp terrain24.bmp",
    "  quillorn terrain.bmp terrain_smooth.bmp -sca 0 -smo 4 -min 10",
    "Exit status: 0 when the output was written, -1 (255) on any error.",
    "quillorn --version prints the version; see also man quillorn.",
};

bool isHelpSwitch(const char* argument) {
  return std::strcmp(argument, "-h") == 0 ||
         std::strcmp(argument, "--help") == 0;
}

// The switches the run takes; an output path that is one of them was surely
// forgotten.
const char* const kSwitches[] = {"-sca", "-min", "-smo"};

bool isSwitch(const char* argument) {
  for (const char* name : kSwitches) {
    if (std::strcmp(argument, name) == 0) return true;
  }
  return false;
}

// One line on standard error with the file and why the system (or the
// tool) failed on it, when there is a reason to give.
void reportFailure(const FileStream& file, std::ostream& diagnostics) {
  if (file.failure.empty()) return;
  diagnostics << "quillorn: " << file.path << ": " << file.failure << std::endl;
}

// The ERROR line and the reasons on standard error, for a failed run.
void reportRunFailure(const std::string& message, const FileStream& input,
                      const FileStream& output, std::ostream& console,
                      std::ostream& diagnostics) {
  console << "ERROR: " << message << std::endl;
  reportFailure(input, diagnostics);
  reportFailure(output, diagnostics);
}

// Everything between opening the files and releasing the planes: read,
// convert, smooth, shift, write. Prints each progress line before its stage;
// the planes it allocates stay in planes for the caller to release.
bool runStages(FileStream* input, FileStream* output, BitmapInfo* info,
               const RunOptions& options, PlaneSet* planes,
               std::ostream& console, std::string* error) {
  int32_t width = info->width;
  int32_t height = info->rowCount;
  // Bars only where someone watches a terminal; never on standard output.
  FILE* barStream = standardErrorIsTerminal() ? stderr : nullptr;
  ConsoleProgress bar;
  // The header was read and checked before the output was opened.
  console << "Reading input header..." << std::endl;

  console << "Initializing temp arrays..." << std::endl;
  if (!allocatePlanes(planes, width, height, error)) return false;

  console << "Reading input height..." << std::endl;
  startProgress(&bar, "Reading", barStream);
  bool read = readPixels(input, *info, planes, error, &bar.progress) &&
              readTail(input, info, error);
  finishProgress(&bar);
  if (!read) return false;

  console << "Converting..." << std::endl;
  if (options.scaleGiven) {
    ScaleOutcome outcome = scaleHeights(options.scale, planes, width, height);
    if (outcome.normalized) {
      console << "Converting to 0-255. To scale back to original, use scale "
              << outcome.reciprocal << std::endl;
    }
  }
  // Without "-sca" the target planes already hold the source as read: they
  // share its memory.

  if (options.smoothGiven) {
    console << "Smooth x" << options.smoothPasses << std::endl;
    std::string label = "Smoothing x" + std::to_string(options.smoothPasses);
    startProgress(&bar, label.c_str(), barStream);
    smoothHeights(options.smoothPasses, &planes->outRed, &planes->outGreen,
                  width, height, planes->base, &bar.progress);
    finishProgress(&bar);
  }

  if (options.minimumGiven) {
    console << "Minimum elevation " << options.minimum << std::endl;
    applyMinimumElevation(options.minimum, &planes->outRed, &planes->outGreen,
                          width, height);
  }

  console << "Writing output header..." << std::endl;
  if (!writeHeader(input, output, *info, error)) return false;

  console << "Writing output height..." << std::endl;
  startProgress(&bar, "Writing", barStream);
  bool wrote = writePixels(output, *info, *planes, error, &bar.progress);
  finishProgress(&bar);
  if (!wrote) return false;

  console << "Finishing output..." << std::endl;
  return copyTail(input, output, *info, error);
}

}  // namespace

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
  return options;
}

bool ElevationRecoder::run(int argc, const char* const* argv,
                           std::ostream& console, std::ostream& diagnostics) {
  installInterruptHandlers();
  const char* inputPath = argv[1];
  const char* outputPath = argv[2];
  std::string error;

  FileStream input;
  if (!openInputFile(inputPath, &input)) {
    console << "ERROR: Input file not found" << std::endl;
    reportFailure(input, diagnostics);
    return false;
  }
  BitmapInfo info;
  if (!inspectBitmap(&input, &info, &error)) {
    reportRunFailure(error, input, FileStream(), console, diagnostics);
    closeInputFile(&input);
    return false;
  }
  if (isSameFile(input, outputPath)) {
    console << "ERROR: Output file is the input file; choose another output"
            << std::endl;
    closeInputFile(&input);
    return false;
  }
  OutputFile output;
  OutputOpening opening = openOutputFile(outputPath, &output);
  if (opening != OutputOpening::kOpened) {
    if (opening == OutputOpening::kIsStandardOutput) {
      console << "ERROR: Output file is the standard output, where the "
                 "progress lines go; choose another output"
              << std::endl;
    } else {
      console << "ERROR: Output file cannot be created" << std::endl;
      reportFailure(output.file, diagnostics);
    }
    closeInputFile(&input);
    return false;
  }
  if (output.mode == OutputMode::kInPlace) {
    diagnostics << "quillorn: warning: " << outputPath
                << ": no new file can be made in its folder ("
                << output.fallbackReason
                << "), so it is rewritten in place: a failure or an "
                   "interruption can leave it incomplete"
                << std::endl;
  }

  // The run owns the planes and releases them once, whatever happened.
  RunOptions options = findRunOptions(argc, argv);
  PlaneSet planes;
  bool written =
      runStages(&input, &output.file, &info, options, &planes, console, &error);
  if (written) console << "Deleting temp arrays..." << std::endl;
  releasePlanes(&planes);
  closeInputFile(&input);
  if (!written) {
    discardOutputFile(&output);
    reportRunFailure(error, input, output.file, console, diagnostics);
    return false;
  }
  switch (commitOutputFile(&output)) {
    case OutputCommit::kCommitted:
      console << "Done!" << std::endl;
      return true;
    case OutputCommit::kWriteFailed:
      error = outputWriteError(output.file);
      break;
    case OutputCommit::kReplaceFailed:
      error = "Output file cannot be replaced";
      break;
  }
  reportRunFailure(error, input, output.file, console, diagnostics);
  return false;
}

int runCommandLine(int argc, const char* const* argv, std::ostream& console,
                   std::ostream& diagnostics) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    console << "Quillorn v" << kVersion << std::endl;
    return kExitSuccess;
  }
  console << "Quillorn v" << kVersion << std::endl;
  console << "Hit Ctrl+C to exit" << std::endl;
  if (argc == 2 && isHelpSwitch(argv[1])) {
    for (const char* line : kHelpLines) console << line << std::endl;
    return kExitSuccess;
  }
  // A switch where the output belongs means the output was forgotten: no
  // file of that name is written.
  if (argc < 3 || isSwitch(argv[2])) {
    console << kUsageError << std::endl;
    return kExitFailure;
  }
  ElevationRecoder recoder;
  return recoder.run(argc, argv, console, diagnostics) ? kExitSuccess
                                                       : kExitFailure;
}
