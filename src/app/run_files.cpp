#include "app/run_files.h"

#include <string>
#include <vector>

#include "app/run_report.h"
#include "image/png_file.h"
#include "image/tiff_file.h"

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

bool openRunFiles(const char* inputPath, const char* outputPath,
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
  std::vector<std::string>& paths = files->outputPaths;
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
  // A picture is a PNG or, by its name or for want of one, a bitmap.
  const std::string& view = options.view;
  const HeightFormat viewFormat = outputFormatOf(view);
  const bool viewNamed =
      viewFormat == HeightFormat::kPng ||
      (viewFormat == HeightFormat::kBmp && hasOutputExtension(view));
  if (files->viewWanted && files->view.mode != OutputMode::kDevice &&
      !viewNamed) {
    diagnostics << "quillorn: warning: " << view
                << ": a picture is a PNG when its name ends in .png, so a "
                   "24-bit bitmap is written"
                << std::endl;
  }
  return true;
}

std::vector<OutputFile*> allOutputs(RunFiles* files) {
  std::vector<OutputFile*> outputs = {&files->output};
  for (OutputFile& tile : files->tiles) outputs.push_back(&tile);
  if (files->viewWanted) outputs.push_back(&files->view);
  return outputs;
}

void abandonFiles(RunFiles* files) {
  releaseInput(&files->source);
  closeInputFile(&files->input);
}
