// Resampling a float map: the byte planes' bands of rows, axes and library
// call (resampling_axis, resampling_bands, resampling_library) on floats
// read and stored as they are, and the rule for nodata.
#include "processing/float_resampling.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "processing/resampling_axis.h"
#include "processing/resampling_bands.h"
#include "processing/resampling_library.h"
#include "processing/resampling_passes.h"

namespace {

// Floats in memory as a grid: (row, column) at first[row x rowStep +
// column x columnStep]. A whole plane, or one of its rows or columns as a
// map of its own.
struct FloatGrid {
  float* first = nullptr;
  ptrdiff_t rowStep = 0;
  ptrdiff_t columnStep = 1;
  int32_t width = 0;
  int32_t height = 0;
  float& at(int32_t row, int32_t column) const {
    return first[row * rowStep + column * columnStep];
  }
};

FloatGrid wholeGrid(const FloatPlane& plane) {
  return {plane.values, plane.width, 1, plane.width, plane.height};
}

// Row index of plane as a map one high, or column index as one wide.
FloatGrid lineGrid(const FloatPlane& plane, bool column, int32_t index) {
  if (column) return {plane.values + index, plane.width, 1, 1, plane.height};
  return {plane.values + int64_t{index} * plane.width, 0, 1, plane.width, 1};
}

// A block of working memory counted with the library's.
template <class T>
struct WorkingArray {
  explicit WorkingArray(WorkingMemory* memory) : memory_(memory) {}
  ~WorkingArray() { releaseWorking(data, memory_); }
  WorkingArray(const WorkingArray&) = delete;
  WorkingArray& operator=(const WorkingArray&) = delete;
  bool allocate(int64_t count) {
    data = static_cast<T*>(
        allocateWorking(static_cast<size_t>(count) * sizeof(T), memory_));
    return data != nullptr;
  }
  T* data = nullptr;

