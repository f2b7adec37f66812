#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/command_line.h"

namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base && *base ? base : "/tmp") + "/quillorn-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  // Read-only folders made by a test would stop the removal.
  for (auto& entry :
       std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(),
                                 std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const {
  return path_ + "/" + name;
}

bool writeFileBytes(const std::string& path,
                    const std::vector<uint8_t>& bytes) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(stream);
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return false;
  bytes->assign(std::istreambuf_iterator<char>(stream),
                std::istreambuf_iterator<char>());
  return true;
}

bool fileExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> folderNames(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(path, ignored))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> quillornCommand() {
  std::vector<std::string> command;
  const char* launcher = std::getenv("QUILLORN_TEST_LAUNCHER");
  if (launcher != nullptr && *launcher != '\0') command.push_back(launcher);
  const char* exe = std::getenv("QUILLORN_TEST_EXE");
  command.push_back(exe != nullptr && *exe != '\0' ? exe : QUILLORN_EXE);
  return command;
}

bool throughLauncher() {
  const char* launcher = std::getenv("QUILLORN_TEST_LAUNCHER");
  return launcher != nullptr && *launcher != '\0';
}

namespace {

// The tool's command (launcher, executable) followed by arguments.
std::vector<std::string> commandLine(
    const std::vector<std::string>& arguments) {
  std::vector<std::string> all = quillornCommand();
  all.insert(all.end(), arguments.begin(), arguments.end());
  return all;
}

// execv's view of all, ended by a null pointer; valid while all lives.
std::vector<char*> argumentPointers(std::vector<std::string>* all) {
  std::vector<char*> argv;
  for (std::string& argument : *all) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return argv;
}

}  // namespace

