#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal.h"

bool standardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

int standardErrorColumns() {
  struct winsize size;
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}

// A terminal on POSIX systems is never the program's own window: the
// shell that started the tool keeps it open.
ConsoleFacts consoleFacts() { return ConsoleFacts(); }

// A terminal's bar is all there is.
const char* documentationPlace() { return "man quillorn"; }

void showStageProgress(const char*, int) {}
