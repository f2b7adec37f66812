// The progress bar of the stage running, drawn on standard error only where
// someone watches a terminal, never on standard output.
#ifndef QUILLORN_APP_STAGE_BAR_H_
#define QUILLORN_APP_STAGE_BAR_H_

#include <cstdio>
#include <string>

#include "app/console_progress.h"
#include "app/run_state.h"
#include "platform/terminal.h"

// One run's bar, as the terminal has it.
struct StageBar {
  ConsoleProgress progress;
  FILE* stream = standardErrorIsTerminal() ? stderr : nullptr;
  int columns = standardErrorColumns();
};

// Runs step(progress) under the state's bar labelled label and returns what
// it returns.
template <typename Step>
auto underBar(RunState* state, const std::string& label, Step step) {
  StageBar* bar = state->bar;
  startProgress(&bar->progress, label, bar->stream, bar->columns);
  auto result = step(&bar->progress.progress);
  finishProgress(&bar->progress);
  return result;
}

#endif  // QUILLORN_APP_STAGE_BAR_H_
