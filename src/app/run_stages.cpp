#include "app/run_stages.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/console_progress.h"
#include "image/picture_file.h"
#include "platform/terminal.h"
#include "processing/float_fill.h"
#include "processing/float_processing.h"
#include "processing/float_resampling.h"
#include "processing/float_smoothing.h"
#include "processing/float_turns.h"
#include "processing/height_processing.h"
#include "processing/map_window.h"
#include "processing/shaded_relief.h"
#include "processing/smoothing.h"

// The bar of the stage running, drawn only where someone watches a
// terminal, never on standard output.
struct StageBar {
  ConsoleProgress progress;
  FILE* stream = standardErrorIsTerminal() ? stderr : nullptr;
  int columns = standardErrorColumns();
};

namespace {

void startBar(StageBar* bar, const std::string& label) {
  startProgress(&bar->progress, label, bar->stream, bar->columns);
}

// Runs one step of a stage under the bar labelled label.
template <typename Step>
auto underBar(RunState* state, const std::string& label, Step step) {
  startBar(state->bar, label);
  auto result = step(&state->bar->progress.progress);
  finishProgress(&state->bar->progress);
  return result;
}

// The heights of one output or tile, from the planes or the floats.
struct HeightSource {
  const PlaneSet* planes = nullptr;
  const FloatPlane* floats = nullptr;
};

// One image's header, heights and end, as its format has them.
bool writeImage(RunFiles* files, FileStream* output, const HeightSource& from,
                OutputImage* image, const Progress* progress,
                std::string* error) {
  return writeOutputHeader(&files->input, output, files->source, image,
                           error) &&
         (from.floats != nullptr
              ? writeOutputFloats(output, *from.floats, image, error, progress)
              : writeOutputHeights(output, *from.planes, files->source, image,
                                   error, progress)) &&
         finishOutputImage(&files->input, output, files->source, image, error);
}

// Where output (tile column, row) lies, from where its pixels came in a
// georeferenced input, and what its heights stand for.
void placeOutput(const RunFiles& files, const WrittenHeights& written,
                 int32_t column, int32_t row, OutputImage* image) {
  const InputImage& source = files.source;
  if (files.geo.any()) {
    const double centre = pixelIsPoint(files.geo) ? 0.0 : 0.5;
    Affine toSource = outputToSource(files.geometry, source.width,
                                     source.height, column, row, centre);
    if (image->southFirst) {
      // Written bottom row first: the file's row r is the map's h - 1 - r,
      // so its world file places the rows as they lie in the file.
      Affine flip;
      flip.e = -1;
      flip.f = image->height - 1 + 2 * centre;
      toSource = composeAffine(toSource, flip);
    }
    image->geo = placedGeoTags(files.geo, toSource);
  }
  if (written.haveUnits && !written.floats) {
    image->bandValues.known = true;
    image->bandValues.offset = written.mapping.lowest;
    image->bandValues.scale = written.mapping.step;
  }
}

// The world file of output index, placed as image says; closed once
// written. False with error set (and the file named) on a failure.
bool writeWorldFile(RunFiles* files, size_t index, const OutputImage& image,
                    std::ostream& console, std::ostream& diagnostics,
                    std::string* error) {
  if (!files->worldWanted) return true;
  OutputFile* world = &files->worlds[index];
  if (!openOutput(worldFilePath(files->outputPaths[index]).c_str(), world,
                  console, diagnostics)) {
    *error = "";
    return false;
  }
  const std::string text = worldFileText(image.geo);
  if (!writeExact(&world->file, reinterpret_cast<const uint8_t*>(text.data()),
                  text.size()) ||
      !closeOutputFile(world)) {
    *error = outputWriteError(world->file);
    files->failed = world;
    return false;
  }
  return true;
}

// The whole map as one output: its three writing lines and its world file.
bool writeWhole(RunState* state, const HeightSource& from) {
  RunFiles* files = state->files;
  OutputImage* image = &files->target;
  std::ostream& console = *state->console;
  console << "Writing output header..." << std::endl;
  if (!writeOutputHeader(&files->input, &files->output.file, files->source,
                         image, state->error)) {
    return false;
  }
  console << "Writing output height..." << std::endl;
  FileStream* output = &files->output.file;
  const bool wrote = underBar(state, "Writing", [&](const Progress* progress) {
    return from.floats != nullptr
               ? writeOutputFloats(output, *from.floats, image, state->error,
                                   progress)
               : writeOutputHeights(output, *from.planes, files->source, image,
                                    state->error, progress);
  });
  if (!wrote) return false;
  console << "Finishing output..." << std::endl;
  if (!finishOutputImage(&files->input, output, files->source, image,
                         state->error)) {
    return false;
  }
  state->counts->written = image->clamped;
  return writeWorldFile(files, 0, *image, console, *state->diagnostics,
                        state->error);
}

// One tile of a tiled run, written whole and closed.
bool writeTile(RunState* state, const HeightSource& whole, int32_t column,
               int32_t row, size_t index, const Progress* progress) {
  RunFiles* files = state->files;
  const TilePlan& plan = files->geometry.tiles;
  OutputFile* output = index == 0 ? &files->output : &files->tiles[index - 1];
  if (index > 0 && !openOutput(files->outputPaths[index].c_str(), output,
                               *state->console, *state->diagnostics)) {
    *state->error = "";
    return false;
  }
  TilePlanes tilePlanes;
  FloatPlane tileFloats;
  HeightSource from;
  if (whole.floats != nullptr) {
    tileFloats = floatPlaneView(*whole.floats, column * (plan.tileWidth - 1),
                                row * (plan.tileHeight - 1), plan.tileWidth,
                                plan.tileHeight);
    from.floats = &tileFloats;
  } else {
    cutTile(*whole.planes, plan, column, row, &tilePlanes);
    from.planes = &tilePlanes.planes;
  }
  OutputImage image;
  image.format = files->target.format;
  image.bigEndian = files->target.bigEndian;
  image.southFirst = files->target.southFirst;
  image.floatSamples = files->target.floatSamples;
  image.values = files->target.values;
  image.nodata = files->target.nodata;
  image.width = plan.tileWidth;
  image.height = plan.tileHeight;
  image.sameGrid = false;
  placeOutput(*files, *state->written, column, row, &image);
  bool wrote =
      writeImage(files, &output->file, from, &image, progress, state->error);
  releaseOutput(&image);
  state->counts->written += image.clamped;
  // Closed once whole: a thousand tiles need no thousand open files.
  if (!wrote || !closeOutputFile(output)) {
    if (wrote) *state->error = outputWriteError(output->file);
    files->failed = output;
    return false;
  }
  return writeWorldFile(files, index, image, *state->console,
                        *state->diagnostics, state->error);
}

// Every tile in turn, one bar across them all.
bool writeTiles(RunState* state, const HeightSource& whole) {
  const TilePlan& plan = state->files->geometry.tiles;
  *state->console << "Writing output header..." << std::endl;
  *state->console << "Writing output height..." << std::endl;
  struct Across {
    const Progress* bar;
    int64_t before;
    int64_t total;
  };
  const bool wrote =
      underBar(state, "Writing tiles", [&](const Progress* progress) {
        Across across = {
            progress, 0,
            int64_t{plan.grid.columns} * plan.grid.rows * plan.tileHeight};
        Progress tileProgress;
        tileProgress.context = &across;
        tileProgress.update = [](void* context, int64_t rows, int64_t) {
          Across* at = static_cast<Across*>(context);
          reportProgress(at->bar, at->before + rows, at->total);
        };
        size_t index = 0;
        for (int32_t row = 0; row < plan.grid.rows; ++row) {
          for (int32_t column = 0; column < plan.grid.columns; ++column) {
            if (!writeTile(state, whole, column, row, index++, &tileProgress)) {
              return false;
            }
            across.before += plan.tileHeight;
          }
        }
        return true;
      });
  if (!wrote) return false;
  *state->console << "Finishing output..." << std::endl;
  return true;
}

// Before a stage computes with float values: the infinities become the
// NaN that stages take for nodata (a copy keeps them as read).
void computeWithFloats(RunState* state) {
  if (!state->floatHeights || state->infinitiesMarked) return;
  if (state->files->source.mapping.nodata > 0) {
    markInfinitiesAsNodata(&state->floats);
  }
  state->infinitiesMarked = true;
}

// Float heights for an output of 16-bit heights (or a picture): mapped as a
// float file's samples are when read for one, the floats then let go.
bool quantizeFloats(RunState* state) {
  if (!state->floatHeights) return true;
  SampleMapping mapping;
  StoreCount clamped;
  const InputImage& source = state->files->source;
  if (!quantizeFloatPlane(&state->floats, floatSampleType(source),
                          source.request.mapping, state->marksNodata,
                          state->planes, &mapping, &clamped, state->error)) {
    return false;
  }
  state->floatHeights = false;
  WrittenHeights* written = state->written;
  written->haveUnits = true;
  written->floats = false;
  written->mapping = mapping;
  written->nodataMarked = state->marksNodata && !state->planes->blueZero;
  state->counts->reading = clamped;
  return true;
}

// Float heights written as floats: they stand for themselves, so the
// engines' lines take their range for the lowest and the highest height.
void describeFloatHeights(RunState* state) {
  const FloatRange range = findFloatRange(state->floats);
  WrittenHeights* written = state->written;
  written->haveUnits = true;
  written->floats = true;
  written->mapping.lowest = range.min;
  written->mapping.step = (range.max - range.min) / kLargestWideHeight;
  written->top = kLargestWideHeight;
  written->nodataMarked = range.valid < int64_t{state->width} * state->height;
}

// The nodata value of a TIFF output holding the nodata kept, and its line.
void chooseOutputNodata(RunState* state) {
  RunFiles* files = state->files;
  if (!state->written->nodataMarked ||
      !holdsNodataValue(files->target.format)) {
    return;
  }
  if (files->target.floatSamples) {
    // Any value but kNoNodata: NaN marks nodata among floats.
    files->target.nodata = 0;
    reportFloatNodata(files->output.file.path, *state->diagnostics);
    return;
  }
  files->target.nodata = chooseNodataHeight(
      *state->planes, state->planes->outBlue, state->width, state->height);
  reportNodataValue(files->target.nodata, files->output.file.path,
                    *state->diagnostics);
}

}  // namespace

