#include "processing/resampling.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct FilterName {
  ResampleFilter filter;
  const char* name;
};

constexpr FilterName kFilterNames[] = {
    {ResampleFilter::kCubic, "cubic"},
    {ResampleFilter::kLinear, "linear"},
    {ResampleFilter::kBox, "box"},
    {ResampleFilter::kMitchell, "mitchell"},
    {ResampleFilter::kBspline, "bspline"},
};

}  // namespace

bool parseResampleFilter(const std::string& name, ResampleFilter* filter) {
  for (const FilterName& entry : kFilterNames) {
    if (name == entry.name) {
      *filter = entry.filter;
      return true;
    }
  }
  return false;
}

const char* resampleFilterName(ResampleFilter filter) {
  for (const FilterName& entry : kFilterNames) {
    if (entry.filter == filter) return entry.name;
  }
  return "";
}

#if defined(QUILLORN_HAS_STB)

namespace {

// The working memory of one resampling: the bands and the library's
// buffers, with the most held at once.
struct WorkingMemory {
  int64_t held = 0;
  int64_t peak = 0;
};

// Blocks carry their size in front, so that a release can count them off.
constexpr size_t kBlockHeader = 16;

void* allocateWorking(size_t bytes, void* context) {
  if (bytes > SIZE_MAX - kBlockHeader) return nullptr;
  void* block = std::malloc(bytes + kBlockHeader);
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  auto* memory = static_cast<WorkingMemory*>(context);
  memory->held += static_cast<int64_t>(bytes);
  memory->peak = std::max(memory->peak, memory->held);
  return static_cast<uint8_t*>(block) + kBlockHeader;
}

void releaseWorking(void* data, void* context) {
  if (data == nullptr) return;
  void* block = static_cast<uint8_t*>(data) - kBlockHeader;
  size_t bytes;
  std::memcpy(&bytes, block, sizeof bytes);
  static_cast<WorkingMemory*>(context)->held -= static_cast<int64_t>(bytes);
  std::free(block);
}

}  // namespace

// The library's implementation lives here and nowhere else; its own
// warnings are its authors' concern, not this project's.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#pragma GCC diagnostic ignored "-Wpedantic"
#if defined(__clang__)
#pragma GCC diagnostic ignored "-Wcast-align"
#pragma GCC diagnostic ignored "-Wimplicit-int-float-conversion"
#endif
#endif
// Its asserts include sanity bounds on a kernel's sum before it is
// normalized, which mild reductions exceed (a triangle over 1.2 pixels sums
// to 1.11): they would stop a debug build on sound input. The sums are
// normalized all the same, and every size it is given is checked here.
#define STBIR_ASSERT(condition) static_cast<void>(0)
#define STBIR_MALLOC(size, context) allocateWorking(size, context)
#define STBIR_FREE(block, context) releaseWorking(block, context)
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

// One axis of a resampling: from source samples to result samples.
struct Axis {
  int32_t from = 1;
  int32_t to = 1;
  // Result pixels per source pixel, as the library takes it.
  double scale = 1.0;
  // Source pixels per result pixel: result sample i sits at i x step.
  double step = 0.0;
  stbir_filter filter = STBIR_FILTER_TRIANGLE;
  int32_t reach = 0;  // source pixels a result sample may read on each side
};

stbir_filter libraryFilter(ResampleFilter filter) {
  switch (filter) {
    case ResampleFilter::kLinear:
      return STBIR_FILTER_TRIANGLE;
    case ResampleFilter::kBox:
      return STBIR_FILTER_BOX;
    case ResampleFilter::kMitchell:
      return STBIR_FILTER_MITCHELL;
    case ResampleFilter::kBspline:
      return STBIR_FILTER_CUBICBSPLINE;
    case ResampleFilter::kCubic:
      break;
  }
  return STBIR_FILTER_CATMULLROM;
}

Axis planAxis(int32_t from, int32_t to, ResampleFilter filter) {
  Axis axis;
  axis.from = from;
  axis.to = to;
  if (to == from || to == 1) {
    // The triangle at scale 1 weighs each sample's own position 1 and its
    // neighbours 0: a copy of the samples that stay.
    axis.step = to == from ? 1.0 : 0.0;
  } else if (from == 1) {
    // Every result sample reads the one source sample, clamped.
    axis.scale = to;
    axis.filter = libraryFilter(filter);
  } else {
    axis.scale = (to - 1.0) / (from - 1.0);
    axis.step = (from - 1.0) / (to - 1.0);
    axis.filter = libraryFilter(filter);
  }
  // The library's kernels reach 1 (triangle, box) or 2 (the cubics) pixels
  // of the larger grid; two more cover its rounding of the ranges.
  int32_t support =
      axis.filter == STBIR_FILTER_TRIANGLE || axis.filter == STBIR_FILTER_BOX
          ? 1
          : 2;
  axis.reach =
      static_cast<int32_t>(std::ceil(support * std::max(1.0, axis.step))) + 2;
  return axis;
}

