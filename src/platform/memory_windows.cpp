#include <cstdlib>

#include "platform/memory.h"

// The C runtime's heap: Windows gives large allocations their own mapping.
void* allocateLargeBlock(size_t bytes) {
  return bytes == 0 ? nullptr : std::malloc(bytes);
}

// Large blocks come from the system already zero, page by page as used.
void* allocateZeroBlock(size_t bytes) {
  return bytes == 0 ? nullptr : std::calloc(bytes, 1);
}

void releaseLargeBlock(void* block, size_t) { std::free(block); }

size_t largeBlockFootprint(size_t bytes) { return bytes; }
