// Runs the built quillorn as a separate process and checks its lines, its
// exit status and the files it leaves.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "end_to_end_support.h"
#include "support/bitmap_builder.h"
#include "test_support.h"

namespace {

// A 24-bit 4 x 1 input of (blue, green, red) pixels.
std::vector<uint8_t> fourByOne24() {
  BitmapPlan plan;
  plan.width = 4;
  plan.height = 1;
  plan.pixels = {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254};
  return buildBitmap(plan);
}

std::vector<uint8_t> pixelBytes(const std::vector<uint8_t>& file,
                                size_t count) {
  size_t offset = fieldLe32(file, 10);
  if (file.size() < offset + count) return {};
  return std::vector<uint8_t>(
      file.begin() + static_cast<ptrdiff_t>(offset),
      file.begin() + static_cast<ptrdiff_t>(offset + count));
}

TEST(EndToEndTest, UsageAndHelp) {
  EXPECT_EQ(runQuillorn({}).lines, bannerOnly({kUsage}));
  EXPECT_EQ(runQuillorn({}).exitStatus, kFailed);
  EXPECT_EQ(runQuillorn({"only-one.bmp"}).exitStatus, kFailed);
  EXPECT_EQ(runQuillorn({"only-one.bmp"}).lines, bannerOnly({kUsage}));
  // A switch where the output belongs: the output was forgotten, and no
  // file named after the switch is written.
  for (const char* forgotten : {"-sca", "-min", "-smo"}) {
    ProcessResult result = runQuillorn({"map.bmp", forgotten, "2"});
    EXPECT_EQ(result.exitStatus, kFailed) << forgotten;
    EXPECT_EQ(result.lines, bannerOnly({kUsage})) << forgotten;
    EXPECT_FALSE(fileExists(forgotten)) << forgotten;
  }
  for (const char* help : {"-h", "--help"}) {
    ProcessResult result = runQuillorn({help});
    EXPECT_EQ(result.exitStatus, 0) << help;
    ASSERT_GT(result.lines.size(), 4u) << help;
    EXPECT_EQ(Lines(result.lines.begin(), result.lines.begin() + 2),
              bannerOnly({result.lines[1]}));
    EXPECT_EQ(result.lines[1].rfind("Usage: quillorn", 0), 0u);
    for (const std::string& line : result.lines) {
      EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
    }
  }
}

TEST(EndToEndTest, VersionAndUnicodePaths) {
  ProcessResult version = runQuillorn({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  ASSERT_EQ(version.lines.size(), 2u);
  EXPECT_EQ(version.lines[0], kBanner);
  // The packages carry the version in the banner's form.
  EXPECT_EQ(version.lines[0],
            std::string("Quillorn v") + QUILLORN_PROJECT_VERSION);
  EXPECT_EQ(
      version.lines[1].rfind(
          "Formats: BMP, PGM, raw, raw floats (.r32), SRTM (.hgt, read), PFM "
          "(read)",
          0),
      0u);

  TempDir dir;
  std::string input =
      dir.file("H\xc3\xb6henkarte \xe5\x9c\xb0\xe5\xbd\xa2.bmp");
  std::string output = dir.file("\xc3\xa9tape 2.bmp");
  ASSERT_TRUE(writeFileBytes(input, fourByOne24()));
  ProcessResult result = runQuillorn({input, output, "-sca", "2"});
  EXPECT_EQ(result.exitStatus, 0);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(output, &bytes));
  EXPECT_EQ(pixelBytes(bytes, 12),
            std::vector<uint8_t>({7, 0, 20, 7, 2, 0, 7, 4, 200, 7, 1, 253}));
}

TEST(EndToEndTest, PlainConversionPrintsEveryStageAndCopiesTheFile) {
  TempDir dir;
  std::vector<uint8_t> input = fourByOne24();
  input.push_back(0x42);
  input.push_back(0x43);
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), input));
  // The file-size field must count the tail to come back byte for byte.
  input[2] = static_cast<uint8_t>(input.size());
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), input));
  ProcessResult result = runQuillorn({dir.file("in.bmp"), dir.file("out.bmp")});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.lines, successLines({}));
  std::vector<uint8_t> output;
  ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
  EXPECT_EQ(output, input);
}

TEST(EndToEndTest, WorkedExamples) {
  struct Case {
    const char* what;
    std::vector<uint8_t> input;
    std::vector<std::string> switches;
    Lines processing;
    std::vector<uint8_t> pixels;  // first output pixel bytes, blue green red
  };
  BitmapPlan gray;
  gray.width = 4;
  gray.height = 1;
  gray.bitsPerPixel = 8;
  gray.pixels = {50, 100, 150, 250};
  BitmapPlan three;
  three.width = 3;
  three.height = 1;
  three.pixels = {9, 0, 0, 9, 90, 0, 9, 0, 0};  // heights 0, 90 x 255, 0
  BitmapPlan one;
  one.pixels = {9, 0, 255};  // 255 as red 255, re-encoded as green 1
  const Case cases[] = {
      {"scale 2",
       fourByOne24(),
       {"-sca", "2"},
       {},
       {7, 0, 20, 7, 2, 0, 7, 4, 200, 7, 1, 253}},
      {"normalize 8-bit",
       buildBitmap(gray),
       {"-sca", "0"},
       {"Converting to 0-255. To scale back to original, use scale 0.784314"},
       {0, 0, 0, 0, 0, 63, 0, 0, 127, 0, 0, 254}},
      {"smooth a row",
       buildBitmap(three),
       {"-smo", "1"},
       {"Smooth x1"},
       // 0, 22950, 0 -> 11475, 11475, 5737
       {9, 45, 0, 9, 45, 0, 9, 22, 127}},
      {"stage order is fixed",
       fourByOne24(),
       {"-min", "5", "-smo", "0", "-sca", "1"},
       {"Smooth x0", "Minimum elevation 5"},
       // heights 10, 255, 610, 254 shifted by -5
       {7, 0, 5, 7, 0, 250, 7, 2, 95, 7, 0, 249}},
      {"-min takes -smo as its value",
       fourByOne24(),
       {"-min", "-smo", "2"},
       {"Smooth x2", "Minimum elevation 0"},
       {}},
      {"capitals are ignored",
       fourByOne24(),
       {"-SCA", "2"},
       {},
       {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254}},
      {"switch without value",
       fourByOne24(),
       {"-sca"},
       {},
       {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254}},
      // Every pass count ends: smoothing stops once a pass changes nothing.
      {"the largest pass count",
       buildBitmap(one),
       {"-smo", "2147483647"},
       {"Smooth x2147483647"},
       {9, 1, 0}},
      {"a pass count past 32 bits",
       fourByOne24(),
       {"-smo", "9999999999"},
       {"Smooth x2147483647"},
       {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), c.input));
    std::vector<std::string> arguments = {dir.file("in.bmp"),
                                          dir.file("out.bmp")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.what;
    EXPECT_EQ(result.lines, successLines(c.processing)) << c.what;
    std::vector<uint8_t> output;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output)) << c.what;
    if (!c.pixels.empty()) {
      EXPECT_EQ(pixelBytes(output, c.pixels.size()), c.pixels) << c.what;
    }
  }
}

