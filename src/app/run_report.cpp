#include "app/run_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/diagnostics.h"
#include "app/engine_settings.h"
#include "image/ground_spacing.h"

namespace {

std::string heights(int64_t count) {
  return std::to_string(count) + (count == 1 ? " height" : " heights");
}

}  // namespace

void reportStoreCounts(const StageCounts& counts, std::ostream& diagnostics) {
  // In base 255 only the stages that store v mod 255 and v div 255 wrap:
  // -sca, -smo and -min. Reading with -unit, resampling and writing clamp
  // in every base, so a modder who sees "wrapped" can expect spikes.
  const bool wide = counts.base == kWideBase;
  const std::string top = std::to_string(largestStoredHeight(counts.base));
  struct Group {
    std::vector<std::string> parts;
    std::vector<std::string> remedies;
    int64_t total = 0;
  };
  Group clamped;
  Group wrapped;
  auto add = [&](Group* group, int64_t count, const std::string& where,
                 const std::string& remedy) {
    if (count == 0) return;
    group->total += count;
    group->parts.push_back(std::to_string(count) + " " + where);
    std::vector<std::string>& remedies = group->remedies;
    if (std::find(remedies.begin(), remedies.end(), remedy) == remedies.end()) {
      remedies.push_back(remedy);
    }
  };
  Group* stored = wide ? &clamped : &wrapped;
  add(&clamped, counts.reading.high, "above 65535 after -unit",
      "a larger -unit");
  add(&clamped, counts.resample.high, "above " + top + " after resampling",
      "-filter linear or bspline (which never overshoot)");
  add(&clamped, counts.resample.low, "below 0 after resampling",
      "-filter linear or bspline (which never overshoot)");
  add(stored, counts.scale.high, "above " + top + " after -sca",
      "-sca 0 or a smaller -sca");
  add(stored, counts.scale.low, "below 0 after -sca", "a positive -sca");
  add(stored, counts.smoothing, "above " + top + " after -smo",
      "-sca 0 or a smaller -sca");
  add(stored, counts.minimum.high, "above " + top + " after -min",
      "a smaller -min");
  add(stored, counts.minimum.low, "below 0 after -min", "a -min of 0 or more");
  add(&clamped, counts.written,
      "above 65279 (the most a bitmap holds) when written",
      "-sca 0, a smaller -sca or a 16-bit output (.r16, .pgm, .png, .tif)");
  auto line = [&](const Group& group, const std::string& what) {
    if (group.total == 0) return;
    std::string text = heights(group.total) + what;
    for (size_t index = 0; index < group.parts.size(); ++index) {
      text += (index == 0 ? "" : ", ") + group.parts[index];
    }
    text += "; ";
    const std::vector<std::string>& remedies = group.remedies;
    for (size_t index = 0; index < remedies.size(); ++index) {
      if (index > 0) text += index + 1 == remedies.size() ? " and " : ", ";
      text += remedies[index];
    }
    warn(diagnostics,
         text + (remedies.size() == 1 ? " keeps them" : " keep them"));
  };
  line(clamped, (clamped.total == 1 ? " was" : " were") +
                    std::string(" clamped to what the files hold: "));
  line(wrapped, " wrapped in the bitmap encoding (0 ... 65279): ");
}

void reportRestoringSwitches(float reciprocal, HeightValue lowest,
                             std::ostream& diagnostics) {
  if (lowest <= 0) return;
  char factor[32];
  std::snprintf(factor, sizeof factor, "%.9g", static_cast<double>(reciprocal));
  const std::string low = std::to_string(lowest);
  warn(diagnostics, "the lowest height was " + low +
                        ", which the factor alone cannot restore: -sca " +
                        factor + " -min " + low +
                        " restores the heights, to the 256 levels kept");
}

void reportUnlikelyHeights(const InputImage& input, std::ostream& diagnostics) {
  if (input.colourEntry >= 0) {
    warn(diagnostics, "the input's palette is not a grey ramp (entry " +
                          std::to_string(input.colourEntry) +
                          " is not the grey of its own index): its heights "
                          "are the palette indices, not the colours a viewer "
                          "shows");
  }
  if (input.otherOrderSmoother) {
    const bool big = input.request.bigEndian;
    const std::string read = big ? "big" : "little";
    const std::string other = big ? "little" : "big";
    warn(diagnostics, "the heights look like noise read " + read +
                          "-endian and like terrain read " + other +
                          "-endian: " +
                          (big ? ""
                               : "if they come from a Mac or a tool that "
                                 "writes big-endian raw heights, ") +
                          "add -order " + other);
  }
  if (input.greyPixels) {
    warn(diagnostics,
         "every pixel of the input is grey (red = green = blue): a grey "
         "picture, whose heights read as 256 x its grey; -sca 0.00390625 "
         "reads the grey as it stands, or save it as an 8-bit greyscale "
         "bitmap, a PGM or a PNG");
  }
  if (input.format == HeightFormat::kPng && input.png.translucent > 0) {
    const bool one = input.png.translucent == 1;
    warn(diagnostics, std::to_string(input.png.translucent) +
                          (one ? " pixel" : " pixels") + " of the input PNG " +
                          (one ? "is" : "are") +
                          " not fully opaque: the alpha is dropped and the "
                          "grey read as heights");
  }
}

