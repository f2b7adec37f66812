// Buffers for file bytes, allocated without throwing.
#ifndef QUILLORN_IMAGE_BYTE_BUFFER_H_
#define QUILLORN_IMAGE_BYTE_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

// size bytes with unspecified contents, or nullptr when size is negative,
// beyond what the system can address, or not to be had.
inline std::unique_ptr<uint8_t[]> allocateBytes(int64_t size) {
  if (size < 0 || static_cast<uint64_t>(size) > PTRDIFF_MAX) return nullptr;
  return std::unique_ptr<uint8_t[]>(new (std::nothrow)
                                        uint8_t[static_cast<size_t>(size)]);
}

// count floats with unspecified contents, or nullptr as allocateBytes.
inline std::unique_ptr<float[]> allocateFloats(int64_t count) {
  if (count < 0 || static_cast<uint64_t>(count) > PTRDIFF_MAX / sizeof(float)) {
    return nullptr;
  }
  return std::unique_ptr<float[]>(
      new (std::nothrow) float[static_cast<size_t>(count)]);
}

#endif  // QUILLORN_IMAGE_BYTE_BUFFER_H_
