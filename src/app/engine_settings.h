// What to enter in each engine, in its own words, so that a fitted map
// stands north up at its true heights: the lines of standard error after a
// -fit, from the engine's profile (processing/engine_sizes.h).
#ifndef QUILLORN_APP_ENGINE_SETTINGS_H_
#define QUILLORN_APP_ENGINE_SETTINGS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "processing/engine_sizes.h"

// The warning, without its prefix, for a capped fit of a width x height
// map: its detail is reduced, and the -tiles that keep it.
std::string engineCapWarning(const EngineFit& fit, int32_t width,
                             int32_t height);

// What the written map measures, for the fields the engine asks for.
struct TerrainMeasures {
  // The heights stand for values in units (elevation data, -unit): height
  // h is heightZero + h x step.
  bool heightsHaveUnits = false;
  double heightZero = 0;
  double step = 1;
  // The ground is georeferenced in metres: spacing between written samples.
  bool groundInMetres = false;
  double spacingX = 0;
  double spacingY = 0;
  bool bigEndian = false;    // -order big
  bool floatOutput = false;  // the output holds each height's value (EXR)
  std::string fileName;      // the output's or the tiles' name pattern
};

// The lines for standard error that say what to enter in the engine, in
// its own field names, each line whole.
std::vector<std::string> engineSettingsLines(const EngineFit& fit,
                                             const TerrainMeasures& measures);

#endif  // QUILLORN_APP_ENGINE_SETTINGS_H_
