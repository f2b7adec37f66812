#include "app/elevation_recoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/console_progress.h"
#include "app/run_geometry.h"
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

const char* const kResizeError =
    "ERROR: Invalid size after -size, should be <width>x<height>, e.g. -size "
    "1025x1025";

const char* const kFilterError =
    "ERROR: Invalid filter after -filter, should be cubic, linear, box, "
    "mitchell or bspline";

const char* const kFitError =
    "ERROR: Invalid engine after -fit, should be unity or unreal";

const char* const kTilesError =
    "ERROR: Invalid tiles after -tiles, should be <columns>x<rows>, e.g. "
    "-tiles 4x4";

// The files of one run.
struct RunFiles {
  FileStream input;
  InputImage source;
  RunGeometry geometry;
  std::string outputPath;
  OutputFile output;  // one output; a tiled run's first tile
  OutputImage target;
  // A tiled run's other tiles, row by row from the top left: opened as
  // they are written, each closed once whole, all renamed at the end.
  std::vector<OutputFile> tiles;
  OutputFile view;  // the relief picture, when asked for
  bool viewWanted = false;
};

// Every output of the run, the picture last: what is committed or
// discarded together.
std::vector<OutputFile*> allOutputs(RunFiles* files) {
  std::vector<OutputFile*> outputs = {&files->output};
  for (OutputFile& tile : files->tiles) outputs.push_back(&tile);
  if (files->viewWanted) outputs.push_back(&files->view);
  return outputs;
}

bool openOutput(const char* path, OutputFile* output, std::ostream& console,
                std::ostream& diagnostics);

// Writes the target heights of a width x height map: to the output, or as
// tiles, each to its own file. Prints the three writing lines once.
bool writeTarget(RunFiles* files, const PlaneSet& planes, int32_t width,
                 int32_t height, StageCounts* counts, ConsoleProgress* bar,
                 FILE* barStream, int columns, std::ostream& console,
                 std::ostream& diagnostics, std::string* error) {
  const RunGeometry& geometry = files->geometry;
  files->target.width = width;
  files->target.height = height;
  files->target.sameGrid = geometry.keepsGrid();
  if (!geometry.tiled) {
    console << "Writing output header..." << std::endl;
    if (!writeOutputHeader(&files->input, &files->output.file, files->source,
                           &files->target, error)) {
      return false;
    }
    console << "Writing output height..." << std::endl;
    startProgress(bar, "Writing", barStream, columns);
    bool wrote = writeOutputHeights(&files->output.file, planes, files->source,
                                    &files->target, error, &bar->progress);
    finishProgress(bar);
    if (!wrote) return false;
    console << "Finishing output..." << std::endl;
    if (!finishOutputImage(&files->input, &files->output.file, files->source,
                           &files->target, error)) {
      return false;
    }
    counts->written = files->target.clamped;
    return true;
  }
  // Tiles: each written whole in turn, one bar across them all.
  const TilePlan& plan = geometry.tiles;
  console << "Writing output header..." << std::endl;
  console << "Writing output height..." << std::endl;
  startProgress(bar, "Writing tiles", barStream, columns);
  const int64_t total =
      int64_t{plan.grid.columns} * plan.grid.rows * plan.tileHeight;
  int64_t done = 0;
  struct Across {
    const Progress* bar;
    int64_t before;
    int64_t total;
  } across = {&bar->progress, 0, total};
  Progress tileProgress;
  tileProgress.context = &across;
  tileProgress.update = [](void* context, int64_t rows, int64_t) {
    Across* at = static_cast<Across*>(context);
    reportProgress(at->bar, at->before + rows, at->total);
  };
  size_t index = 0;
  for (int32_t row = 0; row < plan.grid.rows; ++row) {
    for (int32_t column = 0; column < plan.grid.columns; ++column, ++index) {
      OutputFile* output =
          index == 0 ? &files->output : &files->tiles[index - 1];
      if (index > 0) {
        std::string path = tilePath(geometry, files->outputPath, column, row);
        if (!openOutput(path.c_str(), output, console, diagnostics)) {
          finishProgress(bar);
          *error = "";
          return false;
        }
      }
      TilePlanes tile;
      cutTile(planes, plan, column, row, &tile);
      OutputImage image;
      image.format = files->target.format;
      image.bigEndian = files->target.bigEndian;
      image.width = plan.tileWidth;
      image.height = plan.tileHeight;
      image.sameGrid = false;
      across.before = done;
      bool wrote = writeOutputHeader(&files->input, &output->file,
                                     files->source, &image, error) &&
                   writeOutputHeights(&output->file, tile.planes, files->source,
                                      &image, error, &tileProgress) &&
                   finishOutputImage(&files->input, &output->file,
                                     files->source, &image, error);
      releaseOutput(&image);
      counts->written += image.clamped;
      done += plan.tileHeight;
      // Closed once whole: a thousand tiles need no thousand open files.
      if (!wrote || !closeOutputFile(output)) {
        finishProgress(bar);
        if (wrote) *error = outputWriteError(output->file);
        return false;
      }
    }
  }
  finishProgress(bar);
  console << "Finishing output..." << std::endl;
  return true;
}