// On a terminal, standard error shows bars for reading, smoothing and
// writing, each wiped at its end; standard output is the same as ever.
TEST(EndToEndTest, ProgressBarsOnlyOnATerminal) {
  if (throughLauncher()) GTEST_SKIP() << "needs the tool's own terminal";
  TempDir dir;
  BitmapPlan plan;
  plan.width = 300;
  plan.height = 200;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), buildBitmap(plan)));
  // A narrow and a wide terminal: every redraw fits its line, so no update
  // ever wraps into a new one; one of a single column gets no bar at all.
  for (int columns : {1, 40, 200}) {
    ChildSetup onTerminal;
    onTerminal.terminal = true;
    onTerminal.terminalColumns = columns;
    ProcessResult result = runQuillornWith(
        {dir.file("in.bmp"), dir.file("out.bmp"), "-smo", "2"}, onTerminal);
    const std::string& terminal = result.errors;
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.lines, successLines({"Smooth x2"}));
    if (columns == 1) {
      EXPECT_EQ(terminal, "");
      continue;
    }
    for (const char* label : {"Reading", "Smoothing x2", "Writing"}) {
      EXPECT_NE(terminal.find(std::string("\r") + label), std::string::npos)
          << label;
    }
    EXPECT_NE(terminal.find("100%"), std::string::npos);
    EXPECT_EQ(terminal.find('\n'), std::string::npos);
    ASSERT_FALSE(terminal.empty());
    EXPECT_EQ(terminal.back(), '\r') << "the last bar is wiped";
    size_t start = 0;
    for (size_t end;
         (end = terminal.find('\r', start + 1)) != std::string::npos;
         start = end) {
      EXPECT_LT(end - start - 1, static_cast<size_t>(columns)) << columns;
    }
  }

  // Not a terminal: nothing at all on standard error.
  ProcessResult piped =
      runQuillorn({dir.file("in.bmp"), dir.file("out2.bmp"), "-smo", "2"});
  EXPECT_EQ(piped.exitStatus, 0);
  EXPECT_EQ(piped.errors, "");
}

// Every refusal: one "ERROR: " line after the banner, exit -1, and an
// existing output file left exactly as it was.
TEST(EndToEndTest, BadInputsNeverTouchTheOutput) {
  std::vector<uint8_t> good = fourByOne24();
  auto with = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> input;
    const char* message;  // start of the error line
  };
  const Case cases[] = {
      {"short file", std::vector<uint8_t>(good.begin(), good.begin() + 20),
       "ERROR: Input file is not a bitmap"},
      {"no signature", with(0, 'P'), "ERROR: Input file is not a bitmap"},
      {"32-bit", with(28, 32), "ERROR: Invalid bit rate"},
      {"compressed", with(30, 1),
       "ERROR: Compressed bitmaps are not supported"},
      {"small info header", with(14, 12), "ERROR: Unsupported bitmap header"},
      {"zero width", with(18, 0), "ERROR: Invalid bitmap width 0"},
      {"zero height", with(22, 0), "ERROR: Invalid bitmap height 0"},
      {"offset past the end", with(11, 9), "ERROR: Invalid pixel data offset"},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 3),
       "ERROR: Input file is truncated"},
  };
  const std::vector<uint8_t> previous = {'k', 'e', 'e', 'p'};
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), c.input));
    ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), previous));
    ProcessResult result =
        runQuillorn({dir.file("in.bmp"), dir.file("out.bmp"), "-sca", "0"});
    EXPECT_EQ(result.exitStatus, kFailed) << c.what;
    ASSERT_EQ(result.lines.size(), 3u) << c.what;
    EXPECT_EQ(result.lines[2].rfind(c.message, 0), 0u)
        << c.what << ": " << result.lines[2];
    std::vector<uint8_t> output;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
    EXPECT_EQ(output, previous) << c.what;

    // Without an existing output, none is created.
    TempDir fresh;
    ASSERT_TRUE(writeFileBytes(fresh.file("in.bmp"), c.input));
    runQuillorn({fresh.file("in.bmp"), fresh.file("out.bmp")});
    EXPECT_FALSE(fileExists(fresh.file("out.bmp"))) << c.what;
  }
}

