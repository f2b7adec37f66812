// The resampling library, stb_image_resize, behind one call: a slab of
// float heights resampled along both axes, its buffers counted. The
// library's implementation is compiled in resampling_library.cpp alone.
#ifndef QUILLORN_PROCESSING_RESAMPLING_LIBRARY_H_
#define QUILLORN_PROCESSING_RESAMPLING_LIBRARY_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "processing/resampling_axis.h"

// The working memory of one resampling: the bands and the library's
// buffers, with the most held at once.
struct WorkingMemory {
  int64_t held = 0;
  int64_t peak = 0;
};

// bytes from the heap, counted in memory; nullptr when they cannot be had.
void* allocateWorking(size_t bytes, WorkingMemory* memory);

// Returns a block of allocateWorking, counted off memory; nullptr ignored.
void releaseWorking(void* data, WorkingMemory* memory);

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

// One slab of heights and where its results go: the library resamples
// columns x rows floats, rows stride bytes apart, to resultColumns x
// resultRows floats, rows resultStride bytes apart, with the kernels and
// scales of across and down, the first result shifted as shiftAcross and
// shiftDown say (libraryShift).
struct SlabCall {
  const float* source = nullptr;
  int32_t columns = 0;
  int32_t rows = 0;
  int32_t stride = 0;
  float* results = nullptr;
  int32_t resultColumns = 0;
  int32_t resultRows = 0;
  int32_t resultStride = 0;
  float shiftAcross = 0.0f;
  float shiftDown = 0.0f;
};

// Runs one call; false when the library's buffers cannot be had.
bool resampleSlab(const SlabCall& call, const Axis& across, const Axis& down,
                  WorkingMemory* memory);

// The sums one call of the library makes along one axis, in its order and
// with its weights: result sample o is 0 + weight[t] x sample index[t] for t
// from start[o] up to start[o + 1], each product rounded, then added.
// Indices are the call's own samples, those past its ends clamped to them
// as the library clamps them.
struct AxisTaps {
  std::vector<int32_t> start;
  std::vector<int32_t> index;
  std::vector<float> weight;
  // Bytes held, for the working memory's count.
  int64_t bytes() const {
    return static_cast<int64_t>(start.capacity() * sizeof(int32_t) +
                                index.capacity() * sizeof(int32_t) +
                                weight.capacity() * sizeof(float));
  }
};

// The taps of one call along axis (its kernel and scale) from inputs
// samples to outputs, the first result shifted by shift (libraryShift):
// the weights the library computes for that call, to the bit.
void libraryTaps(const Axis& axis, float shift, int32_t inputs, int32_t outputs,
                 AxisTaps* taps);

// The library's offset that puts result sample begin (its first in a call)
// where it belongs when the call's source starts at sample first.
float libraryShift(const Axis& axis, int32_t begin, int32_t first);

#endif  // QUILLORN_PROCESSING_RESAMPLING_LIBRARY_H_
