#include "app/console_progress.h"

#include <cstring>

namespace {

constexpr int kBarWidth = 30;
// Wide enough to cover the longest label, the bar and the percentage.
constexpr int kLineWidth = 64;

void drawBar(void* context, int64_t done, int64_t total) {
  ConsoleProgress* bar = static_cast<ConsoleProgress*>(context);
  if (bar->stream == nullptr || total <= 0) return;
  // In double: done * 100 overflows for the counts of a huge "-smo".
  int percent = static_cast<int>(static_cast<double>(done) * 100.0 /
                                 static_cast<double>(total));
  // Redrawing only on a new percentage keeps the terminal traffic tiny.
  if (percent == bar->shownPercent) return;
  bar->shownPercent = percent;
  char filled[kBarWidth + 1];
  int marks = percent * kBarWidth / 100;
  for (int index = 0; index < kBarWidth; ++index) {
    filled[index] = index < marks ? '#' : ' ';
  }
  filled[kBarWidth] = '\0';
  std::fprintf(bar->stream, "\r%-20s [%s] %3d%%", bar->label, filled, percent);
  std::fflush(bar->stream);
}

}  // namespace

void startProgress(ConsoleProgress* bar, const char* label, FILE* stream) {
  bar->label = label;
  bar->stream = stream;
  bar->shownPercent = -1;
  bar->progress.update = drawBar;
  bar->progress.context = bar;
}

void finishProgress(ConsoleProgress* bar) {
  if (bar->stream == nullptr || bar->shownPercent < 0) return;
  std::fprintf(bar->stream, "\r%*s\r", kLineWidth, "");
  std::fflush(bar->stream);
  bar->shownPercent = -1;
}
