// Raw 32-bit float heights (".r32": headerless, rows top first, in either
// byte order, sized by the file's length or -dim) and portable float maps
// (PFM: a text header, then rows bottom first in the byte order the
// scale's sign gives, read only), both read by the float rule; raw floats
// written as each height's value.
#ifndef QUILLORN_IMAGE_FLOAT_RAW_FILE_H_
#define QUILLORN_IMAGE_FLOAT_RAW_FILE_H_

#include <cstdint>
#include <string>

#include "image/float_heights.h"
#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/input_image.h"
#include "image/progress.h"
#include "platform/files.h"

// PFM: reads and checks the header ("Pf", width, height, the scale whose
// sign gives the byte order), and that the file holds every sample.
bool inspectPfm(FileStream* input, int64_t fileSize, InputImage* image,
                std::string* error);

// Raw 32-bit floats or a PFM: reads the samples twice into base-256 planes,
// mapped as image->mapping then says.
bool readFloatHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress);

// Raw 32-bit floats or a PFM: reads the samples once, bit for bit, into a
// float plane of the image's size, top row first; counts the nodata (NaN
// and the infinities) in image->mapping.nodata.
bool readFloatPlane(FileStream* input, InputImage* image, FloatPlane* floats,
                    std::string* error, const Progress* progress);

// Raw 32-bit floats: writes a float plane's values as they stand, big- or
// little-endian.
bool writeFloatPlane(FileStream* output, const FloatPlane& floats,
                     bool bigEndian, std::string* error,
                     const Progress* progress);

// Raw 32-bit floats: writes the value in values of each of the width x
// height target heights of base-256 planes, big- or little-endian.
bool writeFloatHeights(FileStream* output, const PlaneSet& planes,
                       int32_t width, int32_t height,
                       const WrittenValues& values, bool bigEndian,
                       std::string* error, const Progress* progress);

#endif  // QUILLORN_IMAGE_FLOAT_RAW_FILE_H_
