// What a run tells on standard error besides its ERROR line: heights that
// did not fit where they were stored, what the heights written stand for,
// and what to enter in the engine (the input's own hints: input_report).
#ifndef QUILLORN_APP_RUN_REPORT_H_
#define QUILLORN_APP_RUN_REPORT_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "app/diagnostics.h"
#include "app/run_files.h"
#include "app/run_options.h"
#include "image/height_formats.h"
#include "image/height_planes.h"
#include "platform/files.h"
#include "processing/nodata_fill.h"

// Heights that left the stored range, stage by stage.
struct StageCounts {
  HeightValue base = kHeightBase;  // the planes': 255 wraps, 256 clamps
  StoreCount reading;              // by "-unit", as the samples were read
  StoreCount resample;             // by "-size" or "-fit": clamped, any base
  StoreCount scale;                // by "-sca"
  int64_t smoothing = 0;           // by "-smo": means of 65280 stored as 0
  StoreCount minimum;              // by "-min"
  int64_t written = 0;             // clamped to what the output format holds
};

// What the written heights stand for: an elevation input's values as its
// samples were mapped, carried through every stage that changed heights.
struct WrittenHeights {
  bool haveUnits = false;     // elevation data whose samples were mapped
  SampleMapping mapping;      // lowest: the value of height 0; step: per height
  HeightValue top = 0;        // the highest height written
  bool nodataMarked = false;  // nodata kept unfilled is marked in blue, to be
                              // written as a TIFF's nodata value
  // Written as the floats they are (a float input to a float output):
  // mapping.lowest is the lowest value, lowest + 65535 x step the highest.
  bool floats = false;
};

// A warning line for heights that were clamped (reading with -unit,
// resampling, writing, and every stage in planes of base 256) and one for
// those that wrapped (-sca, -smo, -min in base 255): how many, in which
// stage, at which end, and what keeps them. Nothing when every height fit.
void reportStoreCounts(const StageCounts& counts, std::ostream& diagnostics);

// After a normalization of heights whose lowest was above 0: the switches
// that bring them back, to the 256 levels kept.
void reportRestoringSwitches(float reciprocal, HeightValue lowest,
                             std::ostream& diagnostics);

// True for the formats whose samples are mapped to heights (elevation
// and float files), not taken as they stand.
bool samplesAreMapped(HeightFormat format);

// True when -unit changes how the input's samples become heights: a TIFF
// of signed, 32-bit or float samples, or an SRTM tile.
bool unitTakesEffect(const InputImage& input);

// The heights of an elevation file whose samples were shifted or
// stretched: the written heights as input's mapping carries them.
WrittenHeights heightsOfInput(const InputImage& input);

// For a TIFF output holding nodata that was kept: the value written for
// it (0 or 65535), or a warning that every value is a height (kNoNodata).
void reportNodataValue(int32_t nodata, const std::string& path,
                       std::ostream& diagnostics);

// For elevation files: how many samples were nodata, and how many of them
// fill filled from within reach, a line "quillorn: <path>: ..."; nothing
// when none were. Before it, a TIFF band's scale and offset.
void reportNodata(const InputImage& input, const FillOutcome& fill,
                  int32_t reach, bool floats, const std::string& path,
                  std::ostream& diagnostics);

// For a float TIFF output holding nodata: "quillorn: <path>: the samples
// kept as nodata are written as NaN, its nodata value".
void reportFloatNodata(const std::string& path, std::ostream& diagnostics);

// After a normalization of float heights whose lowest was not 0: what
// brings them back (nothing was lost to levels).
void reportRestoringFloats(float reciprocal, double lowest,
                           std::ostream& diagnostics);

// For heights with units: how the written heights map back to the input
// file's values, a line "quillorn: <path>: heights from its values: ...".
void reportWrittenHeights(const WrittenHeights& written,
                          const std::string& path, std::ostream& diagnostics);

// What a float output holds for each height: the input's values where the
// heights have units, else height x unit (from -unit; 1 when 0).
WrittenValues valuesOfHeights(const WrittenHeights& written, double unit);

// For a float output: a line "quillorn: <path>: each height is written as
// its value, h0 + step x height (height top = ...)".
void reportWrittenValues(const WrittenValues& values, HeightValue top,
                         const std::string& path, std::ostream& diagnostics);

// After a -fit: what to enter in the engine, from the written heights'
// meaning and, where the input says, the samples' spacing on the ground,
// for the output at outputPath.
void reportEngineSettings(const RunFiles& files, const WrittenHeights& written,
                          const RunOptions& options,
                          const std::string& outputPath,
                          std::ostream& diagnostics);

#endif  // QUILLORN_APP_RUN_REPORT_H_