void reportChannelRead(const InputImage& input, const std::string& path,
                       std::ostream& diagnostics) {
  const ChannelChoice choice = input.request.channel;
  if (choice == ChannelChoice::kGrey) return;
  const std::string name = channelChoiceName(choice);
  std::string what;
  if (input.format == HeightFormat::kPng && input.png.colour) {
    // A palette's colours are 8-bit whatever the index's depth.
    const int depth = input.png.bitDepth == 16 ? 16 : 8;
    what = choice == ChannelChoice::kLuma
               ? "the luma of its red, green and blue (Rec. 709), rounded "
                 "to " +
                     std::to_string(depth) + " bits"
               : "its " + name + " channel";
  } else if (input.format == HeightFormat::kTiff && input.tiff.samples > 1) {
    const SampleType& type = input.tiff.sample;
    what = choice != ChannelChoice::kLuma ? "its " + name + " channel"
           : type.kind == SampleKind::kFloat
               ? "the luma of its red, green and blue (Rec. 709)"
               : "the luma of its red, green and blue (Rec. 709), rounded "
                 "to " +
                     std::to_string(type.bits) + " bits";
  } else if (input.format == HeightFormat::kExr && input.exr.picked) {
    what = input.exr.read;
  }
  if (what.empty()) {
    warn(diagnostics, "-channel is ignored: " + path +
                          " is not a colour PNG, TIFF or OpenEXR; its one "
                          "channel is read");
    return;
  }
  warn(diagnostics, path + ": the heights are " + what + " (-channel " + name +
                        "), not a grey the colours agree on");
}

bool samplesAreMapped(HeightFormat format) { return isElevationFormat(format); }

bool unitTakesEffect(const InputImage& input) {
  return unitChangesSamples(input);
}

WrittenHeights heightsOfInput(const InputImage& input) {
  WrittenHeights written;
  written.haveUnits = samplesAreMapped(input.format) &&
                      input.mapping.rule != MappingRule::kAsStored;
  if (written.haveUnits) written.mapping = input.mapping;
  return written;
}

void reportNodata(const InputImage& input, const FillOutcome& fill,
                  int32_t reach, bool floats, const std::string& path,
                  std::ostream& diagnostics) {
  if (!samplesAreMapped(input.format)) return;
  if (floats) {
    const std::string line = describeNodata(input.mapping, fill.filled, reach,
                                            /*keptAsNodata=*/true);
    if (!line.empty()) {
      diagnostics << "quillorn: " << path << ": " << line << std::endl;
    }
    return;
  }
  if (input.format == HeightFormat::kTiff && input.tiff.values.known) {
    diagnostics << "quillorn: " << path << ": its samples stand for values of "
                << compactNumber(input.tiff.values.offset, 0) << " + "
                << compactNumber(input.tiff.values.scale, 0)
                << " x sample (the band's offset and scale): heights are "
                   "told in those units"
                << std::endl;
  }
  const std::string line = describeNodata(input.mapping, fill.filled, reach);
  if (!line.empty()) {
    diagnostics << "quillorn: " << path << ": " << line << std::endl;
  }
}

void reportRoundedSamples(const InputImage& input, const std::string& path,
                          std::ostream& diagnostics) {
  if (input.samplesRounded == 0) return;
  warn(diagnostics,
       path + ": " + std::to_string(input.samplesRounded) +
           (input.samplesRounded == 1 ? " unsigned sample is"
                                      : " unsigned samples are") +
           " beyond what a 32-bit float holds exactly (2^24) and read as the "
           "nearest float, where neighbouring values may meet");
}

void reportFloatNodata(const std::string& path, std::ostream& diagnostics) {
  diagnostics << "quillorn: " << path
              << ": the samples kept as nodata are written as NaN, its nodata "
                 "value"
              << std::endl;
}

void reportRestoringFloats(float reciprocal, double lowest,
                           std::ostream& diagnostics) {
  if (lowest == 0) return;
  char factor[32];
  std::snprintf(factor, sizeof factor, "%.9g", static_cast<double>(reciprocal));
  warn(diagnostics, "the lowest value was " + compactNumber(lowest, 0) +
                        ", which the factor alone cannot restore: each value "
                        "times " +
                        factor + ", plus " + compactNumber(lowest, 0) +
                        ", restores it");
}

void reportNodataValue(int32_t nodata, const std::string& path,
                       std::ostream& diagnostics) {
  if (nodata != kNoNodata) {
    diagnostics << "quillorn: " << path
                << ": the samples kept as nodata are written as " << nodata
                << ", its nodata value" << std::endl;
    return;
  }
  warn(diagnostics, path +
                        " has a height at every value from 0 to 65535, so it "
                        "gets no nodata value: the samples kept as nodata "
                        "stand at the lowest height; a larger -fill fills "
                        "them");
}

