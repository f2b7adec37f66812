// The stages that write a run's results: the output or its tiles with their
// world files and size file, then the relief picture; float heights as
// floats to a format that holds them, else made 16-bit heights.
#ifndef QUILLORN_APP_RUN_WRITING_H_
#define QUILLORN_APP_RUN_WRITING_H_

#include "app/run_state.h"

// The output or its tiles, their world files and the size file: float
// heights as floats to a format that holds them, else as 16-bit heights.
bool writeStage(RunState* state);

// The relief picture of -view, and the highest height written.
bool pictureStage(RunState* state);

#endif  // QUILLORN_APP_RUN_WRITING_H_
