// What the tool says besides its progress: warnings and the system's
// reasons on standard error, one prefix each, and whether standard output
// took its lines.
#ifndef QUILLORN_APP_DIAGNOSTICS_H_
#define QUILLORN_APP_DIAGNOSTICS_H_

#include <ostream>
#include <string>

#include "platform/files.h"

// Writes "quillorn: warning: <text>" as one line on diagnostics.
void warn(std::ostream& diagnostics, const std::string& text);

// True when every line written to console so far has reached it (flushed
// here).
bool consoleTookLines(std::ostream& console);

// When console did not take every line: one line "quillorn: standard
// output: <reason>" on diagnostics, and true.
bool reportConsoleFailure(std::ostream& console, std::ostream& diagnostics);

// One line "quillorn: <path>: <reason>" when the file has a failure to tell.
void reportFailure(const FileStream& file, std::ostream& diagnostics);

// text as one line of plain text for a terminal: line breaks, tabs and
// every other control character (C0, DEL, and C1 as UTF-8 writes them)
// escaped as \n, \r, \t, \xHH or \u00HH; all else kept byte for byte.
std::string escapedLine(const std::string& text);

// The ERROR line on console (message as escapedLine makes it), then the
// reasons for both files.
void reportRunFailure(const std::string& message, const FileStream& input,
                      const FileStream& output, std::ostream& console,
                      std::ostream& diagnostics);

#endif  // QUILLORN_APP_DIAGNOSTICS_H_
