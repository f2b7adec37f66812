#include "app/console_window.h"

#include <string>

#include "app/command_line.h"
#include "image/height_formats.h"

namespace {

// The output name of the example: the dropped name with "_out" before its
// ending, kept where it names a 16-bit format and a bitmap's otherwise.
std::string exampleOutput(const std::string& dropped) {
  size_t separator = dropped.find_last_of("/\\");
  size_t dot = dropped.rfind('.');
  bool hasEnding = dot != std::string::npos &&
                   (separator == std::string::npos || dot > separator + 1);
  std::string stem = hasEnding ? dropped.substr(0, dot) : dropped;
  std::string ending = ".bmp";
  if (hasEnding && !isBitmapFormat(outputFormatOf(dropped))) {
    ending = dropped.substr(dot);
  }
  return stem + "_out" + ending;
}

}  // namespace

bool ownsConsoleWindow(const ConsoleFacts& facts) {
  return facts.processes == 1 && facts.inputIsConsole &&
         facts.outputIsConsole && facts.errorIsConsole;
}

void explainDroppedFile(const char* program, const char* dropped,
                        std::ostream& diagnostics) {
  diagnostics << "quillorn: " << dropped
              << ": a map needs an output name too; open Command Prompt and "
                 "run, for example:"
              << std::endl;
  diagnostics << "    \"" << program << "\" \"" << dropped << "\" \""
              << exampleOutput(dropped) << "\"" << std::endl;
  diagnostics << "    \"" << program << "\" --help" << std::endl;
}

int runInConsoleWindow(int argc, const char* const* argv,
                       const ConsoleFacts& facts, std::istream& keyboard,
                       std::ostream& console, std::ostream& diagnostics) {
  int status = runCommandLine(argc, argv, console, diagnostics);
  if (!ownsConsoleWindow(facts)) return status;
  if (argc == 2 && status != kExitSuccess) {
    explainDroppedFile(argv[0], argv[1], diagnostics);
  }
  diagnostics << kCloseWindowPrompt << std::endl;
  std::string line;
  std::getline(keyboard, line);
  return status;
}