// The source samples [first, last) that result samples [begin, end) read:
// up to reach samples past either end, which the odd extension supplies.
void sourceSpan(const Axis& axis, int32_t begin, int32_t end, int32_t* first,
                int32_t* last) {
  double low = std::floor(begin * axis.step) - axis.reach;
  double high = std::ceil((end - 1) * axis.step) + axis.reach + 1;
  *first = static_cast<int32_t>(std::max<double>(-axis.reach, low));
  *last = static_cast<int32_t>(std::min<double>(axis.from + axis.reach, high));
}

// Beyond its ends a map continues as its point reflection through the end
// sample: x at -k is 2 f(0) - f(k), and likewise past the last. A kernel
// centred on an end sample then gives that sample exactly (the reflected
// halves cancel), so a map's edges and corners keep their heights in a
// reduction as in an enlargement, an edge depends on that edge alone, and
// a ramp stays a ramp up to the edge. One term of such a value.
struct ExtensionTerm {
  float coefficient;
  int32_t index;
};

// Sample x (any) of n as a sum of samples within 0 ... n - 1.
void extensionTerms(int32_t x, int32_t n, std::vector<ExtensionTerm>* terms) {
  terms->clear();
  if (n == 1) {
    terms->push_back({1.0f, 0});
    return;
  }
  float sign = 1.0f;
  // Each reflection brings x nearer the map, so this ends.
  while (x < 0 || x >= n) {
    const int32_t end = x < 0 ? 0 : n - 1;
    terms->push_back({2.0f * sign, end});
    sign = -sign;
    x = 2 * end - x;
  }
  terms->push_back({sign, x});
}

// Fills the pad values before and after the n samples of row (row[-pad]
// ... row[n + pad - 1]) by the odd extension.
void extendRow(float* row, int32_t n, int32_t pad,
               std::vector<ExtensionTerm>* terms) {
  for (int32_t x = -pad; x < n + pad; ++x) {
    if (x == 0) x = n;
    if (x >= n + pad) break;
    extensionTerms(x, n, terms);
    float value = 0.0f;
    for (const ExtensionTerm& term : *terms) {
      value += term.coefficient * row[term.index];
    }
    row[x] = value;
  }
}

// The library's offset that puts result sample begin (its first in a call)
// where it belongs when the call's source starts at sample first.
float libraryShift(const Axis& axis, int32_t begin, int32_t first) {
  return static_cast<float>(begin - axis.scale * first + axis.scale / 2 - 0.5);
}

// The result columns and rows of one call to the library: many enough that
// its per-call work is small beside the filtering, few enough that the
// positions it computes in single precision from the call's first pixel stay
// within about 1e-5 of a pixel, so that corners land on the source's
// corners even between heights that jump across the whole range.
constexpr int32_t kColumnsPerCall = 256;
constexpr int32_t kRowsPerCall = 512;

template <HeightValue kBase>
void decodeRow(const uint8_t* red, const uint8_t* green, int32_t width,
               float* heights) {
  for (int32_t column = 0; column < width; ++column) {
    heights[column] =
        static_cast<float>(decodeHeightIn<kBase>(red[column], green[column]));
  }
}

// The lowest and highest heights a resampling computed, before they were
// stored.
struct ComputedRange {
  float lowest = 0.0f;
  float highest = 0.0f;
  bool any = false;
};

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

