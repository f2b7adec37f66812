#include "processing/resampling_bands.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

template <HeightValue kBase>
void decodeRow(const uint8_t* red, const uint8_t* green, int32_t width,
               float* heights) {
  for (int32_t column = 0; column < width; ++column) {
    heights[column] =
        static_cast<float>(decodeHeightIn<kBase>(red[column], green[column]));
  }
}

void surveyRow(const float* heights, int32_t width, ComputedRange* range) {
  for (int32_t column = 0; column < width; ++column) {
    const float value = heights[column];
    if (!range->any || value < range->lowest) range->lowest = value;
    if (!range->any || value > range->highest) range->highest = value;
    range->any = true;
  }
}

// Rounds scale x height + offset (halves up), clamps to what the base
// stores and counts the clamps.
template <HeightValue kBase>
void encodeRow(const float* heights, int32_t width, float scale, float offset,
               uint8_t* red, uint8_t* green, StoreCount* clamped) {
  constexpr float kTop = static_cast<float>(largestStoredHeight(kBase));
  int64_t low = 0;
  int64_t high = 0;
  for (int32_t column = 0; column < width; ++column) {
    float value = heights[column] * scale + offset + 0.5f;
    low += value < 0.0f;
    high += value >= kTop + 1.0f;
    // Written so that anything not in range, NaN too, ends at an end.
    float kept = value >= 0.0f ? (value < kTop ? value : kTop) : 0.0f;
    encodeSmallHeightIn<kBase>(static_cast<uint32_t>(kept), &red[column],
                               &green[column]);
  }
  clamped->low += low;
  clamped->high += high;
}

// True when every blue byte of the map is the same.
bool uniformBlue(const BytePlane& blue, int32_t width, int32_t height) {
  const uint8_t first = blue[0][0];
  for (int32_t row = 0; row < height; ++row) {
    const uint8_t* bytes = blue[row];
    int32_t differing = 0;
    for (int32_t column = 0; column < width; ++column) {
      differing += bytes[column] != first;
    }
    if (differing != 0) return false;
  }
  return true;
}

// Source row (any, the odd extension past the ends) of a map from width
// columns, with pad columns of extension on either side, into row (which
// points at column 0); scratch holds a row of the same size.
template <HeightValue kBase>
void extendedSourceRow(const PlaneSet& source, int32_t height, int32_t width,
                       int32_t pad, int32_t sourceRow, float* row,
                       std::vector<float>* scratch,
                       std::vector<ExtensionTerm>* rowTerms,
                       std::vector<ExtensionTerm>* columnTerms) {
  extensionTerms(sourceRow, height, rowTerms);
  const size_t padded = static_cast<size_t>(width) + 2 * size_t(pad);
  scratch->resize(padded);
  float* real = scratch->data() + pad;
  for (size_t index = 0; index < rowTerms->size(); ++index) {
    const ExtensionTerm term = (*rowTerms)[index];
    float* into = rowTerms->size() == 1 ? row : real;
    decodeRow<kBase>(source.outRed[term.index], source.outGreen[term.index],
                     width, into);
    extendRow(into, width, pad, columnTerms);
    if (rowTerms->size() == 1) return;
    for (int32_t column = -pad; column < width + pad; ++column) {
      const float part = term.coefficient * real[column];
      row[column] = index == 0 ? part : row[column] + part;
    }
  }
}

template <HeightValue kBase>
bool resampleBandsIn(const PlaneSet& source, const Axis& across,
                     const Axis& down, int64_t bandBytes, ResampleEngine engine,
                     const BandTarget& target, WorkingMemory* memory,
                     std::string* error, const Progress* progress) {
  const int32_t band = resampleBandRows(across, down, bandBytes);
  // The deepest slab is a band's in the middle of the map.
  int32_t slabRows = 0;
  for (int32_t begin = 0; begin < down.to; begin += band) {
    int32_t first, last;
    sourceSpan(down, begin, std::min(down.to, begin + band), &first, &last);
    slabRows = std::max(slabRows, last - first);
  }
  const int32_t pad = across.reach;
  const int32_t stride = across.from + 2 * pad;
  FloatBuffer slab(memory);
  FloatBuffer results(memory);
  if (!slab.allocate(int64_t{slabRows} * stride) ||
      !results.allocate(int64_t{band} * across.to)) {
    *error = "Not enough memory for the resampling's working rows";
    return false;
  }
  std::vector<float> scratch;
  std::vector<ExtensionTerm> rowTerms, columnTerms;
  BandResampler resampler(across, down, engine, memory);
  for (int32_t begin = 0; begin < down.to; begin += band) {
    const int32_t end = std::min(down.to, begin + band);
    int32_t first, last;
    sourceSpan(down, begin, end, &first, &last);
    for (int32_t row = first; row < last; ++row) {
      extendedSourceRow<kBase>(source, down.from, across.from, pad, row,
                               slab.data + int64_t{row - first} * stride + pad,
                               &scratch, &rowTerms, &columnTerms);
    }
    if (!resampler.run(slab.data + pad, stride, first, last, begin, end,
                       results.data)) {
      *error = "Not enough memory for the resampling library's buffers";
      return false;
    }
    for (int32_t row = begin; row < end; ++row) {
      const float* heights = results.data + int64_t{row - begin} * across.to;
      if (target.result == nullptr) {
        surveyRow(heights, across.to, target.range);
        continue;
      }
      encodeRow<kBase>(heights, across.to, target.scale, target.offset,
                       target.result->outRed[row], target.result->outGreen[row],
                       target.clamped);
    }
    reportProgress(progress, end, down.to);
  }
  return true;
}

}  // namespace

