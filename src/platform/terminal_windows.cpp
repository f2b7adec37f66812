#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform/terminal.h"

bool standardErrorIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

int standardErrorColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
    return 0;
  }
  return info.dwSize.X;
}

namespace {

// True when handle is a console itself, not a file or pipe standing in for
// one.
bool isConsoleHandle(DWORD which) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

ConsoleFacts consoleFacts() {
  ConsoleFacts facts;
  // Two slots tell one process from several; the count is the answer even
  // when the list does not fit.
  DWORD processes[2];
  facts.processes = static_cast<int>(GetConsoleProcessList(processes, 2));
  facts.inputIsConsole = isConsoleHandle(STD_INPUT_HANDLE);
  facts.outputIsConsole = isConsoleHandle(STD_OUTPUT_HANDLE);
  facts.errorIsConsole = isConsoleHandle(STD_ERROR_HANDLE);
  return facts;
}

// A terminal's bar is all there is.
const char* documentationPlace() { return "README.md"; }

void showStageProgress(const char*, int) {}
