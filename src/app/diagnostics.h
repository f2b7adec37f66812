// The tool's warnings on standard error: one prefix, one line each.
#ifndef QUILLORN_APP_DIAGNOSTICS_H_
#define QUILLORN_APP_DIAGNOSTICS_H_

#include <ostream>
#include <string>

// Writes "quillorn: warning: <text>" as one line on diagnostics.
void warn(std::ostream& diagnostics, const std::string& text);

#endif  // QUILLORN_APP_DIAGNOSTICS_H_
