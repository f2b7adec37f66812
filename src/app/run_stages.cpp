#include "app/run_stages.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/input_report.h"
#include "app/stage_bar.h"
#include "image/input_reading.h"
#include "processing/float_fill.h"
#include "processing/float_processing.h"
#include "processing/float_resampling.h"
#include "processing/float_smoothing.h"
#include "processing/float_turns.h"
#include "processing/height_processing.h"
#include "processing/map_window.h"
#include "processing/smoothing.h"

namespace {

// Before a stage computes with float values: the infinities become the
// NaN that stages take for nodata (a copy keeps them as read).
void computeWithFloats(RunState* state) {
  if (!state->floatHeights || state->infinitiesMarked) return;
  if (state->files->source.mapping.nodata > 0) {
    markInfinitiesAsNodata(&state->floats);
  }
  state->infinitiesMarked = true;
}

// The byte planes of the input's size, for its heights as 16-bit steps.
bool allocateInputPlanes(RunState* state) {
  // Only a bitmap's pixels have blue; other formats' planes hold marks.
  if (!allocatePlanes(state->planes, state->width, state->height, state->error,
                      isBitmapFormat(state->files->source.format)
                          ? BlueUse::kPixels
                          : BlueUse::kMarks)) {
    return false;
  }
  state->planes->base = state->bitmaps ? kHeightBase : kWideBase;
  return true;
}

// The input's heights as floats; false with floatHeights cleared (and no
// error) when a float cannot hold its samples apart, for the byte planes
// to read them instead.
bool readFloats(RunState* state, const Progress* progress) {
  RunFiles* files = state->files;
  // A mosaic's tiles are joined as floats, or refused before any work.
  if (files->mosaic.any()) {
    return readMosaicFloats(files->mosaic, &files->source, &state->floats,
                            state->error, *state->diagnostics, progress);
  }
  if (!readInputFloats(&files->input, &files->source, &state->floats,
                       state->error, progress)) {
    return false;
  }
  if (files->source.floatsRounded == 0) return true;
  releaseFloatPlane(&state->floats);
  state->floatHeights = false;
  return false;
}

// A bitmap written as a bitmap, whole and on its grid, with no stage that
// changes a height and no picture of them: its rows go from file to file
// when the output is written, and no planes are made.
bool copiesPixels(const RunFiles& files, const RunOptions& options) {
  return copiesInputPixels(files.source, files.target.format) &&
         !files.mosaic.any() && files.geometry.keepsGrid() &&
         !files.viewWanted && !options.scaleGiven && !options.smoothGiven &&
         !options.minimumGiven;
}

}  // namespace

bool readStage(RunState* state) {
  RunFiles* files = state->files;
  std::ostream& console = *state->console;
  // The header was read and checked before the output was opened.
  console << "Reading input header..." << std::endl;
  console << "Initializing temp arrays..." << std::endl;
  state->floatHeights = readsAsFloats(files->source);
  state->counts->base = state->bitmaps ? kHeightBase : kWideBase;
  state->copiesPixels = copiesPixels(*files, *state->options);
  if (state->copiesPixels) {
    console << "Reading input height..." << std::endl;
    return true;
  }
  if (state->floatHeights ? !allocateFloatPlane(&state->floats, state->width,
                                                state->height, state->error)
                          : !allocateInputPlanes(state)) {
    return false;
  }
  console << "Reading input height..." << std::endl;
  const bool read = underBar(state, "Reading", [&](const Progress* progress) {
    if (state->floatHeights) {
      if (readFloats(state, progress)) return true;
      if (state->floatHeights) return false;
      // Integers beyond a float's 24 bits keep their exact steps this way.
      if (!allocateInputPlanes(state)) return false;
    }
    if (files->mosaic.any()) {
      return readMosaicHeights(files->mosaic, &files->source, state->planes,
                               state->error, *state->diagnostics, progress);
    }
    return readInputHeights(&files->input, &files->source, state->planes,
                            state->error, progress);
  });
  // The decoders' rows are not needed past the last one read.
  releaseInput(&files->source);
  if (!read) return false;
  reportUnlikelyHeights(files->source, *state->diagnostics);
  reportRoundedSamples(files->source, files->input.path, *state->diagnostics);
  return true;
}

