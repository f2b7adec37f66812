// Resampling a float map ("-size", "-fit"): the byte planes' grid and
// kernels, on floats.
#ifndef QUILLORN_PROCESSING_FLOAT_RESAMPLING_H_
#define QUILLORN_PROCESSING_FLOAT_RESAMPLING_H_

#include <string>

#include "image/float_plane.h"
#include "image/progress.h"
#include "processing/resampling.h"

// Replaces plane by the map resampled to request's size.
bool resampleFloatHeights(FloatPlane* plane, const ResampleRequest& request,
                          ResampleOutcome* outcome, std::string* error,
                          const Progress* progress = nullptr);

#endif  // QUILLORN_PROCESSING_FLOAT_RESAMPLING_H_
