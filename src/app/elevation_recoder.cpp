#include "app/elevation_recoder.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "app/console_progress.h"
#include "app/run_report.h"
#include "image/height_formats.h"
#include "image/height_planes.h"
#include "image/picture_file.h"
#include "platform/files.h"
#include "platform/interrupts.h"
#include "platform/terminal.h"
#include "processing/height_processing.h"
#include "processing/shaded_relief.h"

namespace {

const char* const kUsageError =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";

const char* const kSizeError =
    "ERROR: Invalid size after -dim, should be <width>x<height>, e.g. -dim "
    "2049x1025";

const char* const kOrderError =
    "ERROR: Invalid byte order after -order, should be little or big";

const char* const kUnitError =
    "ERROR: Invalid unit after -unit, should be a positive number of file "
    "units per height step, e.g. -unit 0.1";

// The files of one run.
struct RunFiles {
  FileStream input;
  InputImage source;
  OutputFile output;
  OutputImage target;
  OutputFile view;  // the relief picture, when asked for
  bool viewWanted = false;
};

// Everything between opening the files and releasing the planes: read,
// convert, smooth, shift, write. Prints each progress line before its stage;
// the planes it allocates stay in planes for the caller to release.
bool runStages(RunFiles* files, const RunOptions& options, PlaneSet* planes,
               StageCounts* counts, std::ostream& console,
               std::ostream& diagnostics, std::string* error) {
  const int32_t width = files->source.width;
  const int32_t height = files->source.height;
  // Bars only where someone watches a terminal; never on standard output.
  FILE* barStream = standardErrorIsTerminal() ? stderr : nullptr;
  const int columns = standardErrorColumns();
  ConsoleProgress bar;
  // The header was read and checked before the output was opened.
  console << "Reading input header..." << std::endl;

  console << "Initializing temp arrays..." << std::endl;
  if (!allocatePlanes(planes, width, height, error)) return false;
  // A bitmap read for a bitmap keeps the encoding's base 255, byte for
  // byte; every other pairing carries 16-bit heights in base 256.
  bool bitmaps = files->source.format == HeightFormat::kBmp &&
                 files->target.format == HeightFormat::kBmp;
  planes->base = bitmaps ? kHeightBase : kWideBase;
  counts->base = planes->base;

  console << "Reading input height..." << std::endl;
  startProgress(&bar, "Reading", barStream, columns);
  bool read = readInputHeights(&files->input, &files->source, planes, error,
                               &bar.progress);
  finishProgress(&bar);
  // The PNG decoder's rows are not needed past the last one read.
  releaseInput(&files->source);
  if (!read) return false;
  reportUnlikelyHeights(files->source, diagnostics);
  reportSampleMapping(files->source, files->input.path, diagnostics);
  counts->reading = files->source.unitClamped;

  console << "Converting..." << std::endl;
  if (options.scaleGiven) {
    ScaleOutcome outcome = scaleHeights(options.scale, planes, width, height);
    counts->scale = outcome.stored;
    if (outcome.normalized) {
      console << "Converting to 0-255. To scale back to original, use scale "
              << outcome.reciprocal << std::endl;
      reportRestoringSwitches(outcome.reciprocal, outcome.lowest, diagnostics);
    }
  }
  // Without "-sca" the target planes already hold the source as read: they
  // share its memory.

  if (options.smoothGiven) {
    console << "Smooth x" << options.smoothPasses << std::endl;
    std::string label = "Smoothing x" + std::to_string(options.smoothPasses);
    startProgress(&bar, label, barStream, columns);
    counts->smoothing =
        smoothHeights(options.smoothPasses, &planes->outRed, &planes->outGreen,
                      width, height, planes->base, &bar.progress);
    finishProgress(&bar);
  }

  if (options.minimumGiven) {
    console << "Minimum elevation " << options.minimum << std::endl;
    counts->minimum =
        applyMinimumElevation(options.minimum, &planes->outRed,
                              &planes->outGreen, width, height, planes->base);
  }

  console << "Writing output header..." << std::endl;
  if (!writeOutputHeader(&files->input, &files->output.file, files->source,
                         &files->target, error)) {
    return false;
  }

  console << "Writing output height..." << std::endl;
  startProgress(&bar, "Writing", barStream, columns);
  bool wrote = writeOutputHeights(&files->output.file, *planes, files->source,
                                  &files->target, error, &bar.progress);
  finishProgress(&bar);
  if (!wrote) return false;

  console << "Finishing output..." << std::endl;
  if (!finishOutputImage(&files->input, &files->output.file, files->source,
                         &files->target, error)) {
    return false;
  }
  counts->written = files->target.clamped;
  if (!files->viewWanted) return true;
  // The picture shows the heights as the output stores them.
  HeightRange range = findHeightRange(planes->outRed, planes->outGreen, width,
                                      height, planes->base);
  if (files->target.format == HeightFormat::kBmp && !bitmaps) {
    range.max = std::min(range.max, kLargestStoredHeight);
    range.min = std::min(range.min, range.max);
  }
  ReliefStyle style = reliefStyle(range, width, height);
  ReliefRows rows;
  auto shade = [&](int32_t row, int32_t column, int32_t count, uint8_t* rgb) {
    shadeReliefRow(*planes, width, height, style, row, column, count, rgb,
                   &rows);
  };
  return writePicture(
      &files->view.file,
      outputFormatOf(files->view.file.path) == HeightFormat::kPng, width,
      height, shade, error);
}

// Opens one output file (the heights or the picture), saying why not.
bool openOutput(const char* path, OutputFile* output, std::ostream& console,
                std::ostream& diagnostics) {
  OutputOpening opening = openOutputFile(path, output);
  if (opening == OutputOpening::kIsStandardOutput) {
    console << "ERROR: Output file is the standard output, where the "
               "progress lines go; choose another output"
            << std::endl;
    return false;
  }
  if (opening == OutputOpening::kFailed) {
    console << "ERROR: Output file cannot be created" << std::endl;
    reportFailure(output->file, diagnostics);
    return false;
  }
  if (output->mode == OutputMode::kInPlace) {
    diagnostics << "quillorn: warning: " << path
                << ": no new file can be made in its folder ("
                << output->fallbackReason
                << "), so it is rewritten in place: a failure or an "
                   "interruption can leave it incomplete"
                << std::endl;
  }
  return true;
}

// Checks made before any file is opened: the switches' values. False after
// printing the usage error.
bool checkSwitches(const RunOptions& options, const char* inputPath,
                   const char* outputPath, std::ostream& console,
                   std::ostream& diagnostics) {
  if (options.sizeGiven && !options.sizeValid) {
    console << kSizeError << std::endl;
    return false;
  }
  if (options.orderGiven && !options.orderValid) {
    console << kOrderError << std::endl;
    return false;
  }
  if (options.unitGiven && !options.unitValid) {
    console << kUnitError << std::endl;
    return false;
  }
  if (options.viewGiven &&
      (isSwitch(options.view.c_str()) ||
       pathsNameSameFile(options.view.c_str(), inputPath) ||
       pathsNameSameFile(options.view.c_str(), outputPath))) {
    console << kUsageError << std::endl;
    return false;
  }
  if (options.viewMissing) {
    diagnostics << "quillorn: warning: -view needs a picture's path after it; "
                   "no picture is written"
                << std::endl;
  }
  if (options.sizeGiven && !hasRawName(inputPath)) {
    diagnostics << "quillorn: warning: -dim is ignored: " << inputPath
                << " is not raw heights (.r16 or .raw); its size is read from "
                   "the file"
                << std::endl;
  }
  if (options.orderGiven && !hasRawName(inputPath) && !hasRawName(outputPath)) {
    diagnostics << "quillorn: warning: -order is ignored: neither " << inputPath
                << " nor " << outputPath
                << " is raw heights (.r16 or .raw); the other formats say "
                   "their own byte order"
                << std::endl;
  }
  return true;
}

// Opens and checks the input, then the outputs; false after reporting why.
bool openFiles(const char* inputPath, const char* outputPath,
               const RunOptions& options, RunFiles* files,
               std::ostream& console, std::ostream& diagnostics) {
  std::string error;
  if (!openInputFile(inputPath, &files->input)) {
    console << "ERROR: Input file not found" << std::endl;
    reportFailure(files->input, diagnostics);
    return false;
  }
  // /dev/zero would read as an empty file, /dev/urandom as noise.
  std::string kind = unreadableKind(files->input);
  if (!kind.empty()) {
    console << "ERROR: Input file is " << kind
            << ", not a regular file; read the map from a file" << std::endl;
    return false;
  }
  ReadRequest request;
  request.raw = hasRawName(inputPath);
  request.hgt = !request.raw && hasHgtName(inputPath);
  request.rawSize = request.raw && options.sizeGiven ? &options.size : nullptr;
  request.bigEndian = options.bigEndian;
  request.unit = options.unitGiven ? options.unit : 0;
  files->target.format = outputFormatOf(outputPath);
  files->target.bigEndian = options.bigEndian;
  files->viewWanted = options.viewGiven;
  bool pngWanted =
      files->target.format == HeightFormat::kPng ||
      (files->viewWanted && outputFormatOf(options.view) == HeightFormat::kPng);
  if (!inspectInput(&files->input, request, &files->source, &error) ||
      !checkOutputSize(files->source, files->target.format, &error)) {
    reportRunFailure(error, files->input, FileStream(), console, diagnostics);
    return false;
  }
  if (options.unitGiven && !unitTakesEffect(files->source)) {
    diagnostics << "quillorn: warning: -unit is ignored: the heights of "
                << inputPath
                << " are its samples as they stand (unsigned, up to 16 bits)"
                << std::endl;
  }
  if (isSameFile(files->input, outputPath)) {
    console << "ERROR: Output file is the input file; choose another output"
            << std::endl;
    return false;
  }
  if (pngWanted && !havePng()) {
    console << "ERROR: " << kNoPngSupport << std::endl;
    return false;
  }
  if (files->target.format == HeightFormat::kTiff && !haveTiff()) {
    console << "ERROR: " << kNoTiffSupport << std::endl;
    return false;
  }
  if (!openOutput(outputPath, &files->output, console, diagnostics)) {
    return false;
  }
  if (files->viewWanted &&
      !openOutput(options.view.c_str(), &files->view, console, diagnostics)) {
    discardOutputFile(&files->output);
    return false;
  }
  return true;
}

// Closes what is still open after a failure before the stages.
void abandonFiles(RunFiles* files) {
  releaseInput(&files->source);
  closeInputFile(&files->input);
}

}  // namespace

