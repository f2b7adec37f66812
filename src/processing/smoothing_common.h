// What both smoothing engines (smoothing_rows, smoothing_lanes) share: rows
// decoded and encoded, the one mean that can wrap, the working memory they
// may take and the run of passes in groups.
#ifndef QUILLORN_PROCESSING_SMOOTHING_COMMON_H_
#define QUILLORN_PROCESSING_SMOOTHING_COMMON_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "image/height_planes.h"
#include "image/progress.h"

// Decodes width heights of planes in base (255 or 256) into heights.
void decodeHeightRow(int32_t base, const uint8_t* red, const uint8_t* green,
                     uint32_t* heights, int32_t width);
// Encodes width heights (0 ... 65535, below 65280 in base 255) into planes.
void encodeHeightRow(int32_t base, const uint32_t* heights, uint8_t* red,
                     uint8_t* green, int32_t width);

// True when the first pass's mean of cell (0, 0) is 65280, which base 255
// stores as 0: every neighbour of the cell in the image holds 65280. No
// other mean can wrap: each other cell has a neighbour already smoothed in
// its pass (to the left or above), which holds less, and after the first
// pass no cell holds 65280 (planes in base, 255 or 256).
bool firstMeanWraps(const BytePlane& red, const BytePlane& green, int32_t width,
                    int32_t height, HeightValue base);

// The working memory smoothing may take beside the planes, in bytes.
size_t smoothingBudget(int32_t width, int32_t height);

// Runs passes in groups of at most group, each by runGroup(passes of the
// group, bands done before it, bands in all), bands counted over every
// pass; stops after a group whose last pass changed nothing (runGroup
// returns false), and reports the whole as done.
template <class RunGroup>
void runPassGroups(int32_t passes, int32_t group, int64_t bands,
                   const Progress* progress, RunGroup runGroup) {
  // In 64 bits, the count cannot wrap near INT32_MAX passes. A pass that
  // changes no height leaves the next one the same picture, so every later
  // pass would change nothing either: the result is complete.
  for (int64_t done = 0; done < passes; done += group) {
    int32_t count =
        static_cast<int32_t>(std::min<int64_t>(group, int64_t{passes} - done));
    if (!runGroup(count, bands * done, bands * passes)) break;
  }
  reportProgress(progress, bands * passes, bands * passes);
}

#endif  // QUILLORN_PROCESSING_SMOOTHING_COMMON_H_
