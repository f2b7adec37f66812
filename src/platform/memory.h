// Memory for whole planes: blocks the system may back with huge pages, which
// makes first touching hundreds of megabytes far cheaper.
#ifndef QUILLORN_PLATFORM_MEMORY_H_
#define QUILLORN_PLATFORM_MEMORY_H_

#include <cstddef>

// A block of bytes (> 0) with unspecified contents, or nullptr when the
// memory cannot be had.
void* allocateLargeBlock(size_t bytes);

// Returns a block from allocateLargeBlock; bytes as allocated. nullptr is
// ignored.
void releaseLargeBlock(void* block, size_t bytes);

#endif  // QUILLORN_PLATFORM_MEMORY_H_
