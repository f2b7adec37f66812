// The browser build: standard output and error reach the page line by line
// (Emscripten's print hooks), and the page draws its own bar.
#include <emscripten.h>

#include "platform/terminal.h"

namespace {

// Module.onStageProgress is the page's: absent (a bare module, node), the
// report goes nowhere.
EM_JS(void, callStageProgress, (const char* label, int percent), {
  if (Module.onStageProgress) {
    Module.onStageProgress(UTF8ToString(label), percent);
  }
});

}  // namespace

// Lines carry no carriage returns: the page shows them as they come.
bool standardErrorIsTerminal() { return false; }

int standardErrorColumns() { return 0; }

const char* documentationPlace() { return "man quillorn"; }

void showStageProgress(const char* label, int percent) {
  callStageProgress(label, percent);
}

// The page is no console window.
ConsoleFacts consoleFacts() { return ConsoleFacts(); }