TEST(EndToEndTest, FileFailures) {
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), fourByOne24()));
  // Names outside ASCII must reach the system intact on every platform, or
  // the output would not be recognised as the input and would overwrite it.
  const std::string umlaut = dir.file("H\xc3\xb6he.bmp");
  ASSERT_TRUE(writeFileBytes(umlaut, fourByOne24()));
  ASSERT_EQ(
      link(umlaut.c_str(), dir.file("\xe5\x9c\xb0\xe5\xbd\xa2.bmp").c_str()),
      0);
  ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0755), 0);
  ASSERT_EQ(link(dir.file("in.bmp").c_str(), dir.file("hard.bmp").c_str()), 0);
  ASSERT_EQ(symlink(dir.file("in.bmp").c_str(), dir.file("soft.bmp").c_str()),
            0);
  ASSERT_EQ(symlink("loop2.bmp", dir.file("loop.bmp").c_str()), 0);
  ASSERT_EQ(symlink("loop.bmp", dir.file("loop2.bmp").c_str()), 0);
  const std::string longName = dir.file(std::string(300, 'n') + ".bmp");
  const std::string sameFile =
      "ERROR: Output file is the input file; choose another output";
  struct Case {
    const char* what;
    std::string input, output;
    std::string message;
    std::string reason;  // standard error's line (POSIX runs), or ""
  };
  const Case cases[] = {
      {"missing input", dir.file("none.bmp"), dir.file("out.bmp"),
       "ERROR: Input file not found",
       "quillorn: " + dir.file("none.bmp") + ": No such file or directory"},
      {"input is a folder", dir.file("folder"), dir.file("out.bmp"),
       "ERROR: Input file not found",
       "quillorn: " + dir.file("folder") + ": Is a directory"},
      {"input path too long", dir.file(std::string(300, 'n')),
       dir.file("out.bmp"), "ERROR: Input file not found",
       "quillorn: " + dir.file(std::string(300, 'n')) + ": File name too long"},
      {"input is a device", "/dev/zero", dir.file("out.bmp"),
       "ERROR: Input file is a character device, not a regular file; read "
       "the map from a file",
       ""},
      {"output in a missing folder", dir.file("in.bmp"), dir.file("no/out.bmp"),
       "ERROR: Output file cannot be created",
       "quillorn: " + dir.file("no/out.bmp") + ": No such file or directory"},
      {"output is a folder", dir.file("in.bmp"), dir.file("folder"),
       "ERROR: Output file cannot be created",
       "quillorn: " + dir.file("folder") + ": Is a directory"},
      // Names that can never be written are refused before any work.
      {"empty output name", dir.file("in.bmp"), "",
       "ERROR: Output file cannot be created",
       "quillorn: \"\": No such file or directory"},
      {"output name too long", dir.file("in.bmp"), longName,
       "ERROR: Output file cannot be created",
       "quillorn: " + longName + ": File name too long"},
      {"output is a loop of links", dir.file("in.bmp"), dir.file("loop.bmp"),
       "ERROR: Output file cannot be created",
       "quillorn: " + dir.file("loop.bmp") +
           ": Too many levels of symbolic links"},
      {"same path", dir.file("in.bmp"), dir.file("in.bmp"), sameFile, ""},
      {"another spelling", dir.file("in.bmp"), dir.path() + "/folder/../in.bmp",
       sameFile, ""},
      {"hard link", dir.file("in.bmp"), dir.file("hard.bmp"), sameFile, ""},
      {"symbolic link", dir.file("in.bmp"), dir.file("soft.bmp"), sameFile, ""},
      {"same non-ASCII path", umlaut, umlaut, sameFile, ""},
      {"non-ASCII hard link", umlaut, dir.file("\xe5\x9c\xb0\xe5\xbd\xa2.bmp"),
       sameFile, ""},
      {"full disk", dir.file("in.bmp"), "/dev/full",
       "ERROR: Cannot write the output file: No space left on device",
       "quillorn: /dev/full: No space left on device"},
  };
  for (const Case& c : cases) {
    // Windows has no full-disk or zero device for a launched build, and
    // Wine fails before the program starts when an argument is a path longer
    // than Windows' 260 characters.
    if (throughLauncher() &&
        (c.output == "/dev/full" || c.input == "/dev/zero" ||
         c.input.size() > 260 || c.output.size() > 260)) {
      continue;
    }
    ProcessResult result = runQuillorn({c.input, c.output, "-smo", "1"});
    EXPECT_EQ(result.exitStatus, kFailed) << c.what;
    ASSERT_FALSE(result.lines.empty()) << c.what;
    EXPECT_EQ(result.lines.back(), c.message) << c.what;
    // Only a device that fails when written is refused after the work.
    if (c.output != "/dev/full") {
      EXPECT_EQ(result.lines.size(), 3u) << c.what;
    }
    if (!throughLauncher()) {
      EXPECT_EQ(result.errors, c.reason.empty() ? "" : c.reason + "\n")
          << c.what;
    }
    for (const std::string& line : result.lines)
      EXPECT_NE(line, "Done!") << c.what;
    for (const std::string& kept : {dir.file("in.bmp"), umlaut}) {
      std::vector<uint8_t> input;
      ASSERT_TRUE(readFileBytes(kept, &input));
      EXPECT_EQ(input, fourByOne24()) << c.what << ": " << kept << " changed";
    }
  }
  EXPECT_FALSE(fileExists(dir.file("out.bmp")));
  struct stat info;
  EXPECT_EQ(stat("/dev/full", &info), 0) << "a failed device is never removed";
  ASSERT_EQ(lstat(dir.file("loop.bmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode)) << "a loop of links is never replaced";
}

// Permissions hold even for root, who runs the tool as nobody here.
TEST(EndToEndTest, PermissionFailures) {
  if (throughLauncher()) GTEST_SKIP() << "a launcher cannot run as nobody";
  TempDir dir;
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  // A copy of the tool that nobody can reach, wherever the build lives.
  std::vector<uint8_t> tool;
  ASSERT_TRUE(readFileBytes(QUILLORN_EXE, &tool));
  ASSERT_TRUE(writeFileBytes(dir.file("quillorn"), tool));
  ASSERT_EQ(chmod(dir.file("quillorn").c_str(), 0755), 0);
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), fourByOne24()));
  ASSERT_TRUE(writeFileBytes(dir.file("secret.bmp"), fourByOne24()));
  ASSERT_EQ(chmod(dir.file("secret.bmp").c_str(), 0), 0);
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  // Files of the user who runs the tool (nobody, when the tests are root).
  auto own = [](const std::string& path) {
    if (geteuid() == 0) {
      ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    }
  };
  ASSERT_EQ(mkdir(dir.file("open").c_str(), 0777), 0);
  ASSERT_EQ(chmod(dir.file("open").c_str(), 0777), 0);
  ASSERT_TRUE(writeFileBytes(dir.file("open/readonly.bmp"), old));
  own(dir.file("open/readonly.bmp"));
  ASSERT_EQ(chmod(dir.file("open/readonly.bmp").c_str(), 0444), 0);
  ASSERT_EQ(mkdir(dir.file("locked").c_str(), 0755), 0);
  ASSERT_TRUE(writeFileBytes(dir.file("locked/mine.bmp"), old));
  own(dir.file("locked/mine.bmp"));
  ASSERT_EQ(chmod(dir.file("locked").c_str(), 0555), 0);
  struct Case {
    const char* what;
    std::string input, output;
    Lines lines;
    std::string errors;           // standard error, line ends included
    std::vector<uint8_t> result;  // the output's bytes after the run
  };
  const Case cases[] = {
      {"unreadable input",
       dir.file("secret.bmp"),
       dir.file("out.bmp"),
       withBanner({"ERROR: Input file not found"}),
       "quillorn: " + dir.file("secret.bmp") + ": Permission denied\n",
       {}},
      {"read-only folder",
       dir.file("in.bmp"),
       dir.file("locked/out.bmp"),
       withBanner({"ERROR: Output file cannot be created"}),
       "quillorn: " + dir.file("locked/out.bmp") + ": Permission denied\n",
       {}},
      // Not replaced behind its back through the folder's permission.
      {"read-only output", dir.file("in.bmp"), dir.file("open/readonly.bmp"),
       withBanner({"ERROR: Output file cannot be created"}),
       "quillorn: " + dir.file("open/readonly.bmp") + ": Permission denied\n",
       old},
      // Writable, in a folder that takes no temporary: rewritten in place.
      {"no temporary beside it", dir.file("in.bmp"),
       dir.file("locked/mine.bmp"), successLines({}),
       "quillorn: warning: " + dir.file("locked/mine.bmp") +
           ": no new file can be made in its folder (Permission denied), so "
           "it is rewritten in place: a failure or an interruption can leave "
           "it incomplete\n",
       fourByOne24()},
  };
  ChildSetup asNobody;
  asNobody.unprivileged = true;
  asNobody.executable = dir.file("quillorn");
  for (const Case& c : cases) {
    ProcessResult result = runQuillornWith({c.input, c.output}, asNobody);
    EXPECT_EQ(result.exitStatus, c.result == fourByOne24() ? 0 : kFailed)
        << c.what;
    EXPECT_EQ(result.lines, c.lines) << c.what;
    EXPECT_EQ(result.errors, c.errors) << c.what;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(readFileBytes(c.output, &bytes), !c.result.empty()) << c.what;
    EXPECT_EQ(bytes, c.result) << c.what;
  }

  // A picture that cannot be replaced (root's, in a folder shared with the
  // sticky bit): the output, replaced first, is put back as it was, or
  // removed where it was new, and no hidden file stays. (Without root,
  // ElevationRecoderTest.AFailedLaterReplacementPutsEveryEarlierOneBack
  // makes a later rename fail through a seam.)
  if (geteuid() != 0) {
    GTEST_SKIP() << "the rest needs root: another user's picture in a folder "
                    "shared with the sticky bit";
  }
  const std::string shared = dir.file("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  ASSERT_TRUE(writeFileBytes(shared + "/view.bmp", old));
  ASSERT_EQ(chmod((shared + "/view.bmp").c_str(), 0666), 0);
  Lines failed = successLines({});
  failed.back() = "ERROR: Output file cannot be replaced";
  for (bool existed : {true, false}) {
    if (existed) {
      ASSERT_TRUE(writeFileBytes(shared + "/out.bmp", old));
      own(shared + "/out.bmp");
    }
    ProcessResult result =
        runQuillornWith({dir.file("in.bmp"), shared + "/out.bmp", "-view",
                         shared + "/view.bmp"},
                        asNobody);
    EXPECT_EQ(result.exitStatus, kFailed) << existed;
    EXPECT_EQ(result.lines, failed) << existed;
    EXPECT_EQ(result.errors,
              "quillorn: " + shared + "/view.bmp: Operation not permitted\n")
        << existed;
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readFileBytes(shared + "/view.bmp", &bytes));
    EXPECT_EQ(bytes, old) << existed;
    EXPECT_EQ(readFileBytes(shared + "/out.bmp", &bytes), existed) << existed;
    if (existed) {
      EXPECT_EQ(bytes, old);
    }
    EXPECT_EQ(folderNames(shared),
              existed ? Lines({"out.bmp", "view.bmp"}) : Lines({"view.bmp"}));
    std::remove((shared + "/out.bmp").c_str());
  }
}

