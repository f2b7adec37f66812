// Filling holes of nodata from the valid heights around them ("-fill"):
// each marked height within reach of valid ones becomes their inverse
// distance weighted mean, as GIS fill tools make it, so that voids and
// holes vanish instead of standing as pits; marks farther off keep their
// height (a sea marked nodata stays flat).
#ifndef QUILLORN_PROCESSING_NODATA_FILL_H_
#define QUILLORN_PROCESSING_NODATA_FILL_H_

#include <cstdint>

#include "image/height_planes.h"
#include "image/progress.h"
#include "processing/nodata_fill_rule.h"

// The most samples a fill reaches, and its default reach.
constexpr int32_t kDefaultFillReach = 100;

// For every height of the width x height target planes (base 256) whose
// mark is not 0: looks from it in the eight directions (across, down and
// diagonally) for the nearest unmarked height within reach samples (a
// diagonal step counts sqrt(2)), and gives it the mean of those it found,
// each weighted 1 / distance^2, rounded (halves up); none found, it keeps
// its height. Only unmarked heights are read, so the order does not
// matter. The marks of filled heights are cleared, those of kept ones
// become 1 (reach 0 keeps every one). Takes 24 bytes a column of working
// memory; when that cannot be had, nothing changes and the outcome is not
// complete. Reports rows done to progress.
FillOutcome fillNodata(PlaneSet* planes, BytePlane* marks, int32_t width,
                       int32_t height, int32_t reach,
                       const Progress* progress = nullptr);

// Clears the marks of a width x height map, writing only where one is.
void clearMarks(BytePlane* marks, int32_t width, int32_t height);

// The value that stands for nodata in a 16-bit output of the width x
// height target planes (base 256) where marks are not 0: 65535 when no
// unmarked height takes it, else 0 when none takes that, else kNoNodata
// (every value is a height).
int32_t chooseNodataHeight(const PlaneSet& planes, const BytePlane& marks,
                           int32_t width, int32_t height);

#endif  // QUILLORN_PROCESSING_NODATA_FILL_H_
