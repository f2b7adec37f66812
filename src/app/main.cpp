// The quillorn executable: everything but the process boundary lives in the
// library, so that tests and the fuzzer drive the same code in-process.
#include <iostream>

#include "app/console_window.h"
#include "platform/terminal.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "platform/wide_text_windows.h"

// Windows hands over the command line in UTF-16; the tool works in UTF-8
// throughout and converts back only where it calls the system.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int index = 0; index < argc; ++index) {
    arguments.push_back(utf8FromWide(argv[index]));
  }
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.c_str());
  }
  return runInConsoleWindow(argc, pointers.data(), consoleFacts(), std::cin,
                            std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
  return runInConsoleWindow(argc, argv, consoleFacts(), std::cin, std::cout,
                            std::cerr);
}
#endif
