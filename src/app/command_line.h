// The command line as a whole: the banner, --version, the help, the usage
// error and the exit statuses around one run.
#ifndef QUILLORN_APP_COMMAND_LINE_H_
#define QUILLORN_APP_COMMAND_LINE_H_

#include <ostream>
#include <string>

// The version the banner shows.
constexpr const char* kVersion = "1.00";

// Exit statuses: a converted file, and every failure (usage, input, output).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

// The second line of every run but help's and the version's, after the
// banner.
constexpr const char* kInterruptHint = "Hit Ctrl+C to exit";

// The usage error: fewer than two paths, a switch where the output
// belongs, or a picture that would replace the input or the output.
constexpr const char* kUsageError =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";

// True for "-h" and "--help", which anywhere on the line ask for the help.
bool isHelpSwitch(const char* argument);

// Prints the help text, a line at a time.
void printHelp(std::ostream& console);

// Prints the usage line and every switch, as the help starts.
void printUsage(std::ostream& diagnostics);

// The whole program: "--version" alone prints the version line; otherwise
// the banner, then help ("-h" or "--help" anywhere), usage (fewer than two
// paths, or a switch where the output belongs) or one run. Returns the
// process's exit status: a failure too when console did not take every
// line, said on diagnostics.
int runCommandLine(int argc, const char* const* argv, std::ostream& console,
                   std::ostream& diagnostics);

#endif  // QUILLORN_APP_COMMAND_LINE_H_
