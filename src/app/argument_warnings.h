// What the command line is told about itself before any file is opened:
// values no switch takes, refused with their ERROR line, and warnings for
// arguments the run ignores or reads other than as they were written.
#ifndef QUILLORN_APP_ARGUMENT_WARNINGS_H_
#define QUILLORN_APP_ARGUMENT_WARNINGS_H_

#include <ostream>

#include "app/run_options.h"

// Names on diagnostics, as warnings, every argument from index 3 on that is
// neither a switch nor the word after one (with the switch it probably
// meant), every repeated switch, and every value read other than as written
// ("-smo 2.9" reads as 2 passes, "-sca 0,5" as 0, which normalizes).
void warnAboutArguments(int argc, const char* const* argv,
                        const RunOptions& options, std::ostream& diagnostics);

// Refuses, with its ERROR line on console, a value no switch takes, an
// output named for a picture format no output is written in (the reason on
// diagnostics), and a picture that is a switch, the input or the output
// (then with the reason and the usage on diagnostics); warns about switches
// the paths make moot. Needs no file opened.
bool checkSwitchValues(const RunOptions& options, const char* inputPath,
                       const char* outputPath, std::ostream& console,
                       std::ostream& diagnostics);

#endif  // QUILLORN_APP_ARGUMENT_WARNINGS_H_
