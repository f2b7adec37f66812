// Raw 16-bit heights (".r16", ".raw": headerless, rows top first, in either
// byte order) and SRTM tiles (".hgt": big-endian signed samples, -32768 a
// void, read only), both sized by the file's length unless -dim gives it.
#ifndef QUILLORN_IMAGE_RAW_FILE_H_
#define QUILLORN_IMAGE_RAW_FILE_H_

#include <cstdint>
#include <string>

#include "image/height_planes.h"
#include "image/input_image.h"
#include "image/progress.h"
#include "platform/files.h"

// Raw heights of sampleBytes each (2, or 4 for floats): the size from -dim
// (rawSize, not nullptr) or, square, from the file's length.
bool inspectRaw(int64_t fileSize, const RasterSize* rawSize,
                int64_t sampleBytes, InputImage* image, std::string* error);

// SRTM tile: square, its side from the file's length.
bool inspectHgt(int64_t fileSize, InputImage* image, std::string* error);

// Raw heights or an SRTM tile: reads the samples into base-256 planes (a
// raw file's in its byte order, noting whether the other order would look
// smoother; a tile's mapped to heights as image->mapping then says).
bool readRawHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                    std::string* error, const Progress* progress);

// Writes the target heights of base-256 planes as width x height 16-bit
// samples, big- or little-endian, the top row first or (southFirst) the
// bottom row first.
bool writeRawHeights(FileStream* output, const PlaneSet& planes, int32_t width,
                     int32_t height, bool bigEndian, bool southFirst,
                     std::string* error, const Progress* progress);

#endif  // QUILLORN_IMAGE_RAW_FILE_H_