mode_t modeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A 24-bit map of random pixels (smoothing stays busy for many passes on
// it), followed by tail.
std::vector<uint8_t> randomMap(int32_t width, int32_t height,
                               std::vector<uint8_t> tail = {}) {
  BitmapPlan plan;
  plan.width = width;
  plan.height = height;
  plan.pixels.resize(3 * static_cast<size_t>(width) *
                     static_cast<size_t>(height));
  std::mt19937 random(3);
  for (uint8_t& byte : plan.pixels) byte = static_cast<uint8_t>(random());
  plan.tail = std::move(tail);
  return buildBitmap(plan);
}

// 75 MB: reading and writing take long enough for a signal sent at a
// stage's line to arrive within the stage.
const std::vector<uint8_t>& largeMap() {
  static const std::vector<uint8_t> bytes = randomMap(5000, 5000);
  return bytes;
}

// Whatever ends a run early, an existing output keeps its bytes and its
// mode, no temporary stays behind, and the run ends as documented: status
// 255 with an ERROR line, or killed by the signal that interrupted it.
TEST(EndToEndTest, FailuresAndInterruptionsKeepTheOldOutput) {
  if (throughLauncher()) GTEST_SKIP() << "POSIX signals and limits";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), largeMap()));
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  struct Case {
    const char* what;
    std::vector<std::string> switches;
    ChildSetup setup;
    int signal;               // the terminating signal, or 0
    const char* lastLine;     // with no signal: the ERROR line, if any reaches
                              // the pipe
    std::string errors = "";  // with no line: standard error
  };
  ChildSetup memory;
  memory.addressSpaceBytes = 40u << 20;
  ChildSetup fullDisk;
  fullDisk.fileSizeBytes = 1u << 20;
  ChildSetup fullOutput;
  fullOutput.outputFile = "/dev/full";
  ChildSetup closedOutput;
  closedOutput.outputClosed = true;
  auto interrupt = [](const char* line, int signal) {
    ChildSetup setup;
    setup.afterLine = line;
    setup.signal = signal;
    return setup;
  };
  const Case cases[] = {
      {"out of memory",
       {},
       memory,
       0,
       "ERROR: Not enough memory for the height planes of 5000 x 5000 pixels"},
      {"file size limit",
       {},
       fullDisk,
       0,
       "ERROR: Cannot write the output file: File too large"},
      {"SIGINT while reading",
       {},
       interrupt("Reading input height...", SIGINT),
       SIGINT,
       nullptr},
      {"SIGTERM while smoothing",
       {"-smo", "1000"},
       interrupt("Smooth x1000", SIGTERM),
       SIGTERM,
       nullptr},
      // Both temporaries go, the picture's too.
      {"SIGINT while smoothing, with a picture",
       {"-smo", "1000", "-view", dir.file("view.bmp")},
       interrupt("Smooth x1000", SIGINT),
       SIGINT,
       nullptr},
      {"SIGHUP while writing",
       {},
       interrupt("Writing output height...", SIGHUP),
       SIGHUP,
       nullptr},
      {"standard output closed",
       {},
       interrupt("Reading input height...", SIGPIPE),
       SIGPIPE,
       nullptr},
      // Lines lost are known before the output is replaced.
      {"standard output on a full device",
       {},
       fullOutput,
       0,
       nullptr,
       "quillorn: standard output: No space left on device\n"},
      {"standard output not open",
       {},
       closedOutput,
       0,
       nullptr,
       "quillorn: standard output: Bad file descriptor\n"},
  };
  for (const Case& c : cases) {
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer needs more address space than any limit.
    if (c.setup.addressSpaceBytes != 0) continue;
#endif
    ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), old));
    ASSERT_EQ(chmod(dir.file("out.bmp").c_str(), 0640), 0);
    std::vector<std::string> arguments = {dir.file("in.bmp"),
                                          dir.file("out.bmp")};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillornWith(arguments, c.setup);
    EXPECT_EQ(result.signal, c.signal) << c.what;
    if (c.signal == 0) {
      EXPECT_EQ(result.exitStatus, kFailed) << c.what;
      if (c.lastLine != nullptr) {
        ASSERT_FALSE(result.lines.empty()) << c.what;
        EXPECT_EQ(result.lines.back(), c.lastLine) << c.what;
      } else {
        EXPECT_EQ(result.errors, c.errors) << c.what;
      }
    }
    EXPECT_EQ(folderNames(dir.path()), Lines({"in.bmp", "out.bmp"})) << c.what;
    std::vector<uint8_t> kept;
    ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &kept));
    EXPECT_EQ(kept, old) << c.what;
    EXPECT_EQ(modeOf(dir.file("out.bmp")), 0640u) << c.what;
  }
}

