// Bands resampled by the library's calls or by the lane kernels with the
// library's weights; and which engine the build and the processor allow.
#include "processing/resampling_passes.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/compiler.h"

namespace {

// Build: the x86-64 kernels, unless the build asked for portable ones.
// Processor: AVX2, where they are built.
#if defined(QUILLORN_X86_KERNELS)
constexpr bool kX86Kernels = true;
constexpr ResampleLaneKernels kAvx2Kernels{resampleAcrossAvx2, resampleDownAvx2,
                                           gatherLanesAvx2, scatterLanesAvx2};
constexpr ResampleLaneKernels kSse2Kernels{resampleAcrossSse2, resampleDownSse2,
                                           gatherLanesSse2, scatterLanesSse2};
bool hasAvx2() { return processorHasAvx2Fma(); }
#else
constexpr bool kX86Kernels = false;
constexpr ResampleLaneKernels kAvx2Kernels{};
constexpr ResampleLaneKernels kSse2Kernels{};
bool hasAvx2() { return false; }
#endif
#if defined(QUILLORN_WASM_KERNELS)
constexpr bool kWasmKernels = true;
constexpr ResampleLaneKernels kWasmLaneKernels{
    resampleAcrossWasm, resampleDownWasm, gatherLanesWasm, scatterLanesWasm};
#else
constexpr bool kWasmKernels = false;
constexpr ResampleLaneKernels kWasmLaneKernels{};
#endif
constexpr ResampleLaneKernels kPlainKernels{resampleAcrossPlain,
                                            resampleDownPlain, gatherLanesPlain,
                                            scatterLanesPlain};

bool anyProcessor() { return true; }

struct EngineRow {
  ResampleEngine engine;
  bool built;              // this build has the engine
  bool (*processorHas)();  // the processor can run it
  const ResampleLaneKernels* kernels;
};

constexpr EngineRow kEngines[] = {
    {ResampleEngine::kLanesAvx2, kX86Kernels, hasAvx2, &kAvx2Kernels},
    {ResampleEngine::kLanesSse2, kX86Kernels, anyProcessor, &kSse2Kernels},
    {ResampleEngine::kLanesWasm, kWasmKernels, anyProcessor, &kWasmLaneKernels},
    {ResampleEngine::kLanesPlain, true, anyProcessor, &kPlainKernels},
    {ResampleEngine::kLibrary, true, anyProcessor, nullptr},
};

// The column taps of every call, kept from band to band while they take
// no more than this; a wider map computes each call's again in each band.
constexpr int64_t kColumnTapBytes = 2 << 20;

// The most a band's rows filtered across (one call's columns) and a call's
// lanes may take. Past it (reductions by hundreds, where one result row
// reads thousands of source rows or columns) the library's calls, which
// stream the rows, resample the band: the same bits.
constexpr int64_t kLaneBytes = 4 << 20;

}  // namespace

ResampleEngine chooseResampling(ResampleEngine first) {
  for (const EngineRow& row : kEngines) {
    if (row.engine >= first && row.built && row.processorHas()) {
      return row.engine;
    }
  }
  return ResampleEngine::kLibrary;
}

const ResampleLaneKernels* resampleKernelsOf(ResampleEngine engine) {
  for (const EngineRow& row : kEngines) {
    if (row.engine == engine) {
      return row.built && row.processorHas() ? row.kernels : nullptr;
    }
  }
  return nullptr;
}

BandResampler::BandResampler(const Axis& across, const Axis& down,
                             ResampleEngine engine, WorkingMemory* memory)
    : across_(across),
      down_(down),
      kernels_(resampleKernelsOf(chooseResampling(engine))),
      memory_(memory),
      acrossRows_(memory),
      lanes_(memory) {
  calls_.resize(static_cast<size_t>((across.to - 1) / kColumnsPerCall + 1));
  for (int32_t left = 0; left < across.to; left += kColumnsPerCall) {
    int32_t firstColumn, lastColumn;
    sourceSpan(across, left, std::min(across.to, left + kColumnsPerCall),
               &firstColumn, &lastColumn);
    widestSpan_ = std::max(widestSpan_, lastColumn - firstColumn);
  }
}

BandResampler::~BandResampler() { count(-counted_); }

void BandResampler::count(int64_t bytes) {
  counted_ += bytes;
  memory_->held += bytes;
  memory_->peak = std::max(memory_->peak, memory_->held);
}

bool BandResampler::reserve(int64_t rowFloats, int64_t laneFloats) {
  if (rowFloats > rowFloats_) {
    releaseWorking(acrossRows_.data, memory_);
    acrossRows_.data = nullptr;
    if (!acrossRows_.allocate(rowFloats)) return false;
    rowFloats_ = rowFloats;
  }
  if (laneFloats > laneFloats_) {
    releaseWorking(lanes_.data, memory_);
    lanes_.data = nullptr;
    if (!lanes_.allocate(laneFloats)) return false;
    laneFloats_ = laneFloats;
  }
  return true;
}

const AxisTaps& BandResampler::columnTaps(int32_t call, int32_t left,
                                          int32_t right, int32_t firstColumn,
                                          int32_t lastColumn) {
  AxisTaps& kept = calls_[static_cast<size_t>(call)];
  if (!kept.start.empty()) return kept;
  AxisTaps taps;
  libraryTaps(across_, libraryShift(across_, left, firstColumn),
              lastColumn - firstColumn, right - left, &taps);
  if (counted_ + taps.bytes() <= kColumnTapBytes) {
    count(taps.bytes());
    kept = std::move(taps);
    return kept;
  }
  count(taps.bytes() - spare_.bytes());
  spare_ = std::move(taps);
  return spare_;
}

