// A console window that belongs to the tool alone: Windows opens one for a
// program started from Explorer or given a file dropped on it, and closes
// it the moment the program ends, before anyone could read its lines.
#ifndef QUILLORN_APP_CONSOLE_WINDOW_H_
#define QUILLORN_APP_CONSOLE_WINDOW_H_

#include <istream>
#include <ostream>

#include "platform/terminal.h"

// The line that keeps such a window open.
constexpr const char* kCloseWindowPrompt = "Press Enter to close this window.";

// True when the window is the tool's own: no other process shares the
// console (not cmd, PowerShell, a batch file or another program), and
// standard input, output and error all are that console (nothing
// redirected).
bool ownsConsoleWindow(const ConsoleFacts& facts);

// Tells someone who dropped one file on the program how to run it from a
// console instead, with that file's name filled into an example.
void explainDroppedFile(const char* program, const char* dropped,
                        std::ostream& diagnostics);

// The whole program as runCommandLine runs it; in a window the tool owns,
// it then explains a single dropped file, writes kCloseWindowPrompt to
// diagnostics and waits for a line (or the end) of keyboard. Standard
// output and the status are those of runCommandLine.
int runInConsoleWindow(int argc, const char* const* argv,
                       const ConsoleFacts& facts, std::istream& keyboard,
                       std::ostream& console, std::ostream& diagnostics);

#endif  // QUILLORN_APP_CONSOLE_WINDOW_H_