namespace {

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
  if (!readInputFloats(&files->input, &files->source, &state->floats,
                       state->error, progress)) {
    return false;
  }
  if (files->source.floatsRounded == 0) return true;
  releaseFloatPlane(&state->floats);
  state->floatHeights = false;
  return false;
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

bool writeStage(RunState* state) {
  RunFiles* files = state->files;
  const RunOptions& options = *state->options;
  files->target.width = state->width;
  files->target.height = state->height;
  files->target.sameGrid = files->geometry.keepsGrid();
  if (state->floatHeights && !holdsFloats(files->target)) {
    if (!quantizeFloats(state)) return false;
  }
  HeightSource from;
  if (state->floatHeights) {
    describeFloatHeights(state);
    from.floats = &state->floats;
  } else {
    from.planes = state->planes;
    files->target.values =
        valuesOfHeights(*state->written, options.unitGiven ? options.unit : 0);
  }
  chooseOutputNodata(state);
  placeOutput(*files, *state->written, 0, 0, &files->target);
  const bool wrote =
      files->geometry.tiled ? writeTiles(state, from) : writeWhole(state, from);
  return wrote && writeSidecar(files, state->error);
}

bool pictureStage(RunState* state) {
  RunFiles* files = state->files;
  WrittenHeights* written = state->written;
  if (state->floatHeights) {
    // Written as floats; the picture is drawn from heights made of them.
    if (!files->viewWanted) return true;
    const WrittenHeights asWritten = *written;
    if (!quantizeFloats(state)) return false;
    *written = asWritten;
  } else if (!files->viewWanted && !written->haveUnits &&
             !holdsFloats(files->target)) {
    return true;
  }
  PlaneSet* planes = state->planes;
  // The picture shows the heights as the output stores them.
  HeightRange range =
      findHeightRange(planes->outRed, planes->outGreen, state->width,
                      state->height, planes->base);
  if (isBitmapFormat(files->target.format) && !state->bitmaps) {
    range.max = std::min(range.max, kLargestStoredHeight);
    range.min = std::min(range.min, range.max);
  }
  if (!written->floats) written->top = range.max;
  if (!files->viewWanted) return true;
  ReliefStyle style = reliefStyle(range, state->width, state->height);
  ReliefRows rows;
  const int32_t width = state->width;
  const int32_t height = state->height;
  auto shade = [&](int32_t row, int32_t column, int32_t count, uint8_t* rgb) {
    shadeReliefRow(*planes, width, height, style, row, column, count, rgb,
                   &rows);
  };
  return writePicture(&files->view.file,
                      !isBitmapFormat(pictureFormatOf(files->view.file.path)),
                      width, height, shade, state->error);
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