bool ElevationRecoder::run(int argc, const char* const* argv,
                           std::ostream& console, std::ostream& diagnostics) {
  installInterruptHandlers();
  // Lines nobody can read make a run nobody can trust: nothing is touched
  // (the caller says why).
  if (!consoleTookLines(console)) return false;
  const char* inputPath = argv[1];
  const char* outputPath = argv[2];
  RunOptions options = findRunOptions(argc, argv);
  if (!checkSwitches(options, inputPath, outputPath, console, diagnostics)) {
    return false;
  }
  warnAboutArguments(argc, argv, options, diagnostics);
  RunFiles files;
  if (!openFiles(inputPath, outputPath, options, &files, console,
                 diagnostics)) {
    abandonFiles(&files);
    return false;
  }

  // The run owns the planes and releases them once, whatever happened.
  PlaneSet planes;
  StageCounts counts;
  std::string error;
  bool written = runStages(&files, options, &planes, &counts, console,
                           diagnostics, &error);
  if (written) console << "Deleting temp arrays..." << std::endl;
  releasePlanes(&planes);
  releaseOutput(&files.target);
  abandonFiles(&files);
  OutputFile* outputs[2] = {&files.output, &files.view};
  int count = files.viewWanted ? 2 : 1;
  // Known before anything is replaced: the old outputs stay.
  if (written && !consoleTookLines(console)) {
    for (int index = 0; index < count; ++index) {
      discardOutputFile(outputs[index]);
    }
    return false;
  }
  if (!written) {
    for (int index = 0; index < count; ++index) {
      discardOutputFile(outputs[index]);
    }
    reportRunFailure(error, files.input, files.output.file, console,
                     diagnostics);
    reportFailure(files.view.file, diagnostics);
    return false;
  }
  int failed = 0;
  switch (commitOutputFiles(outputs, count, &failed)) {
    case OutputCommit::kCommitted:
      // Only a hidden link that could not be removed is left to tell.
      reportFailure(files.output.file, diagnostics);
      reportFailure(files.view.file, diagnostics);
      reportStoreCounts(counts, diagnostics);
      console << "Done!" << std::endl;
      return true;
    case OutputCommit::kWriteFailed:
      error = outputWriteError(outputs[failed]->file);
      break;
    case OutputCommit::kReplaceFailed:
      error = "Output file cannot be replaced";
      break;
  }
  reportRunFailure(error, files.input, files.output.file, console, diagnostics);
  reportFailure(files.view.file, diagnostics);
  return false;
}

namespace {

// runCommandLine but for the standard output's own failure.
int runCommand(int argc, const char* const* argv, std::ostream& console,
               std::ostream& diagnostics) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    console << "Quillorn v" << kVersion << std::endl;
    console << formatsLine() << std::endl;
    return kExitSuccess;
  }
  console << "Quillorn v" << kVersion << std::endl;
  console << "Hit Ctrl+C to exit" << std::endl;
  if (argc == 2 && isHelpSwitch(argv[1])) {
    printHelp(console);
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

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::ostream& console,
                   std::ostream& diagnostics) {
  holdStandardStreams();
  int status = runCommand(argc, argv, console, diagnostics);
  // Lines lost (a full device, a closed standard output) are a failure,
  // whatever else went well.
  return reportConsoleFailure(console, diagnostics) ? kExitFailure : status;
}