// The source sample nearest result sample index (halves to the higher).
int32_t nearestSample(const Axis& axis, int32_t index) {
  if (axis.to == 1 || axis.from == 1) return 0;
  int64_t numerator = 2 * int64_t{index} * (axis.from - 1) + (axis.to - 1);
  return static_cast<int32_t>(numerator / (2 * int64_t{axis.to - 1}));
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

// Working buffers counted with the library's.
struct FloatBuffer {
  explicit FloatBuffer(WorkingMemory* memory) : memory_(memory) {}
  ~FloatBuffer() { releaseWorking(data, memory_); }
  FloatBuffer(const FloatBuffer&) = delete;
  FloatBuffer& operator=(const FloatBuffer&) = delete;
  bool allocate(int64_t count) {
    data = static_cast<float*>(
        allocateWorking(static_cast<size_t>(count) * sizeof(float), memory_));
    return data != nullptr;
  }
  float* data = nullptr;

 private:
  WorkingMemory* memory_;
};

// Result rows per band: as many as the budget holds with the source rows
// they read and one call takes, at least one.
int32_t bandRows(const Axis& across, const Axis& down, int64_t bandBytes) {
  const double floats =
      static_cast<double>(bandBytes) / static_cast<double>(sizeof(float));
  const double fixed =
      static_cast<double>(across.from) * (2.0 * down.reach + 2.0);
  const double perRow = across.from * std::max(down.step, 1.0) + across.to;
  double rows = std::floor((floats - fixed) / perRow);
  return static_cast<int32_t>(std::clamp(
      rows, 1.0, static_cast<double>(std::min(down.to, kRowsPerCall))));
}

// Where one pass of a resampling puts its results: stored in result's
// planes as scale x height + offset, or (result nullptr) only surveyed.
struct BandTarget {
  PlaneSet* result = nullptr;
  float scale = 1.0f;
  float offset = 0.0f;
  StoreCount* clamped = nullptr;
  ComputedRange* range = nullptr;
};

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
bool resampleInBands(const PlaneSet& source, const Axis& across,
                     const Axis& down, int64_t bandBytes,
                     const BandTarget& target, WorkingMemory* memory,
                     std::string* error, const Progress* progress) {
  const int32_t band = bandRows(across, down, bandBytes);
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
  const int sourceStride = stride * static_cast<int>(sizeof(float));
  const int resultStride = across.to * static_cast<int>(sizeof(float));
  for (int32_t begin = 0; begin < down.to; begin += band) {
    const int32_t end = std::min(down.to, begin + band);
    int32_t first, last;
    sourceSpan(down, begin, end, &first, &last);
    for (int32_t row = first; row < last; ++row) {
      extendedSourceRow<kBase>(source, down.from, across.from, pad, row,
                               slab.data + int64_t{row - first} * stride + pad,
                               &scratch, &rowTerms, &columnTerms);
    }
    for (int32_t left = 0; left < across.to; left += kColumnsPerCall) {
      const int32_t right = std::min(across.to, left + kColumnsPerCall);
      int32_t firstColumn, lastColumn;
      sourceSpan(across, left, right, &firstColumn, &lastColumn);
      int done = stbir_resize_subpixel(
          slab.data + pad + firstColumn, lastColumn - firstColumn, last - first,
          sourceStride, results.data + left, right - left, end - begin,
          resultStride, STBIR_TYPE_FLOAT, 1, STBIR_ALPHA_CHANNEL_NONE, 0,
          STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, across.filter, down.filter,
          STBIR_COLORSPACE_LINEAR, memory, static_cast<float>(across.scale),
          static_cast<float>(down.scale),
          libraryShift(across, left, firstColumn),
          libraryShift(down, begin, first));
      if (!done) {
        *error = "Not enough memory for the resampling library's buffers";
        return false;
      }
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

// A line of a map's red and green as a map of its own: row (across) or
// column (down) index of planes, count samples long; rows holds its row
// table.
PlaneSet lineView(const PlaneSet& planes, bool column, int32_t index,
                  int32_t count, std::vector<uint8_t*>* rows) {
  rows->assign(2 * static_cast<size_t>(column ? count : 1), nullptr);
  const size_t length = rows->size() / 2;
  for (size_t at = 0; at < length; ++at) {
    const int32_t row = column ? static_cast<int32_t>(at) : index;
    const int32_t offset = column ? index : 0;
    (*rows)[at] = planes.outRed.rows[row] + offset;
    (*rows)[length + at] = planes.outGreen.rows[row] + offset;
  }
  PlaneSet view;
  view.outRed.rows = view.inRed.rows = rows->data();
  view.outGreen.rows = view.inGreen.rows = rows->data() + length;
  view.width = column ? 1 : count;
  view.height = column ? count : 1;
  view.base = planes.base;
  return view;
}

// Gives the result's first and last rows and columns again, each from the
// source's own first or last row or column alone: so two parts of a map
// that share an edge, resampled alone, agree on it to the bit, and corners
// are the source's. The filter over a whole map gives the same heights but
// for rounding in the last float bit.
template <HeightValue kBase>
bool resampleEdges(const PlaneSet& source, PlaneSet* result, const Axis& across,
                   const Axis& down, ResampleFilter filter,
                   const BandTarget& target, WorkingMemory* memory,
                   std::string* error) {
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
          column
              ? resampleInBands<kBase>(line, still, along, kResampleBandBytes,
                                       edge, memory, error, nullptr)
              : resampleInBands<kBase>(line, along, still, kResampleBandBytes,
                                       edge, memory, error, nullptr);
      if (!done) return false;
    }
  }
  return true;
}

// The result's blue: each the nearest source sample's, nothing to do for
// no marks (blueZero) on a result of BlueUse::kMarks.
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

// The library keeps its buffer sizes and strides in int: refuse what would
// overflow them (ratios and widths far beyond any terrain's).
bool withinLibraryLimits(const Axis& across, const Axis& down) {
  const double limit = INT32_MAX / 8.0;
  // A call's source columns, and the rows of its ring buffer, which spans a
  // kernel's reach in the source when reducing.
  double columns =
      kColumnsPerCall * std::max(across.step, 1.0) + 2.0 * across.reach;
  double ringRows = 4.0 * std::max(down.step, 1.0) + 8.0;
  return static_cast<double>(across.from) * sizeof(float) < limit &&
         columns * sizeof(float) * 8.0 < limit &&
         ringRows * kColumnsPerCall * sizeof(float) < limit;
}

}  // namespace

bool haveResampler() { return true; }

bool resampleHeights(PlaneSet* planes, int32_t width, int32_t height,
                     const ResampleRequest& request, ResampleOutcome* outcome,
                     std::string* error, const Progress* progress) {
  *outcome = ResampleOutcome();
  const int32_t newWidth = request.width;
  const int32_t newHeight = request.height;
  if (newWidth < 1 || newHeight < 1) {
    *error = "A resampled map needs at least one pixel each way";
    return false;
  }
  if (newWidth == width && newHeight == height) return true;
  const Axis across = planAxis(width, newWidth, request.filter);
  const Axis down = planAxis(height, newHeight, request.filter);
  if (!withinLibraryLimits(across, down)) {
    *error = "Resampling " + std::to_string(width) + " x " +
             std::to_string(height) + " to " + std::to_string(newWidth) +
             " x " + std::to_string(newHeight) +
             " is beyond what the resampling library can take";
    return false;
  }
  // Elevation data marks no nodata but in blue: the result's blue plane then
  // costs no memory.
  const bool blueZero = planes->blueZero;
  PlaneSet result;
  if (!allocatePlanes(&result, newWidth, newHeight, error,
                      blueZero ? BlueUse::kMarks : BlueUse::kPixels)) {
    return false;
  }
  result.base = planes->base;
  WorkingMemory memory;
  auto pass = [&](const BandTarget& target, const Progress* reports) {
    return planes->base == kWideBase
               ? resampleInBands<kWideBase>(*planes, across, down,
                                            request.bandBytes, target, &memory,
                                            error, reports)
               : resampleInBands<kHeightBase>(*planes, across, down,
                                              request.bandBytes, target,
                                              &memory, error, reports);
  };
  BandTarget store;
  store.result = &result;
  store.clamped = &outcome->clamped;
  bool done = true;
  if (request.keepRange) {
    // A first pass finds how far the kernel swings; the second squeezes
    // the results linearly into what the planes hold, when they leave it.
    // Each pass is half of the bar.
    struct Half {
      const Progress* whole;
      int64_t before;
    } half = {progress, 0};
    Progress halves;
    halves.context = &half;
    halves.update = [](void* context, int64_t rows, int64_t total) {
      Half* at = static_cast<Half*>(context);
      reportProgress(at->whole, at->before + rows, 2 * total);
    };
    ComputedRange range;
    BandTarget survey;
    survey.range = &range;
    done = pass(survey, &halves);
    const float top = static_cast<float>(largestStoredHeight(planes->base));
    const float low = std::min(range.lowest, 0.0f);
    const float high = std::max(range.highest, top);
    if (done && range.any && high > low && (low < 0.0f || high > top)) {
      // The ends land a hair inside, so that rounding cannot push them out.
      store.scale = (top - 0.01f) / (high - low);
      store.offset = -low * store.scale;
      outcome->remapScale = static_cast<double>(store.scale);
      outcome->remapOffset = static_cast<double>(store.offset);
    }
    half.before = newHeight;
    if (done) done = pass(store, &halves);
  } else {
    done = pass(store, progress);
  }
  if (done) {
    done =
        planes->base == kWideBase
            ? resampleEdges<kWideBase>(*planes, &result, across, down,
                                       request.filter, store, &memory, error)
            : resampleEdges<kHeightBase>(*planes, &result, across, down,
                                         request.filter, store, &memory, error);
  }
  if (!done) {
    releasePlanes(&result);
    *outcome = ResampleOutcome();
    return false;
  }
  resampleBlue(*planes, &result, across, down, blueZero);
  outcome->workingBytes = memory.peak;
  releasePlanes(planes);
  *planes = result;
  return true;
}

#else  // no stb_image_resize in this build

bool haveResampler() { return false; }

bool resampleHeights(PlaneSet*, int32_t, int32_t, const ResampleRequest&,
                     ResampleOutcome* outcome, std::string* error,
                     const Progress*) {
  *outcome = ResampleOutcome();
  *error = kNoResampler;
  return false;
}

#endif
