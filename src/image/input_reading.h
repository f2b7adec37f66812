// Reading an input in whichever format it is: its header checked, then its
// heights into byte planes or its samples into a float plane.
#ifndef QUILLORN_IMAGE_INPUT_READING_H_
#define QUILLORN_IMAGE_INPUT_READING_H_

#include <string>

#include "image/float_heights.h"
#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/input_image.h"
#include "image/progress.h"
#include "platform/files.h"

// Reads and checks the input's header, as request says (raw heights are
// square unless request.rawSize gives the size; an SRTM tile is square).
// Checks every size before anything is allocated. On failure error is the
// message.
bool inspectInput(FileStream* input, const ReadRequest& request,
                  InputImage* image, std::string* error);

// Reads the heights into the source planes: a bitmap's as it always has in
// base 255 (widened to base 256 when the planes are), every other format's
// samples as base-256 heights, blue left as it is (planes of BlueUse::kMarks:
// zero) but for the nodata that elevation readers mark 1 (elevation samples
// mapped as image->mapping then says). Plane row 0 is the top row.
bool readInputHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress);

// True when the input's heights are read as floats and stay so to the
// output: float samples (raw floats, PFM, OpenEXR, float TIFFs) and integer
// TIFFs of more than 16 bits, unless -unit asks for steps.
bool readsAsFloats(const InputImage& image);

// The type of a float input's samples, as the file has them.
SampleType floatSampleType(const InputImage& image);

// Reads a float input's samples once into a float plane of its size, as
// they stand in the file's units (a TIFF's through its band's scale and
// offset), nodata as NaN (raw floats, PFM and OpenEXR keep their
// infinities); image->mapping.nodata counts the nodata. Plane row 0 is the
// top row.
bool readInputFloats(FileStream* input, InputImage* image, FloatPlane* floats,
                     std::string* error, const Progress* progress);

// Frees what the input holds open (the PNG or TIFF decoder); safe to
// repeat.
void releaseInput(InputImage* image);

#endif  // QUILLORN_IMAGE_INPUT_READING_H_
