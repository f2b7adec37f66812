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

#endif  // QUILLORN_IMAGE_PIXEL_ROWS_H_