// Everything between opening the files and releasing the planes: read,
// convert, smooth, shift, write. Prints each progress line before its stage;
// the planes it allocates stay in planes for the caller to release.
bool runStages(RunFiles* files, const RunOptions& options, PlaneSet* planes,
               StageCounts* counts, std::ostream& console,
               std::ostream& diagnostics, std::string* error) {
  int32_t width = files->source.width;
  int32_t height = files->source.height;
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
  reportEightBitHeights(files->source, files->target.format, options.scaleGiven,
                        diagnostics);
  counts->reading = files->source.unitClamped;
  // The map takes its shape right after reading: every stage, the output
  // and the picture work on the new grid.
  const RunGeometry& geometry = files->geometry;
  if (geometry.turned &&
      !applyPlaneTurns(geometry.turns, planes, &width, &height, error)) {
    return false;
  }
  if (geometry.resampled) {
    startProgress(&bar, "Resampling", barStream, columns);
    ResampleOutcome outcome;
    bool resampled = resampleHeights(planes, width, height, geometry.resample,
                                     &outcome, error, &bar.progress);
    finishProgress(&bar);
    if (!resampled) return false;
    counts->resample = outcome.clamped;
    width = geometry.width;
    height = geometry.height;
  }

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

  if (!writeTarget(files, *planes, width, height, counts, &bar, barStream,
                   columns, console, diagnostics, error)) {
    return false;
  }
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
  if (options.resizeGiven && !options.resizeValid) {
    console << kResizeError << std::endl;
    return false;
  }
  if (options.filterGiven && !options.filterValid) {
    console << kFilterError << std::endl;
    return false;
  }
  if (!options.badTurn.empty()) {
    console << (options.badTurn == "-flip"
                    ? "ERROR: Invalid value after -flip, should be horizontal "
                      "or vertical"
                    : "ERROR: Invalid value after -rotate, should be 90, 180 "
                      "or 270 (degrees clockwise)")
            << std::endl;
    return false;
  }
  if (options.fitGiven && !options.fitValid) {
    console << kFitError << std::endl;
    return false;
  }
  if (options.tilesGiven && !options.tilesValid) {
    console << kTilesError << std::endl;
    return false;
  }
  if (options.viewGiven) {
    const char* view = options.view.c_str();
    std::string reason =
        isSwitch(view) ? "after -view comes the picture's path, not a switch"
        : pathsNameSameFile(view, inputPath)
            ? "the picture would replace the input; name another picture"
        : pathsNameSameFile(view, outputPath)
            ? "the picture would replace the output; name another picture"
            : "";
    if (!reason.empty()) {
      console << kUsageError << std::endl;
      diagnostics << "quillorn: " << view << ": " << reason << std::endl;
      printUsage(diagnostics);
      return false;
    }
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
  bool inspected = inspectInput(&files->input, request, &files->source, &error);
  RunGeometry& geometry = files->geometry;
  bool planned =
      inspected && planRunGeometry(options, files->source.width,
                                   files->source.height, &geometry, &error);
  if (!planned ||
      !checkOutputSize(files->source, files->target.format,
                       geometry.tiles.tileWidth, geometry.tiles.tileHeight,
                       geometry.keepsGrid(), &error)) {
    reportRunFailure(error, files->input, FileStream(), console, diagnostics);
    if (!files->source.advice.empty()) {
      diagnostics << "quillorn: " << inputPath << ": " << files->source.advice
                  << std::endl;
    }
    return false;
  }
  if (options.filterGiven && !geometry.resampled) {
    diagnostics << "quillorn: warning: -filter is ignored: the map keeps its "
                   "size (resample with -size or -fit)"
                << std::endl;
  }
  if (options.resizeGiven && options.fitGiven) {
    diagnostics << "quillorn: warning: -size is ignored: -fit picks the "
                   "engine's size"
                << std::endl;
  }
  if (options.unitGiven && !unitTakesEffect(files->source)) {
    diagnostics << "quillorn: warning: -unit is ignored: the heights of "
                << inputPath
                << " are its samples as they stand (unsigned, up to 16 bits)"
                << std::endl;
  }
  // A tiled run writes its tiles beside the output's name, not the output.
  files->outputPath = outputPath;
  std::vector<std::string> paths;
  for (int32_t row = 0; row < geometry.tiles.grid.rows; ++row) {
    for (int32_t column = 0; column < geometry.tiles.grid.columns; ++column) {
      paths.push_back(geometry.tiled
                          ? tilePath(geometry, outputPath, column, row)
                          : std::string(outputPath));
    }
  }
  for (const std::string& path : paths) {
    if (isSameFile(files->input, path.c_str())) {
      console << "ERROR: Output file is the input file; choose another output"
              << std::endl;
      return false;
    }
  }
  if (pngWanted && !havePng()) {
    console << "ERROR: " << kNoPngSupport << std::endl;
    return false;
  }
  if (files->target.format == HeightFormat::kTiff && !haveTiff()) {
    console << "ERROR: " << kNoTiffSupport << std::endl;
    return false;
  }
  // The first output is opened now, so that a name that can never be
  // written is refused before any work; a tiled run opens its other tiles
  // as it writes them.
  if (!openOutput(paths[0].c_str(), &files->output, console, diagnostics)) {
    return false;
  }
  files->tiles.resize(paths.size() - 1);
  // A device (/dev/null) takes whatever comes; a file's name says its
  // format, and a name that says none gets a bitmap.
  if (files->output.mode != OutputMode::kDevice &&
      !hasOutputExtension(outputPath)) {
    diagnostics << "quillorn: warning: " << outputPath
                << ": no format is named by its ending, so a 24-bit bitmap is "
                   "written (.bmp, .r16 or .raw, .pgm, .png and .tif name the "
                   "formats)"
                << std::endl;
  }
  if (files->viewWanted &&
      !openOutput(options.view.c_str(), &files->view, console, diagnostics)) {
    discardOutputFile(&files->output);
    return false;
  }
  const std::string& view = options.view;
  if (files->viewWanted && files->view.mode != OutputMode::kDevice &&
      outputFormatOf(view) != HeightFormat::kPng &&
      !(hasOutputExtension(view) &&
        outputFormatOf(view) == HeightFormat::kBmp)) {
    diagnostics << "quillorn: warning: " << view
                << ": a picture is a PNG when its name ends in .png, so a "
                   "24-bit bitmap is written"
                << std::endl;
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
  std::vector<OutputFile*> outputs = allOutputs(&files);
  auto discardAll = [&] {
    for (OutputFile* output : outputs) discardOutputFile(output);
  };
  // Known before anything is replaced: the old outputs stay.
  if (written && !consoleTookLines(console)) {
    discardAll();
    return false;
  }
  if (!written) {
    discardAll();
    // A tile that could not be opened has said why already.
    if (!error.empty()) {
      reportRunFailure(error, files.input, files.output.file, console,
                       diagnostics);
    }
    reportFailure(files.view.file, diagnostics);
    return false;
  }
  int failed = 0;
  switch (commitOutputFiles(outputs.data(), static_cast<int>(outputs.size()),
                            &failed)) {
    case OutputCommit::kCommitted:
      // Only a hidden link that could not be removed is left to tell.
      for (OutputFile* output : outputs)
        reportFailure(output->file, diagnostics);
      reportStoreCounts(counts, diagnostics);
      if (files.geometry.fitted) {
        diagnostics << engineSettingsLine(files.geometry.fit) << std::endl;
      }
      console << "Done!" << std::endl;
      return true;
    case OutputCommit::kWriteFailed:
      error = outputWriteError(outputs[static_cast<size_t>(failed)]->file);
      break;
    case OutputCommit::kReplaceFailed:
      error = "Output file cannot be replaced";
      break;
  }
  OutputFile* failedOutput = outputs[static_cast<size_t>(failed)];
  reportRunFailure(error, files.input, failedOutput->file, console,
                   diagnostics);
  for (OutputFile* output : outputs) {
    if (output != failedOutput) reportFailure(output->file, diagnostics);
  }
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
  // Help asked for anywhere is help, not a conversion.
  for (int index = 1; index < argc; ++index) {
    if (isHelpSwitch(argv[index])) {
      printHelp(console);
      return kExitSuccess;
    }
  }
  // A switch where the output belongs means the output was forgotten: no
  // file of that name is written.
  if (argc < 3 || isSwitch(argv[2])) {
    console << kUsageError << std::endl;
    printUsage(diagnostics);
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
