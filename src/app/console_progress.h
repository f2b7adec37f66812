// A progress bar for long stages, drawn on a terminal's standard error and
// wiped when the stage ends, so standard output stays as it is.
#ifndef QUILLORN_APP_CONSOLE_PROGRESS_H_
#define QUILLORN_APP_CONSOLE_PROGRESS_H_

#include <cstdio>

#include "image/progress.h"

// One bar: a label, the stream it is drawn on (nullptr: drawn nowhere) and
// the percentage drawn last.
struct ConsoleProgress {
  const char* label = "";
  FILE* stream = nullptr;
  int shownPercent = -1;
  Progress progress;  // hands reports to the bar
};

// Points bar's progress at itself; draws on stream (nullptr for none).
void startProgress(ConsoleProgress* bar, const char* label, FILE* stream);

// Wipes the bar's line if anything was drawn.
void finishProgress(ConsoleProgress* bar);

#endif  // QUILLORN_APP_CONSOLE_PROGRESS_H_
