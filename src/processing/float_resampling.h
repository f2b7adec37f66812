// Resampling a float map to another grid, by the byte planes' geometry and
// kernels (resampling.h) without their rounding and clamping.
#ifndef QUILLORN_PROCESSING_FLOAT_RESAMPLING_H_
#define QUILLORN_PROCESSING_FLOAT_RESAMPLING_H_

#include <string>

#include "image/float_plane.h"
#include "image/progress.h"
#include "processing/resampling.h"

// Replaces plane by a new plane of request.width x request.height holding
// its values resampled with request.filter, as resampleHeights resamples
// the byte planes: the same corner-aligned grid, the point reflection past
// the edges, the edges again from the source's edges alone (corners keep
// their values exactly), a side whose size does not change copied; the
// results are the kernel's floats, neither rounded nor clamped (keepRange
// has nothing to do). Nodata: a result whose nearest source sample
// (halves to the right and down) is NaN is NaN; one whose kernel reads a
// NaN otherwise takes its nearest source sample's value, so that no hole
// spreads and none is smeared into its surroundings. Works in bands of
// rows of about request.bandBytes beside the old and the new plane; the
// most held at once goes to outcome->workingBytes. A size equal to the
// map's leaves the plane as it is. On failure (no resampler in the build,
// no memory, a size the library cannot take) the plane is untouched and
// error says why. Reports result rows done to progress.
bool resampleFloatHeights(FloatPlane* plane, const ResampleRequest& request,
                          ResampleOutcome* outcome, std::string* error,
                          const Progress* progress = nullptr);

#endif  // QUILLORN_PROCESSING_FLOAT_RESAMPLING_H_
