// The stages of a run between opening its files and committing them, as one
// table in their order: read, fill, window, turn, resample, scale, smooth,
// shift, write the heights and the picture. Each stage is a function over the
// run's state, which holds the heights as byte planes or, for a float
// input, as floats, and what they stand for.
#ifndef QUILLORN_APP_RUN_STAGES_H_
#define QUILLORN_APP_RUN_STAGES_H_

#include <ostream>
#include <string>
#include <vector>

#include "app/run_files.h"
#include "app/run_options.h"
#include "app/run_report.h"
#include "app/run_state.h"
#include "app/run_writing.h"
#include "image/height_planes.h"

// One stage: its name, what it does, and its function, which prints its
// progress lines and returns false (state->error set) on a failure.
struct RunStage {
  const char* name;
  const char* does;
  bool (*run)(RunState* state);
};

// Every stage, in the order a run takes them.
const std::vector<RunStage>& runStageTable();

// "Reading input header...", "Initializing temp arrays...", "Reading input
// height...": the heights made (floats for a float input) and read.
bool readStage(RunState* state);

// Elevation data's nodata filled within -fill's reach, and what the read
// heights stand for.
bool fillStage(RunState* state);

// The window of -crop or -bounds cut out of the map, in its own memory.
bool windowStage(RunState* state);

// The flips and turns of the command line, as one permutation.
bool turnStage(RunState* state);

// The map resampled to -size's or -fit's size.
bool resampleStage(RunState* state);

// "Converting...", and -sca's factor or normalization.
bool scaleStage(RunState* state);

// "Smooth x<n>": -smo's passes.
bool smoothStage(RunState* state);

// "Minimum elevation <n>": -min's shift.
bool minimumStage(RunState* state);

// Runs every stage of the table, printing each progress line before it;
// the byte planes it allocates stay in planes for the caller to release,
// counts gathers what each stage clamped or wrapped, and written what the
// heights written stand for. False with error set on a failure (error
// empty when its ERROR line was printed already).
bool runStages(RunFiles* files, const RunOptions& options, PlaneSet* planes,
               StageCounts* counts, WrittenHeights* written,
               std::ostream& console, std::ostream& diagnostics,
               std::string* error);

#endif  // QUILLORN_APP_RUN_STAGES_H_
