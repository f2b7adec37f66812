#include "app/run_stages.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/console_progress.h"
#include "image/picture_file.h"
#include "platform/terminal.h"
#include "processing/height_processing.h"
#include "processing/shaded_relief.h"
#include "processing/smoothing.h"

namespace {

// The bar of the stage running, drawn only where someone watches a
// terminal, never on standard output.
struct StageBar {
  ConsoleProgress progress;
  FILE* stream = standardErrorIsTerminal() ? stderr : nullptr;
  int columns = standardErrorColumns();
};

void startBar(StageBar* bar, const std::string& label) {
  startProgress(&bar->progress, label, bar->stream, bar->columns);
}

// One image's header, heights and end, as its format has them.
bool writeImage(RunFiles* files, FileStream* output, const PlaneSet& planes,
                OutputImage* image, const Progress* progress,
                std::string* error) {
  return writeOutputHeader(&files->input, output, files->source, image,
                           error) &&
         writeOutputHeights(output, planes, files->source, image, error,
                            progress) &&
         finishOutputImage(&files->input, output, files->source, image, error);
}

// Where output (tile column, row) lies, from where its pixels came in a
// georeferenced input, and what its heights stand for.
void placeOutput(const RunFiles& files, const WrittenHeights& written,
                 int32_t column, int32_t row, OutputImage* image) {
  const InputImage& source = files.source;
  if (source.format == HeightFormat::kTiff && source.tiff.geo.any()) {
    const double centre = pixelIsPoint(source.tiff.geo) ? 0.0 : 0.5;
    image->geo = placedGeoTags(
        source.tiff.geo, outputToSource(files.geometry, source.width,
                                        source.height, column, row, centre));
  }
  if (written.haveUnits) {
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

// Writes the target heights of a width x height map: to the output, or as
// tiles, each to its own file. Prints the three writing lines once.
bool writeTarget(RunFiles* files, const PlaneSet& planes, int32_t width,
                 int32_t height, const WrittenHeights& written,
                 StageCounts* counts, StageBar* bar, std::ostream& console,
                 std::ostream& diagnostics, std::string* error) {
  const RunGeometry& geometry = files->geometry;
  files->target.width = width;
  files->target.height = height;
  files->target.sameGrid = geometry.keepsGrid();
  if (written.nodataMarked) {
    files->target.nodata =
        chooseNodataHeight(planes, planes.outBlue, width, height);
    reportNodataValue(files->target.nodata, files->output.file.path,
                      diagnostics);
  }
  placeOutput(*files, written, 0, 0, &files->target);
  if (!geometry.tiled) {
    console << "Writing output header..." << std::endl;
    if (!writeOutputHeader(&files->input, &files->output.file, files->source,
                           &files->target, error)) {
      return false;
    }
    console << "Writing output height..." << std::endl;
    startBar(bar, "Writing");
    bool wrote =
        writeOutputHeights(&files->output.file, planes, files->source,
                           &files->target, error, &bar->progress.progress);
    finishProgress(&bar->progress);
    if (!wrote) return false;
    console << "Finishing output..." << std::endl;
    if (!finishOutputImage(&files->input, &files->output.file, files->source,
                           &files->target, error)) {
      return false;
    }
    counts->written = files->target.clamped;
    return writeWorldFile(files, 0, files->target, console, diagnostics, error);
  }
  // Tiles: each written whole in turn, one bar across them all.
  const TilePlan& plan = geometry.tiles;
  console << "Writing output header..." << std::endl;
  console << "Writing output height..." << std::endl;
  startBar(bar, "Writing tiles");
  const int64_t total =
      int64_t{plan.grid.columns} * plan.grid.rows * plan.tileHeight;
  int64_t done = 0;
  struct Across {
    const Progress* bar;
    int64_t before;
    int64_t total;
  } across = {&bar->progress.progress, 0, total};
  Progress tileProgress;
  tileProgress.context = &across;
  tileProgress.update = [](void* context, int64_t rows, int64_t) {
    Across* at = static_cast<Across*>(context);
    reportProgress(at->bar, at->before + rows, at->total);
  };
  size_t index = 0;
  for (int32_t row = 0; row < plan.grid.rows; ++row) {
    for (int32_t column = 0; column < plan.grid.columns; ++column, ++index) {
      OutputFile* output =
          index == 0 ? &files->output : &files->tiles[index - 1];
      if (index > 0 && !openOutput(files->outputPaths[index].c_str(), output,
                                   console, diagnostics)) {
        finishProgress(&bar->progress);
        *error = "";
        return false;
      }
      TilePlanes tile;
      cutTile(planes, plan, column, row, &tile);
      OutputImage image;
      image.format = files->target.format;
      image.bigEndian = files->target.bigEndian;
      image.southFirst = files->target.southFirst;
      image.values = files->target.values;
      image.nodata = files->target.nodata;
      image.width = plan.tileWidth;
      image.height = plan.tileHeight;
      image.sameGrid = false;
      placeOutput(*files, written, column, row, &image);
      across.before = done;
      bool wrote = writeImage(files, &output->file, tile.planes, &image,
                              &tileProgress, error);
      releaseOutput(&image);
      counts->written += image.clamped;
      done += plan.tileHeight;
      // Closed once whole: a thousand tiles need no thousand open files.
      if (!wrote || !closeOutputFile(output)) {
        finishProgress(&bar->progress);
        if (wrote) *error = outputWriteError(output->file);
        files->failed = output;
        return false;
      }
      if (!writeWorldFile(files, index, image, console, diagnostics, error)) {
        finishProgress(&bar->progress);
        return false;
      }
    }
  }
  finishProgress(&bar->progress);
  console << "Finishing output..." << std::endl;
  return true;
}

}  // namespace

bool runStages(RunFiles* files, const RunOptions& options, PlaneSet* planes,
               StageCounts* counts, WrittenHeights* written,
               std::ostream& console, std::ostream& diagnostics,
               std::string* error) {
  int32_t width = files->source.width;
  int32_t height = files->source.height;
  StageBar bar;
  // The header was read and checked before the output was opened.
  console << "Reading input header..." << std::endl;

  console << "Initializing temp arrays..." << std::endl;
  // Only a bitmap's pixels have blue; other formats' planes hold marks.
  if (!allocatePlanes(planes, width, height, error,
                      files->source.format == HeightFormat::kBmp
                          ? BlueUse::kPixels
                          : BlueUse::kMarks)) {
    return false;
  }
  // A bitmap read for a bitmap keeps the encoding's base 255, byte for
  // byte; every other pairing carries 16-bit heights in base 256.
  bool bitmaps = files->source.format == HeightFormat::kBmp &&
                 files->target.format == HeightFormat::kBmp;
  planes->base = bitmaps ? kHeightBase : kWideBase;
  counts->base = planes->base;

  console << "Reading input height..." << std::endl;
  startBar(&bar, "Reading");
  bool read = readInputHeights(&files->input, &files->source, planes, error,
                               &bar.progress.progress);
  finishProgress(&bar.progress);
  // The PNG decoder's rows are not needed past the last one read.
  releaseInput(&files->source);
  if (!read) return false;
  reportUnlikelyHeights(files->source, diagnostics);
  // Nodata is filled from its surroundings before anything moves it; the
  // readers marked it in blue, which elevation data does not carry.
  FillOutcome fill;
  const bool elevation = files->source.format == HeightFormat::kTiff ||
                         files->source.format == HeightFormat::kHgt;
  // Only a TIFF holds a nodata value: the marks of the nodata kept then go
  // through every stage (turned, resampled to the nearest, cut) to it.
  const bool marksNodata =
      elevation && files->target.format == HeightFormat::kTiff;
  if (elevation && files->source.mapping.nodata > 0) {
    startBar(&bar, "Filling");
    fill = fillNodata(planes, &planes->outBlue, width, height,
                      options.fillReach, &bar.progress.progress);
    finishProgress(&bar.progress);
    // The fill leaves marks only on what it kept.
    if (!marksNodata && fill.kept > 0) {
      clearMarks(&planes->outBlue, width, height);
    }
    if (!marksNodata || fill.kept == 0) planes->blueZero = true;
  }
  reportChannelRead(files->source, files->input.path, diagnostics);
  reportNodata(files->source, fill, options.fillReach, files->input.path,
               diagnostics);
  // Every stage that changes heights carries their meaning along.
  *written = heightsOfInput(files->source);
  written->nodataMarked = marksNodata && fill.kept > 0;
  SampleMapping& mapping = written->mapping;
  reportEightBitHeights(files->source, files->target.format, options.scaleGiven,
                        diagnostics);
  counts->reading = files->source.unitClamped;
  // The map takes its shape right after reading: every stage, the output
  // and the picture work on the new grid.
  const RunGeometry& geometry = files->geometry;
  if (geometry.turned &&
      !applyPlaneTurns(geometry.turns, planes, &width, &height, error)) {
    return false;
  }
  if (geometry.resampled) {
    startBar(&bar, "Resampling");
    ResampleOutcome outcome;
    ResampleRequest request = geometry.resample;
    // Stretched heights stand for a range: a kernel's swing past it is
    // squeezed back in, not clamped.
    request.keepRange =
        written->haveUnits && mapping.rule == MappingRule::kStretched;
    bool resampled = resampleHeights(planes, width, height, request, &outcome,
                                     error, &bar.progress.progress);
    finishProgress(&bar.progress);
    if (!resampled) return false;
    counts->resample = outcome.clamped;
    if (outcome.remapScale != 1.0) {
      mapping =
          transformedMapping(mapping, outcome.remapOffset / outcome.remapScale,
                             outcome.remapScale);
    }
    width = geometry.width;
    height = geometry.height;
  }

  console << "Converting..." << std::endl;
  if (options.scaleGiven) {
    ScaleOutcome outcome = scaleHeights(options.scale, planes, width, height);
    counts->scale = outcome.stored;
    mapping =
        transformedMapping(mapping, outcome.normalized ? -outcome.lowest : 0,
                           static_cast<double>(outcome.factor));
    if (outcome.normalized) {
      console << "Converting to 0-255. To scale back to original, use scale "
              << outcome.reciprocal << std::endl;
      reportRestoringSwitches(outcome.reciprocal, outcome.lowest, diagnostics);
    }
  }
  // Without "-sca" the target planes already hold the source as read: they
  // share its memory.

  if (options.smoothGiven) {
    console << "Smooth x" << options.smoothPasses << std::endl;
    std::string label = "Smoothing x" + std::to_string(options.smoothPasses);
    startBar(&bar, label);
    counts->smoothing =
        smoothHeights(options.smoothPasses, &planes->outRed, &planes->outGreen,
                      width, height, planes->base, &bar.progress.progress);
    finishProgress(&bar.progress);
  }

  if (options.minimumGiven) {
    console << "Minimum elevation " << options.minimum << std::endl;
    int64_t shift = 0;
    counts->minimum = applyMinimumElevation(options.minimum, &planes->outRed,
                                            &planes->outGreen, width, height,
                                            planes->base, &shift);
    mapping = transformedMapping(mapping, static_cast<double>(shift), 1.0);
  }

  files->target.values =
      valuesOfHeights(*written, options.unitGiven ? options.unit : 0);
  if (!writeTarget(files, *planes, width, height, *written, counts, &bar,
                   console, diagnostics, error)) {
    return false;
  }
  if (!writeSidecar(files, error)) return false;
  if (!files->viewWanted && !written->haveUnits &&
      !writesValues(files->target.format)) {
    return true;
  }
  // The picture shows the heights as the output stores them.
  HeightRange range = findHeightRange(planes->outRed, planes->outGreen, width,
                                      height, planes->base);
  if (files->target.format == HeightFormat::kBmp && !bitmaps) {
    range.max = std::min(range.max, kLargestStoredHeight);
    range.min = std::min(range.min, range.max);
  }
  written->top = range.max;
  if (!files->viewWanted) return true;
  ReliefStyle style = reliefStyle(range, width, height);
  ReliefRows rows;
  auto shade = [&](int32_t row, int32_t column, int32_t count, uint8_t* rgb) {
    shadeReliefRow(*planes, width, height, style, row, column, count, rgb,
                   &rows);
  };
  return writePicture(
      &files->view.file,
      outputFormatOf(files->view.file.path) == HeightFormat::kPng, width,
      height, shade, error);
}
