// A progress bar for long stages, drawn on a terminal's standard error and
// wiped when the stage ends, so standard output stays as it is.
#ifndef QUILLORN_APP_CONSOLE_PROGRESS_H_
#define QUILLORN_APP_CONSOLE_PROGRESS_H_

#include <chrono>
#include <cstdio>
#include <string>

#include "image/progress.h"

// Columns assumed when the terminal does not tell its width.
constexpr int kDefaultColumns = 80;

// Stages shorter than this show no times: they are over before a reader
// could use them.
constexpr double kTimesAfterSeconds = 2.0;

// One bar: a label, the stream it is drawn on (nullptr: drawn nowhere), the
// terminal's width, and what was drawn last.
struct ConsoleProgress {
  std::string label;
  FILE* stream = nullptr;
  int columns = kDefaultColumns;
  int shownPercent = -1;
  long long shownSecond = -1;
  size_t shownWidth = 0;     // characters of the line drawn last
  int reportedPercent = -1;  // handed to showStageProgress last
  std::chrono::steady_clock::time_point started;
  Progress progress;  // hands reports to the bar
};

// Points bar's progress at itself; draws on stream (nullptr for none), in
// lines that never reach the terminal's last column (columns <= 0: the
// default), so that a line never wraps: nothing on a terminal of fewer than
// 5 columns.
void startProgress(ConsoleProgress* bar, const std::string& label, FILE* stream,
                   int columns);

// The line drawn for percent done after elapsed seconds, at most width
// characters: the label, a bar, the percentage, and on a long stage the
// elapsed and remaining time ("1:05 left"). Parts that do not fit go,
// times first, then the bar, then the label's end; "" when not every
// percentage would fit ("100%").
std::string progressLine(const std::string& label, int percent, double elapsed,
                         int width);

// Wipes the bar's line if anything was drawn.
void finishProgress(ConsoleProgress* bar);

#endif  // QUILLORN_APP_CONSOLE_PROGRESS_H_
