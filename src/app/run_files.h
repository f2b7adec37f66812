// The files of one run: the input, the output (or a tiled run's tiles) and
// the relief picture, opened and checked before any work, then committed or
// discarded together.
#ifndef QUILLORN_APP_RUN_FILES_H_
#define QUILLORN_APP_RUN_FILES_H_

#include <ostream>
#include <string>
#include <vector>

#include "app/mosaic_input.h"
#include "app/run_geometry.h"
#include "app/run_options.h"
#include "image/height_formats.h"
#include "image/output_image.h"
#include "platform/outputs.h"

struct RunFiles {
  // The input: one file, or (mosaic.any()) a mosaic's first tile, kept
  // open as the input the run's checks name.
  FileStream input;
  InputMosaic mosaic;
  InputImage source;  // a mosaic's: the whole's
  RunGeometry geometry;
  // Where the heights go: the output, or a tiled run's tiles row by row
  // from the top left (the output's own name is then not written).
  std::vector<std::string> outputPaths;
  OutputFile output;  // the first of outputPaths
  OutputImage target;
  // A tiled run's other tiles: opened as they are written, each closed once
  // whole, all renamed at the end.
  std::vector<OutputFile> tiles;
  OutputFile view;  // the relief picture, when asked for
  bool viewWanted = false;
  // Unreal's size file beside a raw output ("<name>.json"), written and
  // replaced with it.
  OutputFile sidecar;
  bool sidecarWanted = false;
  // Where the input lies: a GeoTIFF's tags, or an SRTM tile's from its
  // name; empty when it says nothing.
  GeoTags geo;
  // -world: a world file beside each output, made as each is written.
  std::vector<OutputFile> worlds;
  bool worldWanted = false;
  // The output or tile whose writing failed, for its reason to be told;
  // nullptr when none did.
  OutputFile* failed = nullptr;
};

// Once the run is planned (outputPaths named): refuses formats the build
// lacks, then opens the first output, the picture and the size file; false
// after printing the ERROR line and the reasons. Warns about names that
// say no format.
bool openRunOutputs(const char* outputPath, const RunOptions& options,
                    RunFiles* files, std::ostream& console,
                    std::ostream& diagnostics);

// True when path names the input file or one of a mosaic's tiles.
bool namesAnInput(const RunFiles& files, const std::string& path);

// Every file the run is to write (the output or its tiles, their world
// files, the size file, the picture) against the input and against each
// other, by the file each names (not by its spelling), before any work;
// false after printing the ERROR line and which would replace which.
bool checkWrittenFiles(const char* outputPath, const RunFiles& files,
                       const RunOptions& options, std::ostream& console,
                       std::ostream& diagnostics);

// The JSON of Unreal's size file for the run's map.
std::string sidecarText(const RunFiles& files);

// Writes Unreal's size file when the run wants one; false with error set
// and the file named as the failed one.
bool writeSidecar(RunFiles* files, std::string* error);

// Opens one output file (the heights, a tile or the picture), saying why
// not.
bool openOutput(const char* path, OutputFile* output, std::ostream& console,
                std::ostream& diagnostics);

// Every output of the run, the size file and the picture last: what is
// committed or discarded together.
std::vector<OutputFile*> allOutputs(RunFiles* files);

// Closes the input and frees what its reader holds; safe to repeat.
void abandonFiles(RunFiles* files);

// Puts every output in place of its old file at once, or none: false
// after printing the ERROR line and each file's reason. A hidden link left
// behind is told either way.
bool commitRunFiles(RunFiles* files, std::ostream& console,
                    std::ostream& diagnostics);

// Removes every output's temporary, leaving the old files as they were.
void discardRunFiles(RunFiles* files);

#endif  // QUILLORN_APP_RUN_FILES_H_
