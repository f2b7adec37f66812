#include "app/console_window.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/run_usage.h"
#include "end_to_end_support.h"

namespace {

ConsoleFacts facts(int processes, bool input, bool output, bool error) {
  ConsoleFacts made;
  made.processes = processes;
  made.inputIsConsole = input;
  made.outputIsConsole = output;
  made.errorIsConsole = error;
  return made;
}

// Only a console no other process shares, with nothing redirected, is the
// tool's own window.
TEST(ConsoleWindowTest, OwnsOnlyAnUnsharedConsoleWithNothingRedirected) {
  struct Case {
    ConsoleFacts facts;
    bool owned;
    const char* why;
  };
  const Case cases[] = {
      {facts(1, true, true, true), true, "started from Explorer"},
      {facts(2, true, true, true), false, "started from cmd or PowerShell"},
      {facts(3, true, true, true), false, "a batch file's console"},
      {facts(0, false, false, false), false, "no console (POSIX)"},
      {facts(0, true, true, true), false, "the count could not be had"},
      {facts(1, false, true, true), false, "standard input redirected"},
      {facts(1, true, false, true), false, "standard output redirected"},
      {facts(1, true, true, false), false, "standard error redirected"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ownsConsoleWindow(c.facts), c.owned) << c.why;
  }
  EXPECT_FALSE(ownsConsoleWindow(consoleFacts()))
      << "this system's own console facts";
}

struct WindowRun {
  int status = 0;
  std::string console;
  std::string diagnostics;
  std::string keyboardLeft;
};

WindowRun runInWindow(std::vector<const char*> argv, const ConsoleFacts& with,
                      const std::string& typed) {
  std::istringstream keyboard(typed);
  std::ostringstream console, diagnostics;
  WindowRun run;
  run.status = runInConsoleWindow(static_cast<int>(argv.size()), argv.data(),
                                  with, keyboard, console, diagnostics);
  run.console = console.str();
  run.diagnostics = diagnostics.str();
  std::getline(keyboard, run.keyboardLeft, '\0');
  return run;
}

// In its own window the tool keeps the window open until Enter, after its
// last line, and explains a single dropped file; standard output and the
// status are those of the run without a window, and a shared console never
// waits.
TEST(ConsoleWindowTest, WaitsForEnterOnlyInItsOwnWindow) {
  const std::string usage =
      std::string(kBanner) + "\nHit Ctrl+C to exit\n" + kUsage + "\n";
  const std::string prompt = std::string(kCloseWindowPrompt) + "\n";
  // A usage error shows the usage on standard error, window or not.
  std::ostringstream usageText;
  printUsage(usageText);
  const std::string usageLines = usageText.str();
  const char* dropped = "C:\\Maps v2\\terrain.png";
  struct Case {
    std::vector<const char*> argv;
    bool own;
    int status;
    std::string diagnostics;
    std::string left;  // what the wait left unread
  };
  const std::string exe = "C:\\Tools\\quillorn.exe";
  const std::string hint =
      std::string("quillorn: ") + dropped +
      ": a map needs an output name too; open Command Prompt and run, for "
      "example:\n"
      "    \"" +
      exe + "\" \"" + dropped +
      "\" \"C:\\Maps v2\\terrain_out.png\"\n"
      "    \"" +
      exe + "\" --help\n";
  const Case cases[] = {
      {{exe.c_str(), dropped}, true, -1, usageLines + hint + prompt, "later\n"},
      {{exe.c_str(), dropped}, false, -1, usageLines, "\nlater\n"},
      {{exe.c_str()}, true, -1, usageLines + prompt, "later\n"},
      {{exe.c_str()}, false, -1, usageLines, "\nlater\n"},
  };
  for (const Case& c : cases) {
    ConsoleFacts with =
        c.own ? facts(1, true, true, true) : facts(2, true, true, true);
    WindowRun run = runInWindow(c.argv, with, "\nlater\n");
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.console, usage);
    EXPECT_EQ(run.diagnostics, c.diagnostics);
    EXPECT_EQ(run.keyboardLeft, c.left);
  }
  // The end of input ends the wait as Enter does.
  WindowRun closed =
      runInWindow({exe.c_str(), "--version"}, facts(1, true, true, true), "");
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(closed.diagnostics, prompt);
}

// The example's output keeps a 16-bit format's ending and is a bitmap
// otherwise, with dots in folder names left alone.
TEST(ConsoleWindowTest, ExampleNamesAnOutputBesideTheDroppedFile) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\maps\\a.r16", "C:\\maps\\a_out.r16"},
      {"C:\\maps\\a.BMP", "C:\\maps\\a_out.bmp"},
      {"C:\\maps\\a.jpg", "C:\\maps\\a_out.bmp"},
      {"C:\\maps.v2\\heights", "C:\\maps.v2\\heights_out.bmp"},
      {"C:\\maps\\.hidden", "C:\\maps\\.hidden_out.bmp"},
  };
  for (const auto& [dropped, output] : cases) {
    std::ostringstream diagnostics;
    explainDroppedFile("q.exe", dropped, diagnostics);
    std::string want =
        std::string("\"q.exe\" \"") + dropped + "\" \"" + output + "\"\n";
    EXPECT_NE(diagnostics.str().find(want), std::string::npos)
        << diagnostics.str();
  }
}

}  // namespace
