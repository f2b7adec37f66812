// Memory for whole planes and working bands: blocks made at once (not a
// page at a time as they are first written) that the system may back with
// huge pages, which makes first touching hundreds of megabytes far cheaper.
#ifndef QUILLORN_PLATFORM_MEMORY_H_
#define QUILLORN_PLATFORM_MEMORY_H_

#include <cstddef>

// A block of bytes (> 0) with unspecified contents, or nullptr when the
// memory cannot be had.
void* allocateLargeBlock(size_t bytes);

// A block of bytes (> 0) of zeros whose memory the system makes only as
// each page is first written (reading costs none), or nullptr when it
// cannot be had.
void* allocateZeroBlock(size_t bytes);

// Returns a block from allocateLargeBlock or allocateZeroBlock; bytes as
// allocated. nullptr is ignored.
void releaseLargeBlock(void* block, size_t bytes);

// The memory a block of bytes from allocateLargeBlock takes: on Linux,
// rounded up to whole pages (huge pages from 2 MiB up).
size_t largeBlockFootprint(size_t bytes);

// A block from allocateLargeBlock, released with its owner.
struct LargeBlock {
  void* data = nullptr;
  size_t bytes = 0;

  LargeBlock() = default;
  LargeBlock(const LargeBlock&) = delete;
  LargeBlock& operator=(const LargeBlock&) = delete;
  ~LargeBlock() { releaseLargeBlock(data, bytes); }

  // Holds a new block of size bytes instead; false (holding none) when the
  // memory cannot be had.
  bool allocate(size_t size) {
    releaseLargeBlock(data, bytes);
    bytes = size;
    data = allocateLargeBlock(size);
    return data != nullptr;
  }
};

#endif  // QUILLORN_PLATFORM_MEMORY_H_