// A finished output replaces the old one as a whole: its mode stays, a
// symbolic link stays a link, a new file gets the mode new files get, and
// two runs at once leave one complete output.
TEST(EndToEndTest, ReplacementKeepsModesLinksAndWholeness) {
  TempDir dir;
  std::vector<uint8_t> input = fourByOne24();
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), input));
  ASSERT_TRUE(writeFileBytes(dir.file("out.bmp"), {'o', 'l', 'd'}));
  ASSERT_EQ(chmod(dir.file("out.bmp").c_str(), 0640), 0);
  ASSERT_TRUE(writeFileBytes(dir.file("target.bmp"), {'o', 'l', 'd'}));
  bool links = !throughLauncher();
  if (links) {
    ASSERT_EQ(symlink("target.bmp", dir.file("link.bmp").c_str()), 0);
  }
  for (const char* name : {"out.bmp", "new.bmp", "link.bmp"}) {
    if (!links && std::string(name) == "link.bmp") continue;
    ProcessResult result = runQuillorn({dir.file("in.bmp"), dir.file(name)});
    EXPECT_EQ(result.exitStatus, 0) << name;
  }
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &bytes));
  EXPECT_EQ(bytes, input);
  // With a picture, both replace what was there and leave no hidden link.
  ASSERT_TRUE(writeFileBytes(dir.file("view.bmp"), {'o', 'l', 'd'}));
  ASSERT_EQ(runQuillorn({dir.file("in.bmp"), dir.file("new.bmp"), "-view",
                         dir.file("view.bmp")})
                .exitStatus,
            0);
  ASSERT_TRUE(readFileBytes(dir.file("view.bmp"), &bytes));
  EXPECT_EQ(bytes.size(), 54u + 12u) << "a 4 x 1 picture";
  if (links) {
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(modeOf(dir.file("out.bmp")), 0640u);
    EXPECT_EQ(modeOf(dir.file("new.bmp")), 0666u & ~mask);
    struct stat info;
    ASSERT_EQ(lstat(dir.file("link.bmp").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode)) << "the link stays a link";
    ASSERT_TRUE(readFileBytes(dir.file("target.bmp"), &bytes));
    EXPECT_EQ(bytes, input) << "its target is replaced";
  }

  // Two runs on one output: each finishes, and the output is one of the two
  // complete results, never a mix.
  const std::vector<uint8_t> big = randomMap(1500, 1000);
  ASSERT_TRUE(writeFileBytes(dir.file("big.bmp"), big));
  std::vector<uint8_t> doubled;
  ASSERT_EQ(
      runQuillorn({dir.file("big.bmp"), dir.file("check.bmp"), "-sca", "2"})
          .exitStatus,
      0);
  ASSERT_TRUE(readFileBytes(dir.file("check.bmp"), &doubled));
  ProcessResult first, second;
  std::thread other([&] {
    first = runQuillorn({dir.file("big.bmp"), dir.file("race.bmp")});
  });
  second =
      runQuillorn({dir.file("big.bmp"), dir.file("race.bmp"), "-sca", "2"});
  other.join();
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(second.exitStatus, 0);
  ASSERT_TRUE(readFileBytes(dir.file("race.bmp"), &bytes));
  EXPECT_TRUE(bytes == big || bytes == doubled) << "a mix of both runs";
  Lines expected = {"big.bmp", "check.bmp", "in.bmp",     "new.bmp",
                    "out.bmp", "race.bmp",  "target.bmp", "view.bmp"};
  if (links) expected.insert(expected.begin() + 3, "link.bmp");
  EXPECT_EQ(folderNames(dir.path()), expected) << "no temporary is left";

  // Runs writing the same 1024 tiles at once: every round leaves the tiles
  // of one run, each run's flat heights its -min.
  TempDir tiles;
  ASSERT_TRUE(writeFileBytes(tiles.file("flat.r16"),
                             std::vector<uint8_t>(2 * 33 * 33, 100)));
  for (int round = 0; round < 2; ++round) {
    std::vector<std::thread> runs;
    for (int run = 1; run <= 6; ++run) {
      runs.emplace_back([&tiles, run] {
        runQuillorn({tiles.file("flat.r16"), tiles.file("t.r16"), "-dim",
                     "33x33", "-tiles", "32x32", "-min", std::to_string(run)});
      });
    }
    for (std::thread& run : runs) run.join();
    std::vector<uint8_t> firstTile, tile;
    ASSERT_TRUE(readFileBytes(tiles.file("t_x0_y0.r16"), &firstTile));
    ASSERT_EQ(firstTile.size(), 8u);
    int mixed = 0;
    for (int j = 0; j < 32; ++j) {
      for (int i = 0; i < 32; ++i) {
        ASSERT_TRUE(readFileBytes(tiles.file("t_x" + std::to_string(i) + "_y" +
                                             std::to_string(j) + ".r16"),
                                  &tile));
        mixed += tile != firstTile;
      }
    }
    EXPECT_EQ(mixed, 0) << "tiles of another run in round " << round;
  }
}

// Where the progress lines go, the image cannot go: refused before any
// image byte is written.
TEST(EndToEndTest, StandardOutputIsNeverTheOutput) {
  if (throughLauncher()) GTEST_SKIP() << "POSIX standard streams";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), fourByOne24()));
  const Lines refused = withBanner(
      {"ERROR: Output file is the standard output, where the progress lines "
       "go; choose another output"});
  ProcessResult piped = runQuillorn({dir.file("in.bmp"), "/dev/stdout"});
  EXPECT_EQ(piped.exitStatus, kFailed);
  EXPECT_EQ(piped.lines, refused);

  ChildSetup toFile;
  toFile.outputFile = dir.file("x.bmp");
  ProcessResult redirected =
      runQuillornWith({dir.file("in.bmp"), dir.file("x.bmp")}, toFile);
  EXPECT_EQ(redirected.exitStatus, kFailed);
  std::vector<uint8_t> text;
  ASSERT_TRUE(readFileBytes(dir.file("x.bmp"), &text));
  std::string expected;
  for (const std::string& line : refused) expected += line + "\n";
  EXPECT_EQ(std::string(text.begin(), text.end()), expected);

  // A device may be both.
  ChildSetup toNull;
  toNull.outputFile = "/dev/null";
  EXPECT_EQ(
      runQuillornWith({dir.file("in.bmp"), "/dev/null"}, toNull).exitStatus, 0);

  // Nor does the output take the place of a closed standard stream: the
  // warning about a grey input never lands in it.
  BitmapPlan grey;
  grey.width = 2;
  grey.pixels = {40, 40, 40, 7, 7, 7};
  ASSERT_TRUE(writeFileBytes(dir.file("grey.bmp"), buildBitmap(grey)));
  ChildSetup closed;
  closed.inputAndErrorClosed = true;
  EXPECT_EQ(
      runQuillornWith({dir.file("grey.bmp"), dir.file("g.bmp")}, closed).lines,
      successLines({}));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(dir.file("g.bmp"), &bytes));
  EXPECT_EQ(bytes, buildBitmap(grey));
}

// An input rewritten during the run is noticed before its large tail is
// copied: the output would describe other bytes than the input's.
TEST(EndToEndTest, InputChangedDuringTheRunIsRefused) {
  if (throughLauncher()) GTEST_SKIP() << "changes the file's time by POSIX";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(
      dir.file("in.bmp"),
      randomMap(2000, 2000, std::vector<uint8_t>((16u << 20) + 1, 0x5A))));
  ChildSetup touch;
  touch.afterLine = "Smooth x20";
  std::string input = dir.file("in.bmp");
  touch.action = [&input] {
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, input.c_str(), times, 0);
  };
  ProcessResult result =
      runQuillornWith({input, dir.file("out.bmp"), "-smo", "20"}, touch);
  EXPECT_EQ(result.exitStatus, kFailed);
  ASSERT_FALSE(result.lines.empty());
  EXPECT_EQ(result.lines.back(), "ERROR: Input file changed during the run");
  EXPECT_EQ(result.errors, "quillorn: " + input +
                               ": the file was rewritten after it was read\n");
  EXPECT_EQ(folderNames(dir.path()), Lines({"in.bmp"}));
}

