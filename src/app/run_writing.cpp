#include "app/run_writing.h"

#include <algorithm>
#include <string>

#include "app/input_report.h"
#include "app/stage_bar.h"
#include "image/input_reading.h"
#include "image/picture_file.h"
#include "processing/float_processing.h"
#include "processing/shaded_relief.h"

namespace {

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
    if (state->copiesPixels) {
      return copyOutputPixels(&files->input, output, &files->source,
                              state->error, progress);
    }
    return from.floats != nullptr
               ? writeOutputFloats(output, *from.floats, image, state->error,
                                   progress)
               : writeOutputHeights(output, *from.planes, files->source, image,
                                    state->error, progress);
  });
  if (!wrote) return false;
  // Rows copied as they are were first looked at here.
  if (state->copiesPixels) {
    reportUnlikelyHeights(files->source, *state->diagnostics);
  }
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
