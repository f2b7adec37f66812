// Little-endian field access for file formats, by shifts, independent of the
// host's byte order and alignment.
#ifndef QUILLORN_IMAGE_LITTLE_ENDIAN_H_
#define QUILLORN_IMAGE_LITTLE_ENDIAN_H_

#include <cstdint>
#include <cstring>

// Reads the 16-bit value stored at bytes[0..1].
inline uint16_t loadLe16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// Reads the 32-bit value stored at bytes[0..3].
inline uint32_t loadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) |
         (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) |
         (static_cast<uint32_t>(bytes[3]) << 24);
}

// Writes value into bytes[0..1].
inline void storeLe16(uint8_t* bytes, uint16_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
}

// Writes value into bytes[0..3].
inline void storeLe32(uint8_t* bytes, uint32_t value) {
  bytes[0] = static_cast<uint8_t>(value);
  bytes[1] = static_cast<uint8_t>(value >> 8);
  bytes[2] = static_cast<uint8_t>(value >> 16);
  bytes[3] = static_cast<uint8_t>(value >> 24);
}

// True on a little-endian host, whose 16-bit samples in memory are in the
// order raw height files store them.
inline bool hostIsLittleEndian() {
  const uint16_t probe = 1;
  uint8_t first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

#endif  // QUILLORN_IMAGE_LITTLE_ENDIAN_H_
