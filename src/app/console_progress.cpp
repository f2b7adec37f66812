#include "app/console_progress.h"

#include <algorithm>

#include "platform/terminal.h"

namespace {

// The bar never grows past this, however wide the terminal.
constexpr int kMaxBarWidth = 50;
// Below this a bar says too little to be worth its room.
constexpr int kMinBarWidth = 10;
// The narrowest line that shows every percentage: "100%".
constexpr int kNarrowestLine = 4;
// Room kept for the times from a stage's first line to its last, so that
// the bar keeps its width when they appear and when they go: " 9:59:59,
// 9:59:59 left".
constexpr int kTimesRoom = 22;

std::string clock(double seconds) {
  long long whole = static_cast<long long>(seconds);
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600,
                  whole / 60 % 60, whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

void drawBar(void* context, int64_t done, int64_t total) {
  ConsoleProgress* bar = static_cast<ConsoleProgress*>(context);
  if (total <= 0) return;
  // In double: done * 100 overflows for the counts of a huge "-smo".
  int percent = static_cast<int>(static_cast<double>(done) * 100.0 /
                                 static_cast<double>(total));
  // A host with a bar of its own (the web page) gets every new percentage,
  // terminal or not.
  if (percent != bar->reportedPercent) {
    bar->reportedPercent = percent;
    showStageProgress(bar->label.c_str(), percent);
  }
  if (bar->stream == nullptr) return;
  double elapsed = std::chrono::duration<double>(
                       std::chrono::steady_clock::now() - bar->started)
                       .count();
  long long second =
      elapsed >= kTimesAfterSeconds ? static_cast<long long>(elapsed) : -1;
  // Redrawing only on a new percentage or a new second keeps the terminal
  // traffic tiny.
  if (percent == bar->shownPercent && second == bar->shownSecond) return;
  bar->shownPercent = percent;
  bar->shownSecond = second;
  // The last column stays empty: writing there makes some terminals wrap.
  std::string line =
      progressLine(bar->label, percent, elapsed, bar->columns - 1);
  // A shorter line than the last one leaves no remains of it.
  size_t pad =
      bar->shownWidth > line.size() ? bar->shownWidth - line.size() : 0;
  std::fprintf(bar->stream, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
  std::fflush(bar->stream);
  bar->shownWidth = line.size();
}

}  // namespace

std::string progressLine(const std::string& label, int percent, double elapsed,
                         int width) {
  if (width < kNarrowestLine) return std::string();
  char number[16];
  std::snprintf(number, sizeof number, " %3d%%", std::min(percent, 100));
  std::string times;
  if (elapsed >= kTimesAfterSeconds && percent > 0 && percent < 100) {
    double left = elapsed * (100 - percent) / percent;
    times = " " + clock(elapsed) + ", " + clock(left) + " left";
  }
  // Lengths as ints: a terminal line is never near their limit.
  const int labelLength = static_cast<int>(label.size());
  const int numberLength = static_cast<int>(std::string(number).size());
  auto fits = [&](int bar) {
    return labelLength + (bar > 0 ? bar + 3 : 0) + numberLength +
               static_cast<int>(times.size()) <=
           width;
  };
  int bar = std::min(kMaxBarWidth,
                     width - (labelLength + 3 + numberLength + kTimesRoom));
  if (bar < kMinBarWidth || static_cast<int>(times.size()) > kTimesRoom) {
    // No room for times beside a bar: none at any point of the stage.
    times.clear();
    bar = std::min(kMaxBarWidth, width - (labelLength + 3 + numberLength));
  }
  if (bar < kMinBarWidth) bar = 0;
  std::string line = label;
  if (!fits(bar)) {
    int room = width - static_cast<int>(std::string(number).size());
    line = room > 0 ? label.substr(0, static_cast<size_t>(room)) : "";
  }
  if (bar > 0) {
    int marks = std::min(percent, 100) * bar / 100;
    line += " [" + std::string(static_cast<size_t>(marks), '#') +
            std::string(static_cast<size_t>(bar - marks), ' ') + "]";
  }
  line += number;
  line += times;
  if (static_cast<int>(line.size()) > width) {
    // Too narrow for anything but the percentage itself.
    line = std::to_string(std::min(percent, 100)) + "%";
  }
  return line;
}

void startProgress(ConsoleProgress* bar, const std::string& label, FILE* stream,
                   int columns) {
  bar->label = label;
  bar->columns = columns > 0 ? columns : kDefaultColumns;
  // A terminal too narrow for any line gets none (the last column stays
  // empty).
  bar->stream = bar->columns - 1 >= kNarrowestLine ? stream : nullptr;
  bar->shownPercent = -1;
  bar->shownSecond = -1;
  bar->shownWidth = 0;
  bar->reportedPercent = -1;
  bar->started = std::chrono::steady_clock::now();
  bar->progress.update = drawBar;
  bar->progress.context = bar;
}

void finishProgress(ConsoleProgress* bar) {
  if (bar->stream == nullptr || bar->shownPercent < 0) return;
  std::fprintf(bar->stream, "\r%*s\r", static_cast<int>(bar->shownWidth), "");
  std::fflush(bar->stream);
  bar->shownPercent = -1;
  bar->shownWidth = 0;
}
