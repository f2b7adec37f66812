// Resampling in bands of rows: the source decoded to floats a band at a
// time (with the odd extension past its ends), resampled by the library,
// and stored or surveyed; the edges again from the source's edges alone;
// the blue plane's marks to the nearest sample.
#ifndef QUILLORN_PROCESSING_RESAMPLING_BANDS_H_
#define QUILLORN_PROCESSING_RESAMPLING_BANDS_H_

#include <cstdint>
#include <string>

#include "image/height_planes.h"
#include "image/progress.h"
#include "processing/resampling_axis.h"
#include "processing/resampling_library.h"
#include "processing/resampling_passes.h"

// The lowest and highest heights a resampling computed, before they were
// stored.
struct ComputedRange {
  float lowest = 0.0f;
  float highest = 0.0f;
  bool any = false;
};

// Where one pass of a resampling puts its results: stored in result's
// planes as scale x height + offset, or (result nullptr) only surveyed.
struct BandTarget {
  PlaneSet* result = nullptr;
  float scale = 1.0f;
  float offset = 0.0f;
  StoreCount* clamped = nullptr;
  ComputedRange* range = nullptr;
};

// Result rows per band of about bandBytes of floats: as many as the budget
// holds with the source rows they read and one call takes, at least one.
int32_t resampleBandRows(const Axis& across, const Axis& down,
                         int64_t bandBytes);

// One pass over the whole map (source.base: 255 or 256) from across.from x
// down.from to across.to x down.to, in bands of about bandBytes of floats,
// each result row stored or surveyed as target says, filtered by engine
// (chooseResampling). False (error set) when memory for the bands or the
// library's buffers cannot be had.
bool resampleInBands(const PlaneSet& source, const Axis& across,
                     const Axis& down, int64_t bandBytes, ResampleEngine engine,
                     const BandTarget& target, WorkingMemory* memory,
                     std::string* error, const Progress* progress);

// Gives the result's first and last rows and columns again, each from the
// source's own first or last row or column alone: so two parts of a map
// that share an edge, resampled alone, agree on it to the bit, and corners
// are the source's. The filter over a whole map gives the same heights but
// for rounding in the last float bit.
bool resampleEdges(const PlaneSet& source, PlaneSet* result, const Axis& across,
                   const Axis& down, ResampleFilter filter,
                   ResampleEngine engine, const BandTarget& target,
                   WorkingMemory* memory, std::string* error);

// The result's blue: each the nearest source sample's, nothing to do for
// no marks (blueZero) on a result of BlueUse::kMarks.
void resampleBlue(const PlaneSet& source, PlaneSet* result, const Axis& across,
                  const Axis& down, bool blueZero);

#endif  // QUILLORN_PROCESSING_RESAMPLING_BANDS_H_
