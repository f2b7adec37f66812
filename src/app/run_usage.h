// The usage, written from the switch table (run_options.h): the synopsis
// and one line a switch, as the help starts and a usage error ends.
#ifndef QUILLORN_APP_RUN_USAGE_H_
#define QUILLORN_APP_RUN_USAGE_H_

#include <ostream>
#include <string>
#include <vector>

// The synopsis, "Usage: quillorn <input> <output>" and one entry a switch,
// broken where the table says.
std::vector<std::string> synopsisLines();

// The usage and every switch, one line each, from the table: the help's
// start, and what a usage error adds on standard error. png: the pictures
// may be PNGs.
std::vector<std::string> usageLines(bool png);

// Prints the usage line and every switch, as the help starts.
void printUsage(std::ostream& diagnostics);

#endif  // QUILLORN_APP_RUN_USAGE_H_
