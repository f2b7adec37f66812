// One conversion from the command line's switches to "Done!", each step in
// the order it happens.
#ifndef QUILLORN_APP_RUN_H_
#define QUILLORN_APP_RUN_H_

#include <ostream>

// Converts argv[1] into argv[2] as argv[3...] ask (argc >= 3), printing
// the progress lines and any "ERROR: " line to console, the reasons and
// warnings to diagnostics. True once every output is in place and "Done!"
// printed; after a failure the input and any old output stay as they were.
// A console that takes no lines, at the start or before the outputs are
// replaced, fails the run with no line of its own.
bool convertHeightMap(int argc, const char* const* argv, std::ostream& console,
                      std::ostream& diagnostics);

#endif  // QUILLORN_APP_RUN_H_
