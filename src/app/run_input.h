// The input of one run: one file, or the tiles of a folder or a pattern,
// opened and its header read and checked before any output is opened.
#ifndef QUILLORN_APP_RUN_INPUT_H_
#define QUILLORN_APP_RUN_INPUT_H_

#include <ostream>
#include <string>

#include "app/run_files.h"
#include "app/run_options.h"

// Where the input at path lies: a mosaic's whole, a GeoTIFF's own tags, an
// SRTM tile's from its name (N47E011.hgt), else none.
GeoTags inputGeoTags(const std::string& path, const InputImage& source);

// Opens the input (a file, or the tiles a folder or pattern names) and
// reads its header, and decides the output's format; false after printing
// the ERROR line and the reasons.
bool openRunInput(const char* inputPath, const char* outputPath,
                  const RunOptions& options, RunFiles* files,
                  std::ostream& console, std::ostream& diagnostics);

// The ERROR line for an input that cannot be converted as asked, then the
// system's reason and the reader's advice on diagnostics.
void refuseInput(const std::string& error, const RunFiles& files,
                 std::ostream& console, std::ostream& diagnostics);

#endif  // QUILLORN_APP_RUN_INPUT_H_
