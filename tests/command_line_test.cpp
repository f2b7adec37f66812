#include "app/command_line.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/run_options.h"
#include "app/run_usage.h"
#include "support/bitmap_builder.h"
#include "test_support.h"

namespace {

struct LineRun {
  int status;
  std::string console;
  std::string diagnostics;
};

LineRun runLine(std::vector<const char*> argv) {
  argv.insert(argv.begin(), "quillorn");
  std::ostringstream console, diagnostics;
  LineRun run;
  run.status = runCommandLine(static_cast<int>(argv.size()), argv.data(),
                              console, diagnostics);
  run.console = console.str();
  run.diagnostics = diagnostics.str();
  return run;
}

// Only "-h" and "--help" ask for help.
TEST(CommandLineTest, HelpSwitchesAreExact) {
  for (const char* yes : {"-h", "--help"}) EXPECT_TRUE(isHelpSwitch(yes));
  for (const char* no : {"-H", "-help", "--HELP", "--help=1", "h", ""}) {
    EXPECT_FALSE(isHelpSwitch(no)) << no;
  }
}

// --version alone, help anywhere, a missing output or a switch in its place:
// the banner first, then what each prints, and its exit status.
TEST(CommandLineTest, VersionHelpAndUsageBeforeAnyRun) {
  const std::string banner = "Quillorn v" + std::string(kVersion) + "\n";
  std::ostringstream help, usage;
  printHelp(help);
  printUsage(usage);
  const std::string usageError =
      banner + "Hit Ctrl+C to exit\n" + kUsageError + "\n";
  struct Case {
    std::vector<const char*> argv;
    int status;
    std::string console;
    std::string diagnostics;
  };
  const Case cases[] = {
      {{"--version"}, kExitSuccess, banner + formatsLine() + "\n", ""},
      {{"-h"}, kExitSuccess, banner + help.str(), ""},
      {{"missing.bmp", "out.bmp", "-sca", "x", "--help"},
       kExitSuccess,
       banner + help.str(),
       ""},
      {{}, kExitFailure, usageError, usage.str()},
      {{"--version", "out.bmp"},
       kExitFailure,
       banner + "Hit Ctrl+C to exit\nERROR: Input file not found\n",
       "quillorn: --version: No such file or directory\n"},
      {{"in.bmp"}, kExitFailure, usageError, usage.str()},
      {{"in.bmp", "-smo", "2"}, kExitFailure, usageError, usage.str()},
  };
  for (const Case& c : cases) {
    const LineRun run = runLine(c.argv);
    std::string label;
    for (const char* argument : c.argv) label += std::string(argument) + " ";
    EXPECT_EQ(run.status, c.status) << label;
    EXPECT_EQ(run.console, c.console) << label;
    EXPECT_EQ(run.diagnostics, c.diagnostics) << label;
  }
  // The usage names every switch, in the synopsis and a line of its own.
  for (const SwitchRow& row : switchTable()) {
    EXPECT_NE(usage.str().find(std::string("[") + row.name), std::string::npos)
        << row.name;
    EXPECT_NE(usage.str().find(std::string("\n  ") + row.name + " "),
              std::string::npos)
        << row.name;
  }
  EXPECT_EQ(usage.str().rfind("Usage: quillorn <input> <output> [", 0), 0u);
  const std::string synopsis = usage.str().substr(0, usage.str().find("\n  -"));
  EXPECT_EQ(help.str().rfind(synopsis, 0), 0u);
  EXPECT_NE(help.str().find("\nExit status: 0 when the output was written, -1 "
                            "(255) on any error.\n"),
            std::string::npos);
  EXPECT_NE(formatsLine().find("Formats: BMP, PGM, raw"), std::string::npos);
}

// A console that takes its first limit bytes and then none, as a disk that
// fills during the run.
struct FillingConsole : std::streambuf {
  explicit FillingConsole(size_t limit) : room(limit) {}
  int overflow(int c) override {
    if (room == 0) return traits_type::eof();
    --room;
    return c;
  }
  size_t room;
};

// Lines lost while the run goes on fail it; when that is known before the
// output is replaced (any line but "Done!"), the old output stays.
TEST(CommandLineTest, LinesLostDuringTheRunFailIt) {
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), buildBitmap(BitmapPlan())));
  ProcessResult whole = runInProcess({dir.file("in.bmp"), dir.file("new.bmp")});
  ASSERT_EQ(whole.exitStatus, kExitSuccess);
  std::vector<uint8_t> converted;
  ASSERT_TRUE(readFileBytes(dir.file("new.bmp"), &converted));
  size_t total = 0, firstThree = 0;
  for (size_t index = 0; index < whole.lines.size(); ++index) {
    total += whole.lines[index].size() + 1;
    if (index < 3) firstThree = total;
  }
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  struct Case {
    size_t room;  // the bytes the console takes
    int status;
    std::vector<uint8_t> output;
  };
  const Case cases[] = {
      {total, kExitSuccess, converted},
      {total - 1, kExitFailure, converted},  // "Done!" comes after it
      {firstThree, kExitFailure, old},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), old));
    FillingConsole buffer(c.room);
    std::ostream console(&buffer);
    std::ostringstream diagnostics;
    const std::string input = dir.file("in.bmp"), output = dir.file("out.bmp");
    const char* argv[] = {"quillorn", input.c_str(), output.c_str()};
    EXPECT_EQ(runCommandLine(3, argv, console, diagnostics), c.status)
        << c.room;
    EXPECT_EQ(diagnostics.str(),
              c.status == kExitSuccess
                  ? ""
                  : "quillorn: standard output: the progress lines could not "
                    "be written\n")
        << c.room;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &bytes));
    EXPECT_EQ(bytes, c.output) << c.room;
  }
}

}  // namespace
