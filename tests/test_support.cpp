#include "test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "app/elevation_recoder.h"

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

// How the tool's process is set up besides its arguments.
struct ChildSetup {
  bool unprivileged = false;        // run as nobody when root
  uint64_t addressSpaceBytes = 0;   // 0: no limit
  std::string* terminal = nullptr;  // standard error on a pseudo-terminal
};

ProcessResult runChild(const std::vector<std::string>& arguments,
                       const ChildSetup& setup) {
  ProcessResult result;
  int pipeEnds[2];
  int controller = -1, device = -1;
  if (pipe(pipeEnds) != 0) return result;
  if (setup.terminal != nullptr &&
      openpty(&controller, &device, nullptr, nullptr, nullptr) != 0) {
    return result;
  }
  std::vector<std::string> all = commandLine(arguments);
  std::vector<char*> argv = argumentPointers(&all);
  pid_t child = fork();
  if (child == 0) {
    int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    dup2(pipeEnds[1], STDOUT_FILENO);
    if (device >= 0) dup2(device, STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    if (device >= 0) {
      close(controller);
      close(device);
    }
    const unsigned kNobody = 65534;
    if (setup.unprivileged && geteuid() == 0 &&
        (setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
      _exit(126);
    }
    if (setup.addressSpaceBytes != 0) {
      rlimit limit{setup.addressSpaceBytes, setup.addressSpaceBytes};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  if (device >= 0) close(device);
  std::string output;
  char buffer[4096];
  // Both streams are drained together, so that neither can fill and stall;
  // poll passes over a terminal that is not there (-1).
  bool outputOpen = true, terminalOpen = controller >= 0;
  while (outputOpen || terminalOpen) {
    pollfd fds[2] = {{outputOpen ? pipeEnds[0] : -1, POLLIN, 0},
                     {terminalOpen ? controller : -1, POLLIN, 0}};
    if (poll(fds, 2, 60000) <= 0) break;
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      ssize_t count = read(pipeEnds[0], buffer, sizeof buffer);
      if (count > 0) {
        output.append(buffer, static_cast<size_t>(count));
      } else {
        outputOpen = false;
      }
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      ssize_t count = read(controller, buffer, sizeof buffer);
      if (count > 0) {
        setup.terminal->append(buffer, static_cast<size_t>(count));
      } else {
        terminalOpen = false;
      }
    }
  }
  close(pipeEnds[0]);
  if (controller >= 0) close(controller);
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  }
  result.lines = splitLines(output);
  return result;
}

}  // namespace

ProcessResult runQuillorn(const std::vector<std::string>& arguments,
                          bool unprivileged, uint64_t addressSpaceBytes) {
  ChildSetup setup;
  setup.unprivileged = unprivileged;
  setup.addressSpaceBytes = addressSpaceBytes;
  return runChild(arguments, setup);
}

ProcessResult runQuillornOnTerminal(const std::vector<std::string>& arguments,
                                    std::string* terminal) {
  ChildSetup setup;
  setup.terminal = terminal;
  return runChild(arguments, setup);
}

ProcessResult runInProcess(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"quillorn"};
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());
  std::ostringstream console;
  ProcessResult result;
  result.exitStatus =
      runCommandLine(static_cast<int>(argv.size()), argv.data(), console);
  result.lines = splitLines(console.str());
  return result;
}

std::string sharedTestData() {
  std::string path = std::string(QUILLORN_SOURCE_DIR) + "/../shared/testdata";
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) ? path : "";
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