TEST(EndToEndTest, TopDownTwinGivesTheSamePicture) {
  const int32_t width = 5, rows = 4;
  std::vector<HeightValue> heights = makeTerrain(width, rows, 65279, 3);
  std::vector<uint8_t> bottomUp = pixelsFromHeights(heights, width, rows, 24);
  std::vector<uint8_t> topDown;
  for (int32_t row = rows - 1; row >= 0; --row) {
    topDown.insert(topDown.end(), bottomUp.begin() + row * width * 3,
                   bottomUp.begin() + (row + 1) * width * 3);
  }
  BitmapPlan up;
  up.width = width;
  up.height = rows;
  up.pixels = bottomUp;
  BitmapPlan down = up;
  down.height = -rows;
  down.pixels = topDown;
  const std::vector<std::vector<std::string>> switchSets = {
      {},
      {"-smo", "2"},
      {"-sca", "0", "-smo", "1", "-min", "3"},
      {"-sca", "0.5", "-min", "-4"}};
  for (const auto& switches : switchSets) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("up.bmp"), buildBitmap(up)));
    ASSERT_TRUE(writeFileBytes(dir.file("down.bmp"), buildBitmap(down)));
    std::vector<std::string> a = {dir.file("up.bmp"), dir.file("up_out.bmp")};
    std::vector<std::string> b = {dir.file("down.bmp"),
                                  dir.file("down_out.bmp")};
    a.insert(a.end(), switches.begin(), switches.end());
    b.insert(b.end(), switches.begin(), switches.end());
    ProcessResult ra = runQuillorn(a);
    ProcessResult rb = runQuillorn(b);
    EXPECT_EQ(ra.exitStatus, 0);
    EXPECT_EQ(ra.lines, rb.lines);
    std::vector<uint8_t> outA, outB;
    ASSERT_TRUE(readFileBytes(dir.file("up_out.bmp"), &outA));
    ASSERT_TRUE(readFileBytes(dir.file("down_out.bmp"), &outB));
    EXPECT_EQ(static_cast<int32_t>(fieldLe32(outB, 22)), -rows);
    DecodedImage imageA, imageB;
    std::string why;
    ASSERT_TRUE(decode24(outA, &imageA, &why)) << why;
    ASSERT_TRUE(decode24(outB, &imageB, &why)) << why;
    EXPECT_EQ(imageA.red, imageB.red);
    EXPECT_EQ(imageA.green, imageB.green);
    EXPECT_EQ(imageA.blue, imageB.blue);
  }
}

TEST(EndToEndTest, RealHeightMap) {
  std::string data = sharedTestData();
  if (data.empty()) {
    GTEST_SKIP() << "the conversion of a real height map (Puget Sound) "
                 << testDataMissing();
  }
  TempDir dir;
  ProcessResult result = runQuillorn(
      {data + "/heightmaps/puget_sound_1025_rg24.bmp", dir.file("out.bmp"),
       "-sca", "0", "-smo", "2", "-min", "10"});
  EXPECT_EQ(result.exitStatus, 0);
  ASSERT_EQ(result.lines.size(), 14u);
  EXPECT_EQ(
      result.lines[6].rfind(
          "Converting to 0-255. To scale back to original, use scale ", 0),
      0u);
  std::vector<uint8_t> output;
  ASSERT_TRUE(readFileBytes(dir.file("out.bmp"), &output));
  DecodedImage image;
  std::string why;
  ASSERT_TRUE(decode24(output, &image, &why)) << why;
  EXPECT_EQ(image.width, 1025);
  int lowest = 1 << 30, highest = -1;
  for (int32_t row = 0; row < image.rows; ++row) {
    for (int32_t column = 0; column < image.width; ++column) {
      lowest = std::min(lowest, image.height(row, column));
      highest = std::max(highest, image.height(row, column));
    }
  }
  EXPECT_EQ(lowest, 10);
  EXPECT_LE(highest, 265);
  EXPECT_EQ(fieldLe32(output, 2), output.size());
}

}  // namespace

