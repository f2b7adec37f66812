// Conversions between file rows and plane rows.
#ifndef QUILLORN_IMAGE_PIXEL_ROWS_H_
#define QUILLORN_IMAGE_PIXEL_ROWS_H_

#include <cstddef>
#include <cstdint>

// Splits count 24-bit pixels (blue, green, red bytes) into three planes' rows.
void splitBgrRow(const uint8_t* bytes, uint8_t* red, uint8_t* green,
                 uint8_t* blue, size_t count);

// Joins three planes' rows into count 24-bit pixels (blue, green, red).
void joinBgrRow(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                uint8_t* bytes, size_t count);

// Splits count 16-bit samples (two bytes each) into two planes' rows: the
// first byte of each to first, the second to second. Little-endian samples
// split into (low, high), big-endian ones into (high, low).
void splitPairRow(const uint8_t* bytes, uint8_t* first, uint8_t* second,
                  size_t count);

// Joins two planes' rows into count two-byte samples, first byte first.
void joinPairRow(const uint8_t* first, const uint8_t* second, uint8_t* bytes,
                 size_t count);

// Rewrites count heights of a plane pair from base 255 to base 256 (red the
// low byte, green the high byte), in place.
void widenRow(uint8_t* red, uint8_t* green, size_t count);

// The 24-bit pixels (blue 0) of count heights of a base-256 pair, each
// clamped to 0 ... 65279 and stored in base 255; returns how many were
// clamped.
int64_t narrowBgrRow(const uint8_t* red, const uint8_t* green, uint8_t* bytes,
                     size_t count);

#endif  // QUILLORN_IMAGE_PIXEL_ROWS_H_