 private:
  WorkingMemory* memory_;
};

// Source row (any, the odd extension past the ends) with pad columns of
// extension on either side into row (which points at column 0); scratch
// holds a row of the same size. NaN carries into every value made from it.
void extendedRow(const FloatGrid& source, int32_t pad, int32_t sourceRow,
                 float* row, std::vector<float>* scratch,
                 std::vector<ExtensionTerm>* rowTerms,
                 std::vector<ExtensionTerm>* columnTerms) {
  const int32_t width = source.width;
  extensionTerms(sourceRow, source.height, rowTerms);
  scratch->resize(static_cast<size_t>(width) + 2 * static_cast<size_t>(pad));
  float* real = scratch->data() + pad;
  for (size_t index = 0; index < rowTerms->size(); ++index) {
    const ExtensionTerm term = (*rowTerms)[index];
    float* into = rowTerms->size() == 1 ? row : real;
    for (int32_t column = 0; column < width; ++column) {
      into[column] = source.at(term.index, column);
    }
    extendRow(into, width, pad, columnTerms);
    if (rowTerms->size() == 1) return;
    for (int32_t column = -pad; column < width + pad; ++column) {
      const float part = term.coefficient * real[column];
      row[column] = index == 0 ? part : row[column] + part;
    }
  }
}

// The source samples [*low, *high] (within the map) whose values the
// kernel of result sample index reads: those nearer its position than the
// kernel's reach (planAxis's, less the margin for the library's rounding),
// past the ends those the point reflection takes.
void readSpan(const Axis& axis, int32_t index, int32_t* low, int32_t* high) {
  const double position = index * axis.step;
  const double radius = axis.reach - 2;
  int32_t first = static_cast<int32_t>(std::floor(position - radius)) + 1;
  int32_t last = static_cast<int32_t>(std::ceil(position + radius)) - 1;
  const int32_t end = axis.from - 1;
  if (first < 0) {
    last = std::max(last, -first);
    first = 0;
  }
  if (last > end) {
    first = std::min(first, 2 * end - last);
    last = end;
  }
  *low = std::max(first, 0);
  *high = std::min(last, end);
}

// What one resampling pass holds from band to band.
struct FloatBands {
  FloatGrid source;
  FloatGrid target;
  Axis across;
  Axis down;
  int32_t band = 0;      // result rows per band
  int32_t slabRows = 0;  // source rows a band reads, at most
  int32_t pad = 0;       // extension columns on either side
  int32_t stride = 0;    // floats per slab row
  // Per result column: its nearest source column and the source columns
  // its kernel reads (readSpan).
  std::vector<int32_t> nearest, readFirst, readLast;
};

// Marks, for each source row of [first, last) (within the map) and result
// column, whether the kernel reads a NaN there; false when none of the
// rows holds one.
bool markNodata(const FloatBands& bands, int32_t first, int32_t last,
                int32_t* counts, uint8_t* reads) {
  bool any = false;
  const int32_t width = bands.source.width;
  for (int32_t row = first; row < last; ++row) {
    counts[0] = 0;
    for (int32_t column = 0; column < width; ++column) {
      counts[column + 1] =
          counts[column] + (isNodata(bands.source.at(row, column)) ? 1 : 0);
    }
    any = any || counts[width] != 0;
    uint8_t* line = reads + int64_t{row - first} * bands.across.to;
    for (int32_t column = 0; column < bands.across.to; ++column) {
      const size_t c = static_cast<size_t>(column);
      line[column] =
          counts[bands.readLast[c] + 1] != counts[bands.readFirst[c]];
    }
  }
  return any;
}

// Result row row (reads from source row first on): where its kernel read a
// NaN, the nearest source sample instead.
void keepNodata(const FloatBands& bands, const uint8_t* reads, int32_t first,
                int32_t row, float* heights) {
  int32_t top, bottom;
  readSpan(bands.down, row, &top, &bottom);
  const int32_t nearestRow = nearestSample(bands.down, row);
  for (int32_t column = 0; column < bands.across.to; ++column) {
    bool read = false;
    for (int32_t r = top; r <= bottom && !read; ++r) {
      read = reads[int64_t{r - first} * bands.across.to + column] != 0;
    }
    if (read) {
      heights[column] = bands.source.at(
          nearestRow, bands.nearest[static_cast<size_t>(column)]);
    }
  }
}

void planBands(FloatBands* bands, int64_t bandBytes) {
  const Axis& across = bands->across;
  const Axis& down = bands->down;
  bands->band = resampleBandRows(across, down, bandBytes);
  // The deepest slab is a band's in the middle of the map.
  for (int32_t begin = 0; begin < down.to; begin += bands->band) {
    int32_t first, last;
    sourceSpan(down, begin, std::min(down.to, begin + bands->band), &first,
               &last);
    bands->slabRows = std::max(bands->slabRows, last - first);
  }
  bands->pad = across.reach;
  bands->stride = across.from + 2 * bands->pad;
  const size_t columns = static_cast<size_t>(across.to);
  bands->nearest.resize(columns);
  bands->readFirst.resize(columns);
  bands->readLast.resize(columns);
  for (int32_t column = 0; column < across.to; ++column) {
    const size_t c = static_cast<size_t>(column);
    bands->nearest[c] = nearestSample(across, column);
    readSpan(across, column, &bands->readFirst[c], &bands->readLast[c]);
  }
}

// One pass from source to target (across.from x down.from to across.to x
// down.to) in bands of about bandBytes, filtered by engine. False (error
// set) when memory for the bands or the library's buffers cannot be had.
bool resampleFloatBands(const FloatGrid& source, const FloatGrid& target,
                        const Axis& across, const Axis& down, int64_t bandBytes,
                        ResampleEngine engine, WorkingMemory* memory,
                        std::string* error, const Progress* progress) {
  FloatBands bands;
  bands.source = source;
  bands.target = target;
  bands.across = across;
  bands.down = down;
  planBands(&bands, bandBytes);
  FloatBuffer slab(memory), results(memory);
  WorkingArray<int32_t> counts(memory);
  WorkingArray<uint8_t> reads(memory);
  if (!slab.allocate(int64_t{bands.slabRows} * bands.stride) ||
      !results.allocate(int64_t{bands.band} * across.to) ||
      !counts.allocate(int64_t{source.width} + 1) ||
      !reads.allocate(int64_t{bands.slabRows} * across.to)) {
    *error = "Not enough memory for the resampling's working rows";
    return false;
  }
  std::vector<float> scratch;
  std::vector<ExtensionTerm> rowTerms, columnTerms;
  BandResampler resampler(across, down, engine, memory);
  for (int32_t begin = 0; begin < down.to; begin += bands.band) {
    const int32_t end = std::min(down.to, begin + bands.band);
    int32_t first, last;
    sourceSpan(down, begin, end, &first, &last);
    for (int32_t row = first; row < last; ++row) {
      extendedRow(source, bands.pad, row,
                  slab.data + int64_t{row - first} * bands.stride + bands.pad,
                  &scratch, &rowTerms, &columnTerms);
    }
    // The rows the kernels read are within the slab's, reflected ones too.
    const int32_t low = std::max(first, 0);
    const int32_t high = std::min(last, down.from);
    const bool nodata = markNodata(bands, low, high, counts.data, reads.data);
    if (nodata) {
      // The library is given 0 for each NaN; the results that read one are
      // replaced after.
      const int64_t floats = int64_t{last - first} * bands.stride;
      for (int64_t at = 0; at < floats; ++at) {
        if (isNodata(slab.data[at])) slab.data[at] = 0;
      }
    }
    if (!resampler.run(slab.data + bands.pad, bands.stride, first, last, begin,
                       end, results.data)) {
      *error = "Not enough memory for the resampling library's buffers";
      return false;
    }
    for (int32_t row = begin; row < end; ++row) {
      float* heights = results.data + int64_t{row - begin} * across.to;
      if (nodata) keepNodata(bands, reads.data, low, row, heights);
      for (int32_t column = 0; column < across.to; ++column) {
        target.at(row, column) = heights[column];
      }
    }
    reportProgress(progress, end, down.to);
  }
  return true;
}

// The result's first and last rows and columns again, each from the
// source's own first or last row or column alone, as the byte planes'.
bool resampleFloatEdges(const FloatPlane& source, const FloatPlane& result,
                        const Axis& across, const Axis& down,
                        ResampleFilter filter, ResampleEngine engine,
                        WorkingMemory* memory, std::string* error) {
  const Axis still = planAxis(1, 1, filter);
  for (bool column : {false, true}) {
    const Axis& along = column ? down : across;
    const int32_t last = (column ? across : down).to - 1;
    for (int32_t end : {0, last}) {
      const int32_t sourceIndex =
          end == 0 ? 0 : (column ? across.from : down.from) - 1;
      const FloatGrid line = lineGrid(source, column, sourceIndex);
      const FloatGrid into = lineGrid(result, column, end);
      const bool done =
          column
              ? resampleFloatBands(line, into, still, along, kResampleBandBytes,
                                   engine, memory, error, nullptr)
              : resampleFloatBands(line, into, along, still, kResampleBandBytes,
                                   engine, memory, error, nullptr);
      if (!done) return false;
    }
  }
  return true;
}

}  // namespace

