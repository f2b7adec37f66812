// The stages of a run between opening its files and committing them: read,
// shape, convert, smooth, shift, write the heights and the picture.
#ifndef QUILLORN_APP_RUN_STAGES_H_
#define QUILLORN_APP_RUN_STAGES_H_

#include <ostream>
#include <string>

#include "app/run_files.h"
#include "app/run_options.h"
#include "app/run_report.h"
#include "image/height_planes.h"

// Runs every stage, printing each progress line before it; the planes it
// allocates stay in planes for the caller to release, counts gathers what
// each stage clamped or wrapped, and written what the heights written stand
// for. False with error set on a failure (error empty when its ERROR line
// was printed already).
bool runStages(RunFiles* files, const RunOptions& options, PlaneSet* planes,
               StageCounts* counts, WrittenHeights* written,
               std::ostream& console, std::ostream& diagnostics,
               std::string* error);

#endif  // QUILLORN_APP_RUN_STAGES_H_
