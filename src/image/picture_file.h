// Colour pictures for people to look at (not height maps): PNG where the
// build has it, else a 24-bit bitmap.
#ifndef QUILLORN_IMAGE_PICTURE_FILE_H_
#define QUILLORN_IMAGE_PICTURE_FILE_H_

#include <cstdint>
#include <functional>
#include <string>

#include "platform/files.h"

// Makes count pixels from column on of image row row (0 = top) as red,
// green, blue triples.
using PictureRow = std::function<void(int32_t row, int32_t column,
                                      int32_t count, uint8_t* rgb)>;

// Writes a width x height picture to output, row by row: an 8-bit colour PNG
// when png, else a 24-bit bottom-up bitmap with the standard 54-byte header.
// Rows are made in pieces of at most a few hundred kilobytes; a bitmap's
// are written in them, a PNG's (which its library takes whole) joined.
bool writePicture(FileStream* output, bool png, int32_t width, int32_t height,
                  const PictureRow& makeRow, std::string* error);

#endif  // QUILLORN_IMAGE_PICTURE_FILE_H_
