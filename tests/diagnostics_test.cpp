#include "app/diagnostics.h"

#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

namespace {

// A stream's text and how often it was flushed.
struct CountingBuffer : std::stringbuf {
  int syncs = 0;
  int sync() override {
    ++syncs;
    return std::stringbuf::sync();
  }
};

// A warning is one whole line, on its way out before the next is said.
TEST(DiagnosticsTest, WarningsCarryThePrefixAndEndTheirLine) {
  const std::string cases[][2] = {
      {"-sca 0 keeps every height",
       "quillorn: warning: -sca 0 keeps every height\n"},
      {"", "quillorn: warning: \n"},
  };
  for (const auto& c : cases) {
    CountingBuffer buffer;
    std::ostream diagnostics(&buffer);
    warn(diagnostics, c[0]);
    EXPECT_EQ(buffer.str(), c[1]);
    EXPECT_EQ(buffer.syncs, 1) << c[0];
  }
}

// A file's reason only when it has one, an empty name shown as quotes; a
// failed run's ERROR line goes to the console, the reasons input first.
TEST(DiagnosticsTest, FailuresNameTheirFile) {
  FileStream input, output, quiet;
  input.path = "in.bmp";
  input.failure = "Permission denied";
  output.failure = "No space left on device";
  quiet.path = "quiet.bmp";
  std::ostringstream console, diagnostics;
  reportFailure(quiet, diagnostics);
  EXPECT_EQ(diagnostics.str(), "");
  reportRunFailure("Cannot read", input, output, console, diagnostics);
  EXPECT_EQ(console.str(), "ERROR: Cannot read\n");
  EXPECT_EQ(diagnostics.str(),
            "quillorn: in.bmp: Permission denied\n"
            "quillorn: \"\": No space left on device\n");
  // Names and libraries' messages inside the reason stay on one line that
  // no terminal takes as an escape; other text is kept as it is.
  const std::string lines[][2] = {
      {"channel R\nG\r\tB", "ERROR: channel R\\nG\\r\\tB\n"},
      {"name \x1b]0;x\x07\x7f", "ERROR: name \\x1b]0;x\\x07\\x7f\n"},
      {"C1 \xc2\x9b"
       "2J, Gr\xc3\xbcn \xc2\xa0 C:\\maps",
       "ERROR: C1 \\u009b2J, Gr\xc3\xbcn \xc2\xa0 C:\\maps\n"},
  };
  for (const auto& line : lines) {
    std::ostringstream shown, quietReasons;
    reportRunFailure(line[0], quiet, quiet, shown, quietReasons);
    EXPECT_EQ(shown.str(), line[1]);
  }
}

// A console that lost lines is told once on standard error.
TEST(DiagnosticsTest, LostConsoleLinesAreTold) {
  std::ostringstream console, diagnostics;
  console << "Quillorn v1.00\n";
  EXPECT_TRUE(consoleTookLines(console));
  EXPECT_FALSE(reportConsoleFailure(console, diagnostics));
  EXPECT_EQ(diagnostics.str(), "");
  console.setstate(std::ios::badbit);
  EXPECT_FALSE(consoleTookLines(console));
  EXPECT_TRUE(reportConsoleFailure(console, diagnostics));
  const std::string reason = standardOutputFailure();
  EXPECT_EQ(diagnostics.str(),
            "quillorn: standard output: " +
                (reason.empty() ? "the progress lines could not be written"
                                : reason) +
                "\n");
}

}  // namespace
