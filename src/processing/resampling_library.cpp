#include "processing/resampling_library.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Blocks carry their size in front, so that a release can count them off.
constexpr size_t kBlockHeader = 16;

}  // namespace

void* allocateWorking(size_t bytes, WorkingMemory* memory) {
  if (bytes > SIZE_MAX - kBlockHeader) return nullptr;
  void* block = std::malloc(bytes + kBlockHeader);
  if (block == nullptr) return nullptr;
  std::memcpy(block, &bytes, sizeof bytes);
  memory->held += static_cast<int64_t>(bytes);
  memory->peak = std::max(memory->peak, memory->held);
  return static_cast<uint8_t*>(block) + kBlockHeader;
}

void releaseWorking(void* data, WorkingMemory* memory) {
  if (data == nullptr) return;
  void* block = static_cast<uint8_t*>(data) - kBlockHeader;
  size_t bytes;
  std::memcpy(&bytes, block, sizeof bytes);
  memory->held -= static_cast<int64_t>(bytes);
  std::free(block);
}

namespace {

// The library's allocation callbacks: its context is the working memory.
void* allocateForLibrary(size_t bytes, void* context) {
  return allocateWorking(bytes, static_cast<WorkingMemory*>(context));
}

void releaseForLibrary(void* data, void* context) {
  releaseWorking(data, static_cast<WorkingMemory*>(context));
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
#define STBIR_MALLOC(size, context) allocateForLibrary(size, context)
#define STBIR_FREE(block, context) releaseForLibrary(block, context)
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

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

}  // namespace

bool resampleSlab(const SlabCall& call, const Axis& across, const Axis& down,
                  WorkingMemory* memory) {
  return stbir_resize_subpixel(
             call.source, call.columns, call.rows, call.stride, call.results,
             call.resultColumns, call.resultRows, call.resultStride,
             STBIR_TYPE_FLOAT, 1, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
             STBIR_EDGE_CLAMP, libraryFilter(across.filter),
             libraryFilter(down.filter), STBIR_COLORSPACE_LINEAR, memory,
             static_cast<float>(across.scale), static_cast<float>(down.scale),
             call.shiftAcross, call.shiftDown) != 0;
}

void libraryTaps(const Axis& axis, float shift, int32_t inputs, int32_t outputs,
                 AxisTaps* taps) {
  const stbir_filter filter = libraryFilter(axis.filter);
  const float scale = static_cast<float>(axis.scale);
  const int contributors =
      stbir__get_contributors(scale, filter, inputs, outputs);
  const int width = stbir__get_coefficient_width(filter, scale);
  // A kernel's first weights may run a group past its width before the
  // library trims them: one group of slack past the last.
  std::vector<stbir__contributors> ranges(static_cast<size_t>(contributors));
  std::vector<float> weights(static_cast<size_t>(contributors + 1) *
                             static_cast<size_t>(width));
  stbir__calculate_filters(ranges.data(), weights.data(), filter, scale, shift,
                           inputs, outputs);
  auto clamped = [inputs](int sample) {
    return static_cast<int32_t>(std::clamp(sample, 0, inputs - 1));
  };
  const size_t results = static_cast<size_t>(outputs);
  taps->start.assign(results + 1, 0);
  taps->index.clear();
  taps->weight.clear();
  if (stbir__use_upsampling(scale)) {
    // A contributor per result sample, its source samples in order.
    for (int o = 0; o < outputs; ++o) {
      const stbir__contributors range = ranges[static_cast<size_t>(o)];
      for (int k = range.n0; k <= range.n1; ++k) {
        taps->index.push_back(clamped(k));
        taps->weight.push_back(
            weights[static_cast<size_t>(o * width + k - range.n0)]);
      }
      taps->start[static_cast<size_t>(o) + 1] =
          static_cast<int32_t>(taps->index.size());
    }
    return;
  }
  // A contributor per source sample (from the margin before the first),
  // added to the result samples it reaches in the order of the sources.
  const int margin = stbir__get_filter_pixel_margin(filter, scale);
  std::vector<int32_t>& start = taps->start;
  for (const stbir__contributors& range : ranges) {
    for (int k = range.n0; k <= range.n1; ++k) {
      ++start[static_cast<size_t>(k) + 1];
    }
  }
  for (size_t o = 0; o < results; ++o) start[o + 1] += start[o];
  taps->index.resize(static_cast<size_t>(start[results]));
  taps->weight.resize(taps->index.size());
  std::vector<int32_t> next(start.begin(), start.end() - 1);
  for (int j = 0; j < contributors; ++j) {
    const stbir__contributors range = ranges[static_cast<size_t>(j)];
    for (int k = range.n0; k <= range.n1; ++k) {
      const size_t at = static_cast<size_t>(next[static_cast<size_t>(k)]++);
      taps->index[at] = clamped(j - margin);
      taps->weight[at] = weights[static_cast<size_t>(j * width + k - range.n0)];
    }
  }
}

// The library's offset that puts result sample begin (its first in a call)
// where it belongs when the call's source starts at sample first.
float libraryShift(const Axis& axis, int32_t begin, int32_t first) {
  return static_cast<float>(begin - axis.scale * first + axis.scale / 2 - 0.5);
}