bool BandResampler::runLibrary(const float* slab, int32_t stride, int32_t first,
                               int32_t last, int32_t begin, int32_t end,
                               float* results) {
  for (int32_t left = 0; left < across_.to; left += kColumnsPerCall) {
    const int32_t right = std::min(across_.to, left + kColumnsPerCall);
    int32_t firstColumn, lastColumn;
    sourceSpan(across_, left, right, &firstColumn, &lastColumn);
    SlabCall call;
    call.source = slab + firstColumn;
    call.columns = lastColumn - firstColumn;
    call.rows = last - first;
    call.stride = stride * static_cast<int32_t>(sizeof(float));
    call.results = results + left;
    call.resultColumns = right - left;
    call.resultRows = end - begin;
    call.resultStride = across_.to * static_cast<int32_t>(sizeof(float));
    call.shiftAcross = libraryShift(across_, left, firstColumn);
    call.shiftDown = libraryShift(down_, begin, first);
    if (!resampleSlab(call, across_, down_, memory_)) return false;
  }
  return true;
}

const AxisTaps& BandResampler::rowTaps(float shift, int32_t inputs,
                                       int32_t outputs) {
  // Bands of the same depth and offset share their taps down (all but the
  // first and last, when the ratio is a whole number or its inverse).
  if (downTaps_.start.empty() || shift != downShift_ || inputs != downInputs_ ||
      outputs != downOutputs_) {
    count(-downTaps_.bytes());
    libraryTaps(down_, shift, inputs, outputs, &downTaps_);
    count(downTaps_.bytes());
    downShift_ = shift;
    downInputs_ = inputs;
    downOutputs_ = outputs;
  }
  return downTaps_;
}

void BandResampler::filterAcross(const float* slab, int32_t stride, int32_t low,
                                 int32_t high, int32_t firstColumn,
                                 int32_t span, const AxisTaps& taps,
                                 int32_t width) {
  // The lanes, then a row of zeros for the lanes past the last row and a
  // row their results go to (reserved by the caller).
  float* sourceLanes = lanes_.data;
  float* resultLanes = sourceLanes + int64_t{span} * kResampleLanes;
  float* zeros = resultLanes + int64_t{width} * kResampleLanes;
  float* unused = zeros + span;
  std::fill(zeros, zeros + span, 0.0f);
  for (int32_t row = low; row <= high; row += kResampleLanes) {
    const float* from[kResampleLanes];
    float* into[kResampleLanes];
    for (int32_t r = 0; r < kResampleLanes; ++r) {
      const bool real = row + r <= high;
      from[r] = real ? slab + int64_t{row + r} * stride + firstColumn : zeros;
      into[r] =
          real ? acrossRows_.data + int64_t{row + r - low} * width : unused;
    }
    kernels_->gather(from, span, sourceLanes);
    kernels_->across(sourceLanes, taps.start.data(), taps.index.data(),
                     taps.weight.data(), width, resultLanes);
    kernels_->scatter(resultLanes, width, into);
  }
}

bool BandResampler::run(const float* slab, int32_t stride, int32_t first,
                        int32_t last, int32_t begin, int32_t end,
                        float* results) {
  if (kernels_ == nullptr) {
    return runLibrary(slab, stride, first, last, begin, end, results);
  }
  const AxisTaps& downTaps =
      rowTaps(libraryShift(down_, begin, first), last - first, end - begin);
  // Only the rows the sums down read are filtered across.
  int32_t low = last - first, high = -1;
  for (int32_t row : downTaps.index) {
    low = std::min(low, row);
    high = std::max(high, row);
  }
  const int32_t used = std::max(high - low + 1, 0);
  const int64_t widest = std::min(across_.to, kColumnsPerCall);
  if (int64_t{used} * widest * int64_t{sizeof(float)} > kLaneBytes ||
      (int64_t{widestSpan_} + widest) * kResampleLanes *
              int64_t{sizeof(float)} >
          kLaneBytes) {
    return runLibrary(slab, stride, first, last, begin, end, results);
  }
  int32_t mostTaps = 0;
  for (size_t o = 0; o + 1 < downTaps.start.size(); ++o) {
    mostTaps = std::max(mostTaps, downTaps.start[o + 1] - downTaps.start[o]);
  }
  std::vector<const float*> rows(static_cast<size_t>(mostTaps));
  bool done = true;
  for (int32_t left = 0; left < across_.to && done; left += kColumnsPerCall) {
    const int32_t right = std::min(across_.to, left + kColumnsPerCall);
    const int32_t width = right - left;
    int32_t firstColumn, lastColumn;
    sourceSpan(across_, left, right, &firstColumn, &lastColumn);
    const AxisTaps& taps = columnTaps(left / kColumnsPerCall, left, right,
                                      firstColumn, lastColumn);
    const int32_t span = lastColumn - firstColumn;
    // The lanes, a row of zeros and a row for the unused lanes' results.
    if (!reserve(std::max<int64_t>(int64_t{used} * width, 1),
                 (int64_t{span} + width) * (kResampleLanes + 1) + span)) {
      done = false;
      break;
    }
    filterAcross(slab, stride, low, high, firstColumn, span, taps, width);
    for (int32_t o = 0; o < end - begin; ++o) {
      const int32_t from = downTaps.start[static_cast<size_t>(o)];
      const int32_t to = downTaps.start[static_cast<size_t>(o) + 1];
      for (int32_t t = from; t < to; ++t) {
        rows[static_cast<size_t>(t - from)] =
            acrossRows_.data +
            int64_t{downTaps.index[static_cast<size_t>(t)] - low} * width;
      }
      kernels_->down(rows.data(), downTaps.weight.data() + from, to - from,
                     width, results + int64_t{o} * across_.to + left);
    }
  }
  return done;
}