bool fillStage(RunState* state) {
  RunFiles* files = state->files;
  const RunOptions& options = *state->options;
  const InputImage& source = files->source;
  // Nodata is filled from its surroundings before anything moves it.
  FillOutcome fill;
  const bool elevation = holdsNodataValue(source.format);
  // Only a TIFF output holds a nodata value: the marks of the nodata kept
  // then go through every stage (turned, resampled to the nearest, cut) to
  // it.
  state->marksNodata = elevation && holdsNodataValue(files->target.format);
  if (elevation && source.mapping.nodata > 0) {
    fill = underBar(state, "Filling", [&](const Progress* progress) {
      return state->floatHeights
                 ? fillFloatNodata(&state->floats, options.fillReach, progress)
                 : fillNodata(state->planes, &state->planes->outBlue,
                              state->width, state->height, options.fillReach,
                              progress);
    });
    // A fill that could not start would leave the holes unsaid.
    if (!fill.complete) {
      *state->error = "Not enough memory for the nodata fill's working rows";
      return false;
    }
    PlaneSet* planes = state->planes;
    // The fill leaves marks only on what it kept.
    if (!state->floatHeights) {
      if (!state->marksNodata && fill.kept > 0) {
        clearMarks(&planes->outBlue, state->width, state->height);
      }
      if (!state->marksNodata || fill.kept == 0) planes->blueZero = true;
    }
  }
  reportChannelRead(source, files->input.path, *state->diagnostics);
  // Floats written as floats keep their nodata; made heights, it takes the
  // lowest, as the byte planes' does.
  reportNodata(source, fill, options.fillReach,
               state->floatHeights && holdsFloats(files->target),
               files->input.path, *state->diagnostics);
  // Every stage that changes heights carries their meaning along.
  *state->written = heightsOfInput(source);
  state->written->nodataMarked = state->marksNodata && fill.kept > 0;
  reportEightBitHeights(source, files->target.format, options.scaleGiven,
                        *state->diagnostics);
  state->counts->reading = source.unitClamped;
  return true;
}

bool windowStage(RunState* state) {
  const RunGeometry& geometry = state->files->geometry;
  if (!geometry.windowed) return true;
  if (state->floatHeights) {
    cutFloatsToWindow(&state->floats, geometry.window);
  } else {
    cutPlanesToWindow(state->planes, geometry.window);
  }
  state->width = geometry.window.width;
  state->height = geometry.window.height;
  return true;
}

bool turnStage(RunState* state) {
  const RunGeometry& geometry = state->files->geometry;
  if (!geometry.turned) return true;
  if (state->floatHeights) {
    if (!applyFloatTurns(geometry.turns, &state->floats, state->error)) {
      return false;
    }
    state->width = state->floats.width;
    state->height = state->floats.height;
    return true;
  }
  return applyPlaneTurns(geometry.turns, state->planes, &state->width,
                         &state->height, state->error);
}

bool resampleStage(RunState* state) {
  const RunGeometry& geometry = state->files->geometry;
  if (!geometry.resampled) return true;
  computeWithFloats(state);
  WrittenHeights* written = state->written;
  SampleMapping& mapping = written->mapping;
  ResampleOutcome outcome;
  ResampleRequest request = geometry.resample;
  // Stretched heights stand for a range: a kernel's swing past it is
  // squeezed back in, not clamped.
  request.keepRange =
      written->haveUnits && mapping.rule == MappingRule::kStretched;
  const bool resampled =
      underBar(state, "Resampling", [&](const Progress* progress) {
        return state->floatHeights
                   ? resampleFloatHeights(&state->floats, request, &outcome,
                                          state->error, progress)
                   : resampleHeights(state->planes, state->width, state->height,
                                     request, &outcome, state->error, progress);
      });
  if (!resampled) return false;
  state->counts->resample = outcome.clamped;
  if (outcome.remapScale != 1.0) {
    mapping = transformedMapping(
        mapping, outcome.remapOffset / outcome.remapScale, outcome.remapScale);
  }
  state->width = geometry.width;
  state->height = geometry.height;
  return true;
}

