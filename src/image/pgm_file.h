// Netpbm greyscale maps: binary P5 and text P2 read, maxval 1 ... 65535;
// P5 of maxval 65535 written. Each sample is the height as it stands, not
// rescaled to the maxval.
#ifndef QUILLORN_IMAGE_PGM_FILE_H_
#define QUILLORN_IMAGE_PGM_FILE_H_

#include <cstdint>
#include <string>

#include "image/height_planes.h"
#include "image/input_image.h"
#include "image/progress.h"
#include "platform/files.h"

// Reads and checks the header (P5 or P2, width, height, maxval 1 ... 65535,
// comments and any whitespace between), filling image.
bool inspectPgm(FileStream* input, int64_t fileSize, InputImage* image,
                std::string* error);

// Reads the samples into base-256 planes.
bool readPgmHeights(FileStream* input, const InputImage& image,
                    PlaneSet* planes, std::string* error,
                    const Progress* progress);

// Writes the header of a P5 map of width x height samples, maxval 65535.
bool writePgmHeader(FileStream* output, int32_t width, int32_t height,
                    std::string* error);

// Writes the target heights of base-256 planes as its samples, two
// big-endian bytes each, the top row first.
bool writePgmHeights(FileStream* output, const PlaneSet& planes, int32_t width,
                     int32_t height, std::string* error,
                     const Progress* progress);

#endif  // QUILLORN_IMAGE_PGM_FILE_H_
