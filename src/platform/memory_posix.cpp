#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__linux__)
// Blocks from this size up are mapped directly and advised for huge pages;
// smaller ones are not worth a mapping of their own.
constexpr size_t kMappedFrom = 4u << 20;
constexpr size_t kHugePage = 2u << 20;

size_t mappedLength(size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}
#endif

}  // namespace

void* allocateLargeBlock(size_t bytes) {
  if (bytes == 0) return nullptr;
#if defined(__linux__)
  if (bytes >= kMappedFrom) {
    if (bytes > SIZE_MAX - kHugePage) return nullptr;
    size_t length = mappedLength(bytes);
    void* block = mmap(nullptr, length, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#if defined(MADV_HUGEPAGE)
    // Only advice: where the system has no huge pages the block still works.
    madvise(block, length, MADV_HUGEPAGE);
#endif
    return block;
  }
#endif
  return std::malloc(bytes);
}

void releaseLargeBlock(void* block, size_t bytes) {
  if (block == nullptr) return;
  static_cast<void>(bytes);  // only mapped blocks need their length
#if defined(__linux__)
  if (bytes >= kMappedFrom) {
    munmap(block, mappedLength(bytes));
    return;
  }
#endif
  std::free(block);
}