bool resampleFloatHeights(FloatPlane* plane, const ResampleRequest& request,
                          ResampleOutcome* outcome, std::string* error,
                          const Progress* progress) {
  *outcome = ResampleOutcome();
  const int32_t width = plane->width, height = plane->height;
  if (request.width < 1 || request.height < 1) {
    *error = "A resampled map needs at least one pixel each way";
    return false;
  }
  if (request.width == width && request.height == height) return true;
  const Axis across = planAxis(width, request.width, request.filter);
  const Axis down = planAxis(height, request.height, request.filter);
  if (!withinLibraryLimits(across, down)) {
    *error = "Resampling " + std::to_string(width) + " x " +
             std::to_string(height) + " to " + std::to_string(request.width) +
             " x " + std::to_string(request.height) +
             " is beyond what the resampling library can take";
    return false;
  }
  FloatPlane result;
  if (!allocateFloatPlane(&result, request.width, request.height, error)) {
    return false;
  }
  WorkingMemory memory;
  bool done = resampleFloatBands(wholeGrid(*plane), wholeGrid(result), across,
                                 down, request.bandBytes, request.engine,
                                 &memory, error, progress);
  if (done) {
    done = resampleFloatEdges(*plane, result, across, down, request.filter,
                              request.engine, &memory, error);
  }
  if (!done) {
    releaseFloatPlane(&result);
    *outcome = ResampleOutcome();
    return false;
  }
  // The kernel centred on a corner gives its value but for the last bits of
  // the weights' sum; the corners are the source's.
  for (int32_t row : {0, request.height - 1}) {
    for (int32_t column : {0, request.width - 1}) {
      result.row(row)[column] =
          plane->row(row == 0 ? 0 : height - 1)[column == 0 ? 0 : width - 1];
    }
  }
  outcome->workingBytes = memory.peak;
  moveFloatPlane(&result, plane);
  return true;
}