int32_t resampleBandRows(const Axis& across, const Axis& down,
                         int64_t bandBytes) {
  const double floats =
      static_cast<double>(bandBytes) / static_cast<double>(sizeof(float));
  const double fixed =
      static_cast<double>(across.from) * (2.0 * down.reach + 2.0);
  const double perRow = across.from * std::max(down.step, 1.0) + across.to;
  double rows = std::floor((floats - fixed) / perRow);
  return static_cast<int32_t>(std::clamp(
      rows, 1.0, static_cast<double>(std::min(down.to, kRowsPerCall))));
}

bool resampleInBands(const PlaneSet& source, const Axis& across,
                     const Axis& down, int64_t bandBytes, ResampleEngine engine,
                     const BandTarget& target, WorkingMemory* memory,
                     std::string* error, const Progress* progress) {
  return source.base == kWideBase
             ? resampleBandsIn<kWideBase>(source, across, down, bandBytes,
                                          engine, target, memory, error,
                                          progress)
             : resampleBandsIn<kHeightBase>(source, across, down, bandBytes,
                                            engine, target, memory, error,
                                            progress);
}

namespace {

// Moves every one of a map's first rows' red and green pointers on by
// columns (back with -columns). A column of the map is then a map one column
// wide on the map's own row tables: tables of its own would take 16 bytes a
// row, which on a tall map (1 x 4,000,000) is more than the memory bound
// leaves.
void shiftRows(const PlaneSet& planes, int32_t rows, int32_t columns) {
  for (int32_t row = 0; row < rows; ++row) {
    planes.outRed.rows[row] += columns;
    planes.outGreen.rows[row] += columns;
  }
}

// A line of a map's red and green as a map of its own: row (across) or
// column (down) index of planes, count samples long. A row's table is
// rows; a column's is the map's own, shifted to it (shiftRows), which the
// caller shifts back.
PlaneSet lineView(const PlaneSet& planes, bool column, int32_t index,
                  int32_t count, std::vector<uint8_t*>* rows) {
  PlaneSet view;
  if (column) {
    shiftRows(planes, count, index);
    view.outRed.rows = view.inRed.rows = planes.outRed.rows;
    view.outGreen.rows = view.inGreen.rows = planes.outGreen.rows;
  } else {
    rows->assign({planes.outRed.rows[index], planes.outGreen.rows[index]});
    view.outRed.rows = view.inRed.rows = rows->data();
    view.outGreen.rows = view.inGreen.rows = rows->data() + 1;
  }
  view.width = column ? 1 : count;
  view.height = column ? count : 1;
  view.base = planes.base;
  return view;
}

}  // namespace

bool resampleEdges(const PlaneSet& source, PlaneSet* result, const Axis& across,
                   const Axis& down, ResampleFilter filter,
                   ResampleEngine engine, const BandTarget& target,
                   WorkingMemory* memory, std::string* error) {
  const Axis still = planAxis(1, 1, filter);
  std::vector<uint8_t*> sourceRows, resultRows;
  for (bool column : {false, true}) {
    const Axis& along = column ? down : across;
    const int32_t last = (column ? across : down).to - 1;
    for (int32_t end : {0, last}) {
      const int32_t sourceIndex =
          end == 0 ? 0 : (column ? across.from : down.from) - 1;
      PlaneSet line =
          lineView(source, column, sourceIndex, along.from, &sourceRows);
      PlaneSet into = lineView(*result, column, end, along.to, &resultRows);
      StoreCount ignored;
      BandTarget edge = target;
      edge.result = &into;
      edge.clamped = &ignored;
      const bool done =
          column ? resampleInBands(line, still, along, kResampleBandBytes,
                                   engine, edge, memory, error, nullptr)
                 : resampleInBands(line, along, still, kResampleBandBytes,
                                   engine, edge, memory, error, nullptr);
      if (column) {
        shiftRows(source, along.from, -sourceIndex);
        shiftRows(*result, along.to, -end);
      }
      if (!done) return false;
    }
  }
  return true;
}

void resampleBlue(const PlaneSet& source, PlaneSet* result, const Axis& across,
                  const Axis& down, bool blueZero) {
  if (blueZero) return;
  if (uniformBlue(source.outBlue, across.from, down.from)) {
    for (int32_t row = 0; row < down.to; ++row) {
      std::memset(result->outBlue[row], source.outBlue[0][0],
                  static_cast<size_t>(across.to));
    }
    return;
  }
  std::vector<int32_t> columns(static_cast<size_t>(across.to));
  for (int32_t column = 0; column < across.to; ++column) {
    columns[static_cast<size_t>(column)] = nearestSample(across, column);
  }
  for (int32_t row = 0; row < down.to; ++row) {
    const uint8_t* from = source.outBlue[nearestSample(down, row)];
    uint8_t* to = result->outBlue[row];
    for (int32_t column = 0; column < across.to; ++column) {
      to[column] = from[columns[static_cast<size_t>(column)]];
    }
  }
}