namespace {

// Whatever surprised the tool is said on standard error, once, and standard
// output stays exactly as without it; a run without surprises says nothing
// there.
TEST(EndToEndTest, SurprisesAreNamedOnStandardError) {
  if (throughLauncher()) GTEST_SKIP() << "standard error as POSIX passes it";
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("in.bmp"), fourByOne24()));
  std::vector<uint8_t> colourful = [] {
    BitmapPlan plan;
    plan.width = 2;
    plan.bitsPerPixel = 8;
    plan.pixels = {3, 9};
    std::vector<uint8_t> bytes = buildBitmap(plan);
    bytes[54 + 4 * 9 + 2] = 200;  // entry 9 turns reddish
    return bytes;
  }();
  ASSERT_TRUE(writeFileBytes(dir.file("palette.bmp"), colourful));
  BitmapPlan grey;
  grey.width = 2;
  grey.pixels = {40, 40, 40, 7, 7, 7};
  ASSERT_TRUE(writeFileBytes(dir.file("grey.bmp"), buildBitmap(grey)));
  BitmapPlan tinted = grey;  // its second pixel's red = green, not blue
  tinted.pixels[3] = 60;
  ASSERT_TRUE(writeFileBytes(dir.file("tinted.bmp"), buildBitmap(tinted)));
  BitmapPlan summit;  // height 65280, whose mean wraps to 0
  summit.pixels = {9, 255, 255};
  ASSERT_TRUE(writeFileBytes(dir.file("summit.bmp"), buildBitmap(summit)));
  BitmapPlan floor;  // heights 0 and 510
  floor.width = 2;
  floor.pixels = {9, 0, 0, 9, 2, 0};
  ASSERT_TRUE(writeFileBytes(dir.file("floor.bmp"), buildBitmap(floor)));
  BitmapPlan eight;
  eight.bitsPerPixel = 8;
  eight.width = 2;
  eight.pixels = {3, 250};
  ASSERT_TRUE(writeFileBytes(dir.file("eight.bmp"), buildBitmap(eight)));
  const std::string w = "quillorn: warning: ";
  struct Case {
    std::string input;
    std::vector<std::string> switches;
    Lines processing;
    std::string errors;
    std::string output = "out.bmp";
  };
  const std::string formats =
      " (.bmp, .r16 or .raw, .pgm, .png and .tif name the formats)\n";
  const Case cases[] = {
      // A switch last on the line, with nothing to take as its value.
      {"in.bmp",
       {"-smo", "1", "-min"},
       {"Smooth x1"},
       w + "-min is the last argument, with no value after it; it is "
           "ignored\n"},
      // Names that say no format, for the output and for the picture.
      {"in.bmp",
       {},
       {},
       w + dir.file("out.dem") +
           ": no format is named by its ending, so a 24-bit bitmap is "
           "written" +
           formats,
       "out.dem"},
      {"in.bmp",
       {},
       {},
       w + dir.file("out") +
           ": no format is named by its ending, so a 24-bit bitmap is "
           "written" +
           formats,
       "out"},
      {"in.bmp",
       {"-view", dir.file("v.jpg")},
       {},
       w + dir.file("v.jpg") +
           ": a picture is a PNG when its name ends in .png, so a 24-bit "
           "bitmap is written\n"},
      // 8-bit heights in a 16-bit file, with and without -sca.
      {"eight.bmp",
       {},
       {},
       w + "the input's heights are 8-bit (0 ... 255), a 256th of what the "
           "16-bit output holds; -sca 257 spreads them over 0 ... 65535 but "
           "keeps their stair steps, which -smo (or a 16-bit source) "
           "smooths\n",
       "out.r16"},
      {"eight.bmp", {"-sca", "257"}, {}, "", "out.r16"},
      {"eight.bmp", {}, {}, "", "out.bmp"},
      {"in.bmp",
       {"-smo", "1", "-min", "0"},
       {"Smooth x1", "Minimum elevation 0"},
       ""},
      {"in.bmp",
       {"-smooth", "4", "-SMO", "2", "--", "-smo", "1", "-smo", "3"},
       {"Smooth x1"},
       w + "ignoring the repeated -smo (the first one counts)\n" + w +
           "ignoring \"-smooth\", which is no switch (did you mean -smo?)\n" +
           w + "ignoring \"4\", which is no switch\n" + w +
           "ignoring \"-SMO\", which is no switch (did you mean -smo?)\n" + w +
           "ignoring \"2\", which is no switch\n" + w +
           "ignoring \"--\", which is no switch\n"},
      {"in.bmp",
       {"-sca", "0,5"},
       {"Converting to 0-255. To scale back to original, use scale 2.35294"},
       w +
           "-sca 0,5 reads as 0, which normalizes: a decimal comma? write "
           "the scale with a point\n" +
           w +
           "the lowest height was 10, which the factor alone cannot "
           "restore: -sca 2.35294104 -min 10 restores the heights, to "
           "the 256 levels kept\n"},
      // A scale that leaves no height above 0, and one just above it.
      {"in.bmp",
       {"-sca", "0.0000152"},
       {},
       w + "-sca 0.0000152 reads as 1.52e-05, so small that every height "
           "becomes 0\n"},
      {"in.bmp", {"-sca", "0.0000153"}, {}, ""},
      {"in.bmp",
       {"-smo", "2.9", "-min", "12abc"},
       {"Smooth x2", "Minimum elevation 12"},
       w + "-smo 2.9 is not wholly a number: it reads as 2 passes\n" + w +
           "-min 12abc is not wholly a number: it reads as 12\n"},
      // A summit that wraps into a pit is always named.
      {"in.bmp",
       {"-sca", "200", "-min", "0"},
       {"Minimum elevation 0"},
       w + "1 height wrapped in the bitmap encoding (0 ... 65279): 1 above "
           "65279 after -sca; -sca 0 or a smaller -sca keeps them\n"},
      {"in.bmp",
       {"-dim", "4x1", "-view"},
       {},
       w + "-view needs a picture's path after it; no picture is written\n" +
           w + "-dim is ignored: " + dir.file("in.bmp") +
           " is not raw heights (.r16, .raw or .r32); its size is read from "
           "the "
           "file\n"},
      {"summit.bmp",
       {"-smo", "1"},
       {"Smooth x1"},
       w + "1 height wrapped in the bitmap encoding (0 ... 65279): 1 above "
           "65279 after -smo; -sca 0 or a smaller -sca keeps them\n"},
      // The factor alone restores heights whose lowest was 0.
      {"floor.bmp",
       {"-sca", "0"},
       {"Converting to 0-255. To scale back to original, use scale 2"},
       ""},
      // The 32-bit range from both sides.
      {"in.bmp", {"-smo", "2147483647"}, {"Smooth x2147483647"}, ""},
      {"in.bmp",
       {"-smo", "2147483648"},
       {"Smooth x2147483647"},
       w + "-smo 2147483648 is beyond 32 bits and reads as 2147483647 "
           "passes\n"},
      {"palette.bmp",
       {},
       {},
       w + "the input's palette is not a grey ramp (entry 9 is not the grey "
           "of its own index): its heights are the palette indices, not the "
           "colours a viewer shows\n"},
      {"tinted.bmp", {}, {}, ""},
      // Flips and turns count each time: repeating them is no mistake.
      {"in.bmp",
       {"-flip", "horizontal", "-rotate", "90", "-flip", "vertical", "-rotate",
        "270"},
       {},
       ""},
      {"grey.bmp",
       {},
       {},
       w + "every pixel of the input is grey (red = green = blue): a grey "
           "picture, whose heights read as 256 x its grey; -sca 0.00390625 "
           "reads the grey as it stands, or save it as an 8-bit greyscale "
           "bitmap, a PGM or a PNG\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> arguments = {dir.file(c.input),
                                          dir.file(c.output)};
    arguments.insert(arguments.end(), c.switches.begin(), c.switches.end());
    ProcessResult result = runQuillorn(arguments);
    EXPECT_EQ(result.exitStatus, 0) << c.errors;
    EXPECT_EQ(result.lines, successLines(c.processing)) << c.errors;
    EXPECT_EQ(result.errors, c.errors);
  }

  // Refusals say on standard error what to do; standard output keeps its
  // one ERROR line.
  std::ostringstream usageText;
  printUsage(usageText);
  const std::string usage = usageText.str();
  BitmapPlan rle = grey;
  std::vector<uint8_t> compressed = buildBitmap(rle);
  compressed[28] = 8;  // an 8-bit bitmap, RLE8-compressed
  compressed[30] = 1;
  std::vector<uint8_t> deep = buildBitmap(rle);
  deep[28] = 32;
  ASSERT_TRUE(writeFileBytes(dir.file("rle.bmp"), compressed));
  ASSERT_TRUE(writeFileBytes(dir.file("deep.bmp"), deep));
  ASSERT_TRUE(
      writeFileBytes(dir.file("odd.bin"), std::vector<uint8_t>(60, 'Z')));
  // A zip's local header: the name's length at byte 26, the name at 30.
  std::vector<uint8_t> zip = {'P', 'K', 3, 4};
  zip.resize(30, 0);
  zip[26] = 11;
  const std::string inside = "N47W122.hgt";
  zip.insert(zip.end(), inside.begin(), inside.end());
  zip.resize(200, 7);
  ASSERT_TRUE(writeFileBytes(dir.file("N47W122.hgt.zip"), zip));
  const std::string save =
      "save it as an uncompressed 24-bit or 8-bit grey bitmap (ImageMagick "
      "6: convert map.bmp -compress none -type TrueColor BMP3:plain.bmp; in "
      "an image editor, the BMP export's uncompressed, 24-bit option)\n";
  const std::string saveEightBits =
      "save it as an uncompressed 8-bit bitmap, which keeps its heights "
      "(ImageMagick 6: convert map.bmp -compress none BMP3:plain.bmp; in an "
      "image editor, the BMP export's uncompressed, 8-bit option)\n";
  struct Refused {
    std::vector<std::string> arguments;
    std::string line;
    std::string errors;
    bool runs = false;  // refused once the run began: after the hint
  };
  const Refused refused[] = {
      {{dir.file("in.bmp")}, kUsage, usage},
      {{dir.file("in.bmp"), dir.file("o.bmp"), "-view", dir.file("in.bmp")},
       kUsage,
       "quillorn: " + dir.file("in.bmp") +
           ": the picture would replace the input; name another picture\n" +
           usage},
      {{dir.file("in.bmp"), dir.file("o.bmp"), "-view", dir.file("o.bmp")},
       kUsage,
       "quillorn: " + dir.file("o.bmp") +
           ": the picture would replace the output; name another picture\n" +
           usage},
      {{dir.file("rle.bmp"), dir.file("o.bmp")},
       "ERROR: Compressed bitmaps are not supported (compression type 1)",
       "quillorn: " + dir.file("rle.bmp") +
           ": it is compressed (RLE8, run-length encoded 8-bit), which "
           "Quillorn does not read: " +
           saveEightBits,
       true},
      {{dir.file("deep.bmp"), dir.file("o.bmp")},
       "ERROR: Invalid bit rate",
       "quillorn: " + dir.file("deep.bmp") +
           ": its pixels have 32 bits each; Quillorn reads 8-bit and 24-bit "
           "bitmaps: " +
           save,
       true},
      {{dir.file("odd.bin"), dir.file("o.bmp")},
       "ERROR: Input file is not a bitmap, PGM, PFM, PNG, TIFF or OpenEXR: it "
       "starts with none of their signatures (raw heights need a name ending "
       "in .r16 "
       "or .raw, raw floats one ending in .r32, SRTM tiles one ending in "
       ".hgt)",
       "quillorn: " + dir.file("odd.bin") +
           ": Quillorn reads 8- and 24-bit BMP, PGM (P5, P2), greyscale PNG, "
           "TIFF and GeoTIFF of one band, OpenEXR, greyscale PFM, SRTM tiles "
           "(.hgt), "
           "raw 16-bit heights (.r16, .raw) and raw 32-bit floats (.r32); "
           "save the map as one of them\n",
       true},
      // SRTM tiles come zipped: the refusal names the tile inside.
      {{dir.file("N47W122.hgt.zip"), dir.file("o.bmp")},
       "ERROR: Input file is a zip archive holding N47W122.hgt, not a height "
       "map: unzip it and convert the file inside",
       "quillorn: " + dir.file("N47W122.hgt.zip") +
           ": unzip the archive (unzip <archive>, or open it in the file "
           "manager), then: quillorn N47W122.hgt <output>\n",
       true},
      // Picture formats no output is written in, refused before any work.
      {{dir.file("in.bmp"), dir.file("o.jpg"), "-smo", "1"},
       "ERROR: Output format not supported: Quillorn writes no JPEG",
       "quillorn: " + dir.file("o.jpg") +
           ": its name asks for JPEG, which Quillorn does not write; end it "
           "in .bmp, .r16, .raw, .r32, .pgm, .png, .tif or .exr\n"},
      {{dir.file("in.bmp"), dir.file("o.JPEG")},
       "ERROR: Output format not supported: Quillorn writes no JPEG",
       "quillorn: " + dir.file("o.JPEG") +
           ": its name asks for JPEG, which Quillorn does not write; end it "
           "in .bmp, .r16, .raw, .r32, .pgm, .png, .tif or .exr\n"},
      {{dir.file("in.bmp"), dir.file("o.gif")},
       "ERROR: Output format not supported: Quillorn writes no GIF",
       "quillorn: " + dir.file("o.gif") +
           ": its name asks for GIF, which Quillorn does not write; end it "
           "in .bmp, .r16, .raw, .r32, .pgm, .png, .tif or .exr\n"},
      {{dir.file("in.bmp"), dir.file("o.webp"), "-tiles", "1x2"},
       "ERROR: Output format not supported: Quillorn writes no WebP",
       "quillorn: " + dir.file("o.webp") +
           ": its name asks for WebP, which Quillorn does not write; end it "
           "in .bmp, .r16, .raw, .r32, .pgm, .png, .tif or .exr\n"},
  };
  for (const Refused& r : refused) {
    ProcessResult result = runQuillorn(r.arguments);
    EXPECT_EQ(result.exitStatus, kFailed) << r.line;
    EXPECT_EQ(result.lines,
              r.runs ? withBanner({r.line}) : bannerOnly({r.line}))
        << r.line;
    EXPECT_EQ(result.errors, r.errors) << r.line;
    if (r.arguments.size() > 1) {
      EXPECT_FALSE(fileExists(r.arguments[1])) << r.line;
    }
  }
  // Help asked for anywhere on the line is help, not a conversion.
  ProcessResult help =
      runQuillorn({dir.file("in.bmp"), dir.file("o.bmp"), "-smo", "--help"});
  EXPECT_EQ(help.exitStatus, 0);
  ASSERT_GT(help.lines.size(), 2u);
  EXPECT_EQ(help.lines[1].rfind("Usage: quillorn", 0), 0u);
  EXPECT_FALSE(fileExists(dir.file("o.bmp")));
}

