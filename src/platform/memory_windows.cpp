#include <cstdlib>

#include "platform/memory.h"

// The C runtime's heap: Windows gives large allocations their own mapping.
void* allocateLargeBlock(size_t bytes) {
  return bytes == 0 ? nullptr : std::malloc(bytes);
}

void releaseLargeBlock(void* block, size_t) { std::free(block); }

size_t largeBlockFootprint(size_t bytes) { return bytes; }