namespace {

// Reads what is there on fd into text; false at its end (or on an error).
bool drain(int fd, std::string* text) {
  char buffer[4096];
  ssize_t count = read(fd, buffer, sizeof buffer);
  if (count <= 0) return false;
  text->append(buffer, static_cast<size_t>(count));
  return true;
}

// The child's side: standard streams, identity and limits, then the tool.
[[noreturn]] void becomeTool(const ChildSetup& setup, int outputFd, int errorFd,
                             std::vector<char*>* argv) {
  int nothing = open("/dev/null", O_RDONLY);
  dup2(nothing, STDIN_FILENO);
  if (!setup.outputFile.empty()) {
    outputFd =
        open(setup.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  dup2(outputFd, STDOUT_FILENO);
  dup2(errorFd, STDERR_FILENO);
  if (setup.outputClosed) close(STDOUT_FILENO);
  if (setup.inputAndErrorClosed) {
    close(STDIN_FILENO);
    close(STDERR_FILENO);
  }
  // Every other descriptor (pipe ends, the terminal's controller) closes.
  for (int fd = 3; fd < 1024; ++fd) close(fd);
  const unsigned kNobody = 65534;
  if (setup.unprivileged && geteuid() == 0 &&
      (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
    _exit(126);
  }
  if (setup.addressSpaceBytes != 0) {
    rlimit limit{setup.addressSpaceBytes, setup.addressSpaceBytes};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
  }
  if (setup.openFiles != 0) {
    rlimit limit{setup.openFiles, setup.openFiles};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
  }
  if (setup.fileSizeBytes != 0) {
    rlimit limit{setup.fileSizeBytes, setup.fileSizeBytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  // The tool must set up its own signal handling: start it with defaults.
  for (int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) {
    signal(number, SIG_DFL);
  }
  execv((*argv)[0], argv->data());
  _exit(127);
}

}  // namespace

ProcessResult runQuillornWith(const std::vector<std::string>& arguments,
                              const ChildSetup& setup) {
  ProcessResult result;
  int outputEnds[2];
  int errorEnds[2];
  if (pipe(outputEnds) != 0) return result;
  if (setup.terminal) {
    if (openpty(&errorEnds[0], &errorEnds[1], nullptr, nullptr, nullptr) != 0) {
      return result;
    }
    if (setup.terminalColumns > 0) {
      winsize size{};
      size.ws_row = 24;
      size.ws_col = static_cast<unsigned short>(setup.terminalColumns);
      ioctl(errorEnds[1], TIOCSWINSZ, &size);
    }
  } else if (pipe(errorEnds) != 0) {
    return result;
  }
  std::vector<std::string> all = commandLine(arguments);
  if (!setup.executable.empty())
    all[all.size() - arguments.size() - 1] = setup.executable;
  if (setup.native) {
    all.erase(all.begin(), all.end() - static_cast<long>(arguments.size()));
    all.insert(all.begin(), QUILLORN_EXE);
  }
  std::vector<char*> argv = argumentPointers(&all);
  pid_t child = fork();
  if (child == 0) becomeTool(setup, outputEnds[1], errorEnds[1], &argv);
  close(outputEnds[1]);
  close(errorEnds[1]);
  std::string output;
  bool acted = setup.afterLine.empty();
  // Both streams are drained together, so that neither can fill and stall.
  bool outputOpen = true, errorOpen = true, outputClosed = false;
  while (outputOpen || errorOpen) {
    pollfd fds[2] = {{outputOpen ? outputEnds[0] : -1, POLLIN, 0},
                     {errorOpen ? errorEnds[0] : -1, POLLIN, 0}};
    if (poll(fds, 2, 60000) <= 0) break;
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      outputOpen = drain(outputEnds[0], &output);
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      errorOpen = drain(errorEnds[0], &result.errors);
    }
    if (!acted && child > 0 &&
        output.find(setup.afterLine + "\n") != std::string::npos) {
      acted = true;
      if (setup.action) setup.action();
      if (setup.signal == SIGPIPE) {
        close(outputEnds[0]);
        outputOpen = false;
        outputClosed = true;
      } else if (setup.signal != 0) {
        kill(child, setup.signal);
      }
    }
  }
  if (!outputClosed) close(outputEnds[0]);
  close(errorEnds[0]);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child) {
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  }
  result.lines = splitLines(output);
  return result;
}

ProcessResult runQuillorn(const std::vector<std::string>& arguments,
                          bool unprivileged, uint64_t addressSpaceBytes) {
  ChildSetup setup;
  setup.unprivileged = unprivileged;
  setup.addressSpaceBytes = addressSpaceBytes;
  return runQuillornWith(arguments, setup);
}

ProcessResult runInProcess(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"quillorn"};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  std::ostringstream console;
  std::ostringstream diagnostics;
  ProcessResult result;
  result.exitStatus = runCommandLine(static_cast<int>(argv.size()), argv.data(),
                                     console, diagnostics);
  result.lines = splitLines(console.str());
  result.errors = diagnostics.str();
  return result;
}

std::string sharedTestData() {
  const char* chosen = std::getenv("QUILLORN_TESTDATA");
  std::string path =
      chosen != nullptr && *chosen != '\0'
          ? chosen
          : std::string(QUILLORN_SOURCE_DIR) + "/../shared/testdata";
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? path : "";
}

std::string testDataMissing() {
  const char* named = std::getenv("QUILLORN_TESTDATA");
  if (named != nullptr && *named != '\0') {
    return std::string("skipped: no test data in $QUILLORN_TESTDATA (") +
           named + ")";
  }
  return "skipped: no test data in " + std::string(QUILLORN_SOURCE_DIR) +
         "/../shared/testdata (or set $QUILLORN_TESTDATA to the testdata "
         "folder)";
}

uint32_t fieldLe32(const std::vector<uint8_t>& bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) |
         static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

bool decode24(const std::vector<uint8_t>& file, DecodedImage* image,
              std::string* why) {
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') {
    *why = "not a bitmap";
    return false;
  }
  if ((file[28] | file[29] << 8) != 24 || fieldLe32(file, 30) != 0) {
    *why = "not uncompressed 24-bit";
    return false;
  }
  int32_t width = static_cast<int32_t>(fieldLe32(file, 18));
  int32_t height = static_cast<int32_t>(fieldLe32(file, 22));
  size_t offset = fieldLe32(file, 10);
  if (width <= 0 || height == 0) {
    *why = "bad size";
    return false;
  }
  int32_t rows = height < 0 ? -height : height;
  size_t stride = (3 * static_cast<size_t>(width) + 3) / 4 * 4;
  if (offset + stride * static_cast<size_t>(rows) > file.size()) {
    *why = "pixel rows past the end";
    return false;
  }
  image->width = width;
  image->rows = rows;
  size_t count = static_cast<size_t>(width) * static_cast<size_t>(rows);
  image->red.assign(count, 0);
  image->green.assign(count, 0);
  image->blue.assign(count, 0);
  for (int32_t fileRow = 0; fileRow < rows; ++fileRow) {
    int32_t row = height < 0 ? fileRow : rows - 1 - fileRow;
    const uint8_t* bytes =
        file.data() + offset + stride * static_cast<size_t>(fileRow);
    for (int32_t column = 0; column < width; ++column) {
      size_t at = static_cast<size_t>(row * width + column);
      image->blue[at] = bytes[3 * column];
      image->green[at] = bytes[3 * column + 1];
      image->red[at] = bytes[3 * column + 2];
    }
  }
  return true;
}

namespace {

// Leaves the reason of every skipped test in $QUILLORN_SKIP_REASONS, where
// CTest's closing step reads them: CTest itself shows only that a test
// skipped, not why.
class SkipRecorder : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo& test) override {
    const char* folder = std::getenv("QUILLORN_SKIP_REASONS");
    const testing::TestResult* result = test.result();
    if (folder == nullptr || *folder == '\0' || !result->Skipped()) return;
    std::string reason;
    for (int index = 0; index < result->total_part_count(); ++index) {
      const testing::TestPartResult& part = result->GetTestPartResult(index);
      if (part.skipped()) reason += part.message();
    }
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::string name =
        std::string(test.test_suite_name()) + "." + test.name() + ".txt";
    writeFileBytes(std::string(folder) + "/" + name,
                   std::vector<uint8_t>(reason.begin(), reason.end()));
  }
};

// Registered before main runs the tests.
const bool kSkipRecorderInstalled = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new SkipRecorder);
  return true;
}();

}  // namespace
