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