void reportWrittenHeights(const WrittenHeights& written,
                          const std::string& path, std::ostream& diagnostics) {
  // Floats written as floats are their values: no mapping to tell.
  if (!written.haveUnits || written.floats) return;
  const std::string line = describeMapping(written.mapping, written.top);
  if (!line.empty()) {
    diagnostics << "quillorn: " << path << ": " << line << std::endl;
  }
}

WrittenValues valuesOfHeights(const WrittenHeights& written, double unit) {
  WrittenValues values;
  if (written.haveUnits) {
    values.zero = written.mapping.lowest;
    values.step = written.mapping.step;
  } else {
    values.step = unit > 0 ? unit : 1;
  }
  return values;
}

void reportWrittenValues(const WrittenValues& values, HeightValue top,
                         const std::string& path, std::ostream& diagnostics) {
  // Exact to a ten-thousandth of a step, as the input's mapping line is.
  const double within = std::max(std::fabs(values.step), 1e-30) * 1e-4;
  diagnostics << "quillorn: " << path
              << ": each height is written as its value, "
              << compactNumber(values.zero, within) << " + "
              << compactNumber(values.step, within / kLargestWideHeight)
              << " x height (height " << top << " = "
              << compactNumber(values.zero + values.step * top, within) << ")"
              << std::endl;
}

void reportEngineSettings(const RunFiles& files, const WrittenHeights& written,
                          const RunOptions& options,
                          const std::string& outputPath,
                          std::ostream& diagnostics) {
  const RunGeometry& geometry = files.geometry;
  if (!geometry.fitted) return;
  const InputImage& source = files.source;
  TerrainMeasures measures;
  measures.heightsHaveUnits = written.haveUnits;
  measures.heightZero = written.mapping.lowest;
  measures.step = written.mapping.step;
  measures.bigEndian = options.bigEndian;
  measures.floatOutput = writesValues(files.target.format);
  measures.fileName = geometry.tiled
                          ? tileNamePattern(outputPath, geometry.naming)
                          : outputPath;
  GroundSpacing spacing;
  // A mosaic of SRTM tiles: the spacing at its middle tile's latitude.
  const InputMosaic& mosaic = files.mosaic;
  const std::string& tile =
      mosaic.any() ? mosaic.tiles[mosaic.middleTile] : files.input.path;
  const int32_t side = mosaic.any()
                           ? mosaic.layout.rects[mosaic.middleTile].width
                           : source.width;
  const bool ground = source.format == HeightFormat::kTiff
                          ? spacingOfGeoTags(source.tiff.geo, &spacing)
                          : source.format == HeightFormat::kHgt &&
                                spacingOfSrtmTile(tile, side, &spacing);
  if (ground) {
    // The turns swap the axes; the resampling spreads the same ground over
    // more or fewer samples, corners on corners.
    const bool swap = composeTurns(geometry.turns).swapAxes;
    const int32_t kept =
        geometry.windowed ? geometry.window.width : source.width;
    const int32_t keptRows =
        geometry.windowed ? geometry.window.height : source.height;
    const int32_t width = swap ? keptRows : kept;
    const int32_t height = swap ? kept : keptRows;
    const double across = swap ? spacing.y : spacing.x;
    const double along = swap ? spacing.x : spacing.y;
    measures.groundInMetres = true;
    measures.spacingX =
        across * std::max(width - 1, 1) / std::max(geometry.width - 1, 1);
    measures.spacingY =
        along * std::max(height - 1, 1) / std::max(geometry.height - 1, 1);
  }
  for (const std::string& line : engineSettingsLines(geometry.fit, measures)) {
    diagnostics << line << std::endl;
  }
}

bool heightsAreEightBit(const InputImage& input) {
  switch (input.format) {
    case HeightFormat::kBmp:
      return input.bitmap.bitsPerPixel == 8;
    case HeightFormat::kPgm:
      return input.maxval <= 255;
    case HeightFormat::kPng:
      return input.png.bitDepth <= 8;
    case HeightFormat::kTiff:
      return input.tiff.sample.kind == SampleKind::kUnsigned &&
             input.tiff.sample.bits == 8;
    default:
      return false;
  }
}

void reportEightBitHeights(const InputImage& input, HeightFormat output,
                           bool scaleGiven, std::ostream& diagnostics) {
  if (scaleGiven || isBitmapFormat(output) || !heightsAreEightBit(input)) {
    return;
  }
  warn(diagnostics,
       "the input's heights are 8-bit (0 ... 255), a 256th of what the 16-bit "
       "output holds; -sca 257 spreads them over 0 ... 65535 but keeps their "
       "stair steps, which -smo (or a 16-bit source) smooths");
}
