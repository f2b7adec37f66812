// A band of rows resampled along both axes, as the library does it call by
// call (kColumnsPerCall result columns, the band's rows, each call's
// positions from its own first sample), by the engine a resampling asks
// for: the library's own calls, or its weights (libraryTaps) summed by the
// vector kernels (resampling_lanes), across on kResampleLanes source rows at
// once, then down along the result's columns. Both give the same bits;
// bands whose lanes would take more than a few megabytes (reductions by
// hundreds) go to the library's calls, which stream their rows.
#ifndef QUILLORN_PROCESSING_RESAMPLING_PASSES_H_
#define QUILLORN_PROCESSING_RESAMPLING_PASSES_H_

#include <cstdint>
#include <vector>

#include "processing/resampling.h"
#include "processing/resampling_axis.h"
#include "processing/resampling_lanes.h"
#include "processing/resampling_library.h"

// The engine, first or any after it, that this build and the processor
// running the tool have. kLibrary is always there.
ResampleEngine chooseResampling(
    ResampleEngine first = ResampleEngine::kLanesAvx2);

// The kernels of a lane engine where this build has them and the processor
// can run them; nullptr otherwise and for kLibrary.
const ResampleLaneKernels* resampleKernelsOf(ResampleEngine engine);

// Resamples bands of one resampling (across.from x down.from to across.to x
// down.to), its working buffers and the column taps, which every band
// shares, kept from band to band.
class BandResampler {
 public:
  // engine as chooseResampling takes it; memory counts the buffers.
  BandResampler(const Axis& across, const Axis& down, ResampleEngine engine,
                WorkingMemory* memory);
  ~BandResampler();
  BandResampler(const BandResampler&) = delete;
  BandResampler& operator=(const BandResampler&) = delete;

  // Source rows [first, last) (the odd extension past the map's ends), at
  // slab (its column 0 of row first; across.reach columns of extension on
  // either side, rows stride floats apart), into result rows [begin, end)
  // at results, rows across.to floats apart. False when working memory
  // cannot be had.
  bool run(const float* slab, int32_t stride, int32_t first, int32_t last,
           int32_t begin, int32_t end, float* results);

 private:
  bool runLibrary(const float* slab, int32_t stride, int32_t first,
                  int32_t last, int32_t begin, int32_t end, float* results);
  const AxisTaps& columnTaps(int32_t call, int32_t left, int32_t right,
                             int32_t firstColumn, int32_t lastColumn);
  // The taps down of a band, the last band's again where they agree.
  const AxisTaps& rowTaps(float shift, int32_t inputs, int32_t outputs);
  // Slab rows [low, high] of one call's columns [firstColumn, firstColumn
  // + span) filtered across by taps into acrossRows_, rows width apart.
  void filterAcross(const float* slab, int32_t stride, int32_t low,
                    int32_t high, int32_t firstColumn, int32_t span,
                    const AxisTaps& taps, int32_t width);
  // Buffers of at least rowFloats and laneFloats floats; false without.
  bool reserve(int64_t rowFloats, int64_t laneFloats);
  void count(int64_t bytes);

  Axis across_;
  Axis down_;
  const ResampleLaneKernels* kernels_;
  WorkingMemory* memory_;
  int32_t widestSpan_ = 0;  // the most source columns a call reads
  // Column taps per call while they fit their budget; past it, one kept
  // for the call at hand.
  std::vector<AxisTaps> calls_;
  AxisTaps spare_;
  // The last band's taps down, and what they were made for.
  AxisTaps downTaps_;
  float downShift_ = 0.0f;
  int32_t downInputs_ = 0;
  int32_t downOutputs_ = 0;
  int64_t counted_ = 0;
  FloatBuffer acrossRows_;  // the band's rows filtered across, one call
  int64_t rowFloats_ = 0;
  FloatBuffer lanes_;  // source and result lanes
  int64_t laneFloats_ = 0;
};

#endif  // QUILLORN_PROCESSING_RESAMPLING_PASSES_H_
