// The terminal the tool may draw progress on.
#ifndef QUILLORN_PLATFORM_TERMINAL_H_
#define QUILLORN_PLATFORM_TERMINAL_H_

// True when standard error is a terminal, where bars are worth drawing.
bool standardErrorIsTerminal();

// The width in columns of the terminal behind standard error, or 0 when it
// is not a terminal or its width cannot be learned.
int standardErrorColumns();

// Hands a stage's progress (its label, percent done from 0 to 100) to a
// host that shows it besides any terminal: the page around the browser
// build; nothing on other systems.
void showStageProgress(const char* label, int percent);

// Where the tool's documentation is read on this system: "man quillorn"
// where manual pages are installed, "README.md" (which comes with the
// program) on Windows, which has none.
const char* documentationPlace();

// What the system says of the console the tool was started in.
struct ConsoleFacts {
  // Processes attached to the console, the tool included (Windows'
  // GetConsoleProcessList); 0 where there is no console of that kind.
  int processes = 0;
  bool inputIsConsole = false;   // standard input reads the console
  bool outputIsConsole = false;  // standard output writes to it
  bool errorIsConsole = false;   // standard error writes to it
};

// The facts of this process's console; on POSIX systems, no console.
ConsoleFacts consoleFacts();

#endif  // QUILLORN_PLATFORM_TERMINAL_H_
