#include "app/run.h"

#include <string>
#include <vector>

#include "app/argument_warnings.h"
#include "app/diagnostics.h"
#include "app/engine_files.h"
#include "app/run_files.h"
#include "app/run_input.h"
#include "app/run_options.h"
#include "app/run_usage.h"
#include "app/run_report.h"
#include "app/run_stages.h"
#include "image/input_placement.h"
#include "image/input_reading.h"
#include "platform/files.h"

namespace {

// Decides the map's shape and the files it is written to from the input's
// header, before any output is opened; false after printing the ERROR line
// and the reasons. Warns about switches the input makes moot.
bool planRun(const char* inputPath, const char* outputPath,
             const RunOptions& options, RunFiles* files, std::ostream& console,
             std::ostream& diagnostics) {
  RunGeometry& geometry = files->geometry;
  std::string error;
  if (!planWindowedGeometry(options, files->source, inputPath, &geometry,
                            &error) ||
      !checkOutputSize(files->source, files->target.format,
                       geometry.tiles.tileWidth, geometry.tiles.tileHeight,
                       geometry.keepsGrid(), &error)) {
    refuseInput(error, *files, console, diagnostics);
    return false;
  }
  if (options.cropGiven && options.boundsGiven) {
    warn(diagnostics, "-crop is ignored: -bounds chooses the window");
  }
  if (options.filterGiven && !geometry.resampled) {
    warn(diagnostics,
         "-filter is ignored: the map keeps its size (resample with -size or "
         "-fit)");
  }
  if (options.resizeGiven && options.fitGiven) {
    warn(diagnostics, "-size is ignored: -fit picks the engine's size");
  }
  // A TIFF holds floats when asked, or when the heights are floats.
  files->target.floatSamples =
      takesDepthChoice(files->target.format) &&
      (options.depthGiven ? options.depth == 32 : readsAsFloats(files->source));
  // A float output takes the unit as the value of a step.
  if (options.unitGiven && !unitTakesEffect(files->source) &&
      !writesValues(files->target.format)) {
    warn(diagnostics, std::string("-unit is ignored: the heights of ") +
                          inputPath +
                          " are its samples as they stand (unsigned, up to 16 "
                          "bits)");
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
    if (namesAnInput(*files, path)) {
      console << "ERROR: Output file is the input file; choose another output"
              << std::endl;
      return false;
    }
    if (geometry.tiled && options.viewGiven &&
        pathsNameSameFile(options.view.c_str(), path.c_str())) {
      console << kUsageError << std::endl;
      diagnostics << "quillorn: " << options.view
                  << ": the picture would replace a tile; name another "
                     "picture"
                  << std::endl;
      printUsage(diagnostics);
      return false;
    }
  }
  planEngineFiles(outputPath, options, files, diagnostics);
  files->geo = inputGeoTags(inputPath, files->source);
  if (options.world) {
    files->worldWanted = files->geo.any();
    if (files->worldWanted) {
      files->worlds.resize(paths.size());
    } else {
      warn(
          diagnostics,
          std::string("-world is ignored: ") + inputPath +
              " says nothing of where it lies (a GeoTIFF or an SRTM tile named "
              "for its corner does)");
    }
  }
  return checkWrittenFiles(outputPath, *files, options, console, diagnostics);
}

// After a failed stage: the ERROR line and the failed file's reason (a tile
// that could not be opened has said why already), and the picture's.
void reportStageFailure(const std::string& error, const RunFiles& files,
                        std::ostream& console, std::ostream& diagnostics) {
  if (!error.empty()) {
    const OutputFile* failed =
        files.failed != nullptr ? files.failed : &files.output;
    reportRunFailure(error, files.input, failed->file, console, diagnostics);
  }
  reportFailure(files.view.file, diagnostics);
}

}  // namespace

bool convertHeightMap(int argc, const char* const* argv, std::ostream& console,
                      std::ostream& diagnostics) {
  // Lines nobody can read make a run nobody can trust: nothing is touched
  // (the caller says why).
  if (!consoleTookLines(console)) return false;
  const char* inputPath = argv[1];
  const char* outputPath = argv[2];
  const RunOptions options = findRunOptions(argc, argv);
  if (!checkSwitchValues(options, inputPath, outputPath, console,
                         diagnostics)) {
    return false;
  }
  warnAboutArguments(argc, argv, options, diagnostics);

  RunFiles files;
  if (!openRunInput(inputPath, outputPath, options, &files, console,
                    diagnostics) ||
      !planRun(inputPath, outputPath, options, &files, console, diagnostics) ||
      !openRunOutputs(outputPath, options, &files, console, diagnostics)) {
    abandonFiles(&files);
    return false;
  }

  // The run owns the planes and releases them once, whatever happened.
  PlaneSet planes;
  StageCounts counts;
  WrittenHeights heights;
  std::string error;
  const bool written = runStages(&files, options, &planes, &counts, &heights,
                                 console, diagnostics, &error);
  if (written) console << "Deleting temp arrays..." << std::endl;
  releasePlanes(&planes);
  releaseOutput(&files.target);
  abandonFiles(&files);
  if (!written) {
    discardRunFiles(&files);
    reportStageFailure(error, files, console, diagnostics);
    return false;
  }
  // Known before anything is replaced: the old outputs stay.
  if (!consoleTookLines(console)) {
    discardRunFiles(&files);
    return false;
  }
  if (!commitRunFiles(&files, console, diagnostics)) return false;

  reportStoreCounts(counts, diagnostics);
  reportWrittenHeights(heights, inputPath, diagnostics);
  if (holdsFloats(files.target) && !heights.floats) {
    reportWrittenValues(files.target.values, heights.top, outputPath,
                        diagnostics);
  }
  reportEngineSettings(files, heights, options, outputPath, diagnostics);
  console << "Done!" << std::endl;
  return true;
}
