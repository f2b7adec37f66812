// The terminal the tool may draw progress on.
#ifndef QUILLORN_PLATFORM_TERMINAL_H_
#define QUILLORN_PLATFORM_TERMINAL_H_

// True when standard error is a terminal, where bars are worth drawing.
bool standardErrorIsTerminal();

// The width in columns of the terminal behind standard error, or 0 when it
// is not a terminal or its width cannot be learned.
int standardErrorColumns();

#endif  // QUILLORN_PLATFORM_TERMINAL_H_
