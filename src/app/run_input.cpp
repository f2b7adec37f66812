#include "app/run_input.h"

#include <string>
#include <vector>

#include "app/diagnostics.h"
#include "app/input_expansion.h"
#include "image/geo_reference.h"
#include "image/ground_spacing.h"
#include "image/input_reading.h"

namespace {

// How the command line asks the input to be read, and the output's format
// and byte order.
ReadRequest runRequest(const char* inputPath, const char* outputPath,
                       const RunOptions& options, RunFiles* files) {
  ReadRequest request;
  request.raw = hasRawName(inputPath);
  request.hgt = !request.raw && hasHgtName(inputPath);
  request.r32 = hasR32Name(inputPath);
  // A mosaic's raw tiles take -dim each.
  request.rawSize =
      (request.raw || request.r32 || files->mosaic.any()) && options.sizeGiven
          ? &options.size
          : nullptr;
  request.bigEndian = options.bigEndian;
  request.channel =
      options.channelGiven ? options.channel : ChannelChoice::kGrey;
  files->target.format = outputFormatOf(outputPath);
  request.mapping.unit = options.unitGiven ? options.unit : 0;
  // An engine gets the whole 16-bit range (a bitmap holds a little less).
  request.mapping.stretchShifted = options.fitGiven;
  if (options.fitGiven && !isBitmapFormat(files->target.format)) {
    request.mapping.stretchTop = kLargestWideHeight;
  }
  files->target.bigEndian = options.bigEndian;
  files->viewWanted = options.viewGiven;
  return request;
}

void warnAboutTileRows(const char* inputPath, const RunOptions& options,
                       const RunFiles& files, std::ostream& diagnostics) {
  if (options.tileRowsGiven && !files.mosaic.lettered) {
    warn(diagnostics, std::string("-tilerows is ignored: ") + inputPath +
                          " is no set of tiles named <name>_x<i>_y<j>");
  }
}

// Opens the tiles of a folder or pattern as one map; false after the
// ERROR line and the reasons.
bool openMosaic(const char* inputPath, const char* outputPath,
                const RunOptions& options, RunFiles* files,
                std::ostream& console, std::ostream& diagnostics) {
  const ReadRequest request = runRequest(inputPath, outputPath, options, files);
  if (!openMosaicInput(inputPath, request, options.tileRowsFromBottom,
                       &files->mosaic, &files->source, console, diagnostics)) {
    return false;
  }
  // The first tile stands for the input where a check names one file.
  if (!openInputFile(files->mosaic.tiles[0].c_str(), &files->input)) {
    console << "ERROR: Input file not found" << std::endl;
    reportFailure(files->input, diagnostics);
    return false;
  }
  // What the run tells of its input names the folder or the pattern.
  files->input.path = inputPath;
  warnAboutTileRows(inputPath, options, *files, diagnostics);
  return true;
}

}  // namespace

bool openRunInput(const char* inputPath, const char* outputPath,
                  const RunOptions& options, RunFiles* files,
                  std::ostream& console, std::ostream& diagnostics) {
  switch (expandInput(inputPath, &files->mosaic.tiles)) {
    case InputKind::kFile:
      break;
    case InputKind::kTiles:
      return openMosaic(inputPath, outputPath, options, files, console,
                        diagnostics);
    case InputKind::kEmpty:
      console << "ERROR: Input file not found" << std::endl;
      diagnostics << "quillorn: " << inputPath
                  << (isInputPattern(inputPath)
                          ? ": no file matches the pattern"
                          : ": the folder holds no file of a format Quillorn "
                            "reads")
                  << "; name the tiles' folder, or a pattern of their names"
                  << std::endl;
      return false;
  }
  if (!openInputFile(inputPath, &files->input)) {
    console << "ERROR: Input file not found" << std::endl;
    reportFailure(files->input, diagnostics);
    // "quillorn -sca 0 in.bmp out.png": the switch was taken for the input.
    if (findSwitch(inputPath) != nullptr) {
      diagnostics << "quillorn: " << inputPath
                  << " is a switch: the input and output paths come first, "
                     "then the switches (quillorn <input> <output> "
                     "[switches])"
                  << std::endl;
    }
    return false;
  }
  // /dev/zero would read as an empty file, /dev/urandom as noise.
  std::string kind = unreadableKind(files->input);
  if (!kind.empty()) {
    console << "ERROR: Input file is " << kind
            << ", not a regular file; read the map from a file" << std::endl;
    return false;
  }
  warnAboutTileRows(inputPath, options, *files, diagnostics);
  const ReadRequest request = runRequest(inputPath, outputPath, options, files);
  std::string error;
  if (!inspectInput(&files->input, request, &files->source, &error)) {
    refuseInput(error, *files, console, diagnostics);
    return false;
  }
  return true;
}

void refuseInput(const std::string& error, const RunFiles& files,
                 std::ostream& console, std::ostream& diagnostics) {
  reportRunFailure(error, files.input, FileStream(), console, diagnostics);
  if (!files.source.advice.empty()) {
    diagnostics << "quillorn: " << files.input.path << ": "
                << files.source.advice << std::endl;
  }
}