// The advice for an RLE8 grey bitmap, run as written with ImageMagick,
// gives a bitmap of the same heights as the uncompressed original.
TEST(EndToEndTest, CompressedBitmapAdviceKeepsHeights) {
  const std::string convert = "/usr/bin/convert";
  if (!fileExists(convert)) {
    GTEST_SKIP() << "ImageMagick 6 is not installed (Debian's imagemagick): "
                    "the advice for an RLE8 bitmap is not run";
  }
  if (throughLauncher()) GTEST_SKIP() << "runs convert, not through a launcher";
  ChildSetup setup;
  setup.executable = convert;
  ProcessResult version = runQuillornWith({"-version"}, setup);
  if (version.lines.empty() ||
      version.lines[0].find("ImageMagick") == std::string::npos) {
    GTEST_SKIP() << convert << " is not ImageMagick's convert";
  }
  TempDir dir;
  BitmapPlan plan;
  plan.bitsPerPixel = 8;
  plan.width = 4;
  plan.height = 2;
  plan.pixels = {3, 250, 7, 7, 0, 1, 2, 200};
  const std::vector<uint8_t> plain = buildBitmap(plan);
  // The same pixels as RLE8 runs of one, each row ended, then the bitmap.
  const size_t offset = fieldLe32(plain, 10);
  std::vector<uint8_t> rle(plain.begin(),
                           plain.begin() + static_cast<ptrdiff_t>(offset));
  for (size_t row = 0; row < 2; ++row) {
    for (size_t column = 0; column < 4; ++column) {
      rle.insert(rle.end(), {1, plan.pixels[row * 4 + column]});
    }
    rle.insert(rle.end(), {0, 0});
  }
  rle.insert(rle.end(), {0, 1});
  const uint32_t fileSize = static_cast<uint32_t>(rle.size());
  const uint32_t imageSize = fileSize - static_cast<uint32_t>(offset);
  for (int byte = 0; byte < 4; ++byte) {
    rle[static_cast<size_t>(2 + byte)] =
        static_cast<uint8_t>(fileSize >> (8 * byte));
    rle[static_cast<size_t>(34 + byte)] =
        static_cast<uint8_t>(imageSize >> (8 * byte));
  }
  rle[30] = 1;
  ASSERT_TRUE(writeFileBytes(dir.file("map.bmp"), rle));
  ASSERT_TRUE(writeFileBytes(dir.file("twin.bmp"), plain));
  ProcessResult refused =
      runQuillorn({dir.file("map.bmp"), dir.file("no.r16")});
  ASSERT_EQ(refused.exitStatus, kFailed);
  // The command between "ImageMagick 6: " and ";", its file names ours.
  const std::string start = "ImageMagick 6: ";
  size_t from = refused.errors.find(start);
  ASSERT_NE(from, std::string::npos) << refused.errors;
  from += start.size();
  const size_t to = refused.errors.find(';', from);
  ASSERT_NE(to, std::string::npos) << refused.errors;
  std::istringstream words(refused.errors.substr(from, to - from));
  std::vector<std::string> command;
  for (std::string word; words >> word;) {
    if (word == "map.bmp") word = dir.file("map.bmp");
    if (word == "BMP3:plain.bmp") word = "BMP3:" + dir.file("plain.bmp");
    command.push_back(word);
  }
  ASSERT_FALSE(command.empty());
  ASSERT_EQ(command[0], "convert");
  command.erase(command.begin());
  ProcessResult converted = runQuillornWith(command, setup);
  ASSERT_EQ(converted.exitStatus, 0) << converted.errors;
  ASSERT_EQ(
      runQuillorn({dir.file("plain.bmp"), dir.file("plain.r16")}).exitStatus,
      0);
  ASSERT_EQ(
      runQuillorn({dir.file("twin.bmp"), dir.file("twin.r16")}).exitStatus, 0);
  std::vector<uint8_t> got, want;
  ASSERT_TRUE(readFileBytes(dir.file("plain.r16"), &got));
  ASSERT_TRUE(readFileBytes(dir.file("twin.r16"), &want));
  EXPECT_EQ(got, want);
  EXPECT_EQ(want.size(), 16u);
}

}  // namespace
