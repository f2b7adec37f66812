#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

#if defined(__linux__)
// Blocks from this size up are mapped directly and filled in at once;
// smaller ones come from the heap.
constexpr size_t kMappedFrom = size_t{128} << 10;
// From a huge page up, blocks are advised for huge pages and rounded up to
// whole ones.
constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kPage = size_t{4} << 10;

size_t mappedLength(size_t bytes) {
  size_t unit = bytes >= kHugePage ? kHugePage : kPage;
  return (bytes + unit - 1) / unit * unit;
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
    if (length >= kHugePage) madvise(block, length, MADV_HUGEPAGE);
#endif
#if defined(MADV_POPULATE_WRITE)
    // Every page made at once, not one fault at a time as it is first
    // written (far cheaper, on virtual machines above all); and a block the
    // system cannot back is refused now, not met by the out-of-memory
    // killer later. Kernels before 5.14 do not know the advice: their pages
    // come as they are touched.
    if (madvise(block, length, MADV_POPULATE_WRITE) != 0 && errno != EINVAL) {
      munmap(block, length);
      return nullptr;
    }
#endif
    return block;
  }
#endif
  return std::malloc(bytes);
}

void* allocateZeroBlock(size_t bytes) {
  if (bytes == 0) return nullptr;
#if defined(__linux__)
  // Mapped as allocateLargeBlock maps, so that it releases this too, but
  // neither filled in nor advised for huge pages: a mark written costs a
  // page, not two megabytes.
  if (bytes >= kMappedFrom) {
    if (bytes > SIZE_MAX - kHugePage) return nullptr;
    void* block = mmap(nullptr, mappedLength(bytes), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return block == MAP_FAILED ? nullptr : block;
  }
#endif
  return std::calloc(bytes, 1);
}

size_t largeBlockFootprint(size_t bytes) {
#if defined(__linux__)
  if (bytes >= kMappedFrom && bytes <= SIZE_MAX - kHugePage) {
    return mappedLength(bytes);
  }
#endif
  return bytes;
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