bool scaleStage(RunState* state) {
  std::ostream& console = *state->console;
  console << "Converting..." << std::endl;
  const RunOptions& options = *state->options;
  // Without "-sca" the target planes already hold the source as read: they
  // share its memory.
  if (!options.scaleGiven) return true;
  computeWithFloats(state);
  if (state->floatHeights) {
    if (options.scale != 0.0f) {
      scaleFloatHeights(options.scale, &state->floats);
      return true;
    }
    const FloatNormalization outcome = normalizeFloatHeights(&state->floats);
    console << "Converting to 0-255. To scale back to original, use scale "
            << outcome.reciprocal << std::endl;
    reportRestoringFloats(outcome.reciprocal, outcome.lowest,
                          *state->diagnostics);
    return true;
  }
  ScaleOutcome outcome =
      scaleHeights(options.scale, state->planes, state->width, state->height);
  state->counts->scale = outcome.stored;
  SampleMapping& mapping = state->written->mapping;
  mapping =
      transformedMapping(mapping, outcome.normalized ? -outcome.lowest : 0,
                         static_cast<double>(outcome.factor));
  if (outcome.normalized) {
    console << "Converting to 0-255. To scale back to original, use scale "
            << outcome.reciprocal << std::endl;
    reportRestoringSwitches(outcome.reciprocal, outcome.lowest,
                            *state->diagnostics);
  }
  return true;
}

bool smoothStage(RunState* state) {
  const RunOptions& options = *state->options;
  if (!options.smoothGiven) return true;
  computeWithFloats(state);
  *state->console << "Smooth x" << options.smoothPasses << std::endl;
  const std::string label =
      "Smoothing x" + std::to_string(options.smoothPasses);
  PlaneSet* planes = state->planes;
  underBar(state, label, [&](const Progress* progress) {
    if (state->floatHeights) {
      smoothFloatHeights(options.smoothPasses, &state->floats, progress);
      return true;
    }
    state->counts->smoothing =
        smoothHeights(options.smoothPasses, &planes->outRed, &planes->outGreen,
                      state->width, state->height, planes->base, progress);
    return true;
  });
  return true;
}

bool minimumStage(RunState* state) {
  const RunOptions& options = *state->options;
  if (!options.minimumGiven) return true;
  *state->console << "Minimum elevation " << options.minimum << std::endl;
  computeWithFloats(state);
  if (state->floatHeights) {
    shiftFloatHeights(options.minimum, &state->floats);
    return true;
  }
  int64_t shift = 0;
  PlaneSet* planes = state->planes;
  state->counts->minimum =
      applyMinimumElevation(options.minimum, &planes->outRed, &planes->outGreen,
                            state->width, state->height, planes->base, &shift);
  state->written->mapping = transformedMapping(state->written->mapping,
                                               static_cast<double>(shift), 1.0);
  return true;
}

const std::vector<RunStage>& runStageTable() {
  static const std::vector<RunStage> kStages = {
      {"read", "the input's heights, as bytes or floats", readStage},
      {"fill", "nodata filled from the heights around", fillStage},
      {"window", "-crop or -bounds: the part of the map kept", windowStage},
      {"turn", "-flip and -rotate, in their order", turnStage},
      {"resample", "-size or -fit's size, corners on corners", resampleStage},
      {"scale", "-sca: a factor, or 0 ... 255", scaleStage},
      {"smooth", "-smo: passes of a 3 x 3 mean", smoothStage},
      {"minimum", "-min: the lowest height shifted to it", minimumStage},
      {"write", "the output, or its tiles, and their side files", writeStage},
      {"picture", "the relief picture of -view", pictureStage},
  };
  return kStages;
}

bool runStages(RunFiles* files, const RunOptions& options, PlaneSet* planes,
               StageCounts* counts, WrittenHeights* written,
               std::ostream& console, std::ostream& diagnostics,
               std::string* error) {
  StageBar bar;
  RunState state;
  state.files = files;
  state.options = &options;
  state.planes = planes;
  state.counts = counts;
  state.written = written;
  state.bar = &bar;
  state.console = &console;
  state.diagnostics = &diagnostics;
  state.error = error;
  state.width = files->source.width;
  state.height = files->source.height;
  // A bitmap read for a bitmap keeps the encoding's base 255, byte for
  // byte; every other pairing carries 16-bit heights in base 256.
  state.bitmaps = isBitmapFormat(files->source.format) &&
                  isBitmapFormat(files->target.format);
  bool done = true;
  for (const RunStage& stage : runStageTable()) {
    if (!stage.run(&state)) {
      done = false;
      break;
    }
  }
  releaseFloatPlane(&state.floats);
  return done;
}
