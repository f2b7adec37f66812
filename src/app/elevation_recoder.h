// The conversion of one height map, the entry a command line hands its
// arguments to.
#ifndef QUILLORN_APP_ELEVATION_RECODER_H_
#define QUILLORN_APP_ELEVATION_RECODER_H_

#include <ostream>

// Performs one conversion, printing its progress lines and any "ERROR: " line
// to console, and the system's reasons and warnings to diagnostics.
class ElevationRecoder {
 public:
  // argv[1] is the input, argv[2] the output, argv[3...] the switches; needs
  // argc >= 3; the banner and the hint line are printed already. The output is
  // replaced only by a complete file: returns false after a failure, having
  // printed its "ERROR: " line and left the input and any existing output as
  // they were. A console that takes no lines, at the start or before the
  // outputs are replaced, fails the run with no line of its own.
  bool run(int argc, const char* const* argv, std::ostream& console,
           std::ostream& diagnostics);
};

#endif  // QUILLORN_APP_ELEVATION_RECODER_H_
