// Helpers shared by the tests: temporary folders, whole-file I/O, running the
// built executable, and an independent decoder of 24-bit output bitmaps.
#ifndef QUILLORN_TESTS_TEST_SUPPORT_H_
#define QUILLORN_TESTS_TEST_SUPPORT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // path/name inside the folder.
  std::string file(const std::string& name) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The file's bytes; false when it cannot be read.
bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes);
bool fileExists(const std::string& path);
// The names in a folder, sorted; hidden files included.
std::vector<std::string> folderNames(const std::string& path);

// What a finished process left: its exit status (-1 when it did not exit
// normally) or the signal that ended it, its standard output split into
// lines, and what it wrote to standard error.
struct ProcessResult {
  int exitStatus = -1;
  int signal = 0;
  std::vector<std::string> lines;
  std::string errors;
};

// The executable the end-to-end tests run: QUILLORN_TEST_EXE when set (a
// Windows build, say), else the one built beside the tests. A launcher in
// QUILLORN_TEST_LAUNCHER (such as Wine) is put before it.
std::vector<std::string> quillornCommand();

// True when the tests drive the tool through a launcher, where checks that
// need a POSIX process of the tool's own (permissions, terminals) skip.
bool throughLauncher();

// How the tool's process is set up besides its arguments. It always starts
// with standard input on /dev/null and default signal dispositions.
struct ChildSetup {
  bool unprivileged = false;       // a root caller runs it as nobody
  uint64_t addressSpaceBytes = 0;  // RLIMIT_AS; 0: no limit
  uint64_t fileSizeBytes = 0;      // RLIMIT_FSIZE; 0: no limit
  uint64_t openFiles = 0;          // RLIMIT_NOFILE; 0: no limit
  bool terminal = false;           // standard error on a pseudo-terminal
  int terminalColumns = 0;         // the terminal's width; 0: the default
  std::string executable;          // instead of the usual executable
  bool native = false;        // the build beside the tests, with no launcher
  std::string outputFile;     // standard output to this file, not a pipe
  bool outputClosed = false;  // standard output not open at all
  bool inputAndErrorClosed = false;  // nor standard input and error
  // Once a line equal to afterLine has appeared on standard output, action
  // runs (when set) and the tool gets signal (when not 0); SIGPIPE closes
  // the reading end of its output instead, as `| head -n 3` would.
  std::string afterLine;
  std::function<void()> action;
  int signal = 0;
};

// Runs the built quillorn with arguments (argv[0] is added) as setup says,
// standard output and standard error captured (Windows line ends read as
// plain ones).
ProcessResult runQuillornWith(const std::vector<std::string>& arguments,
                              const ChildSetup& setup);

// runQuillornWith for the common setups: as nobody, or with the address
// space limited to addressSpaceBytes (not 0) so that large allocations fail.
ProcessResult runQuillorn(const std::vector<std::string>& arguments,
                          bool unprivileged = false,
                          uint64_t addressSpaceBytes = 0);

// Runs the command line in-process and splits what it printed into lines.
ProcessResult runInProcess(const std::vector<std::string>& arguments);

// The folder with the shared test data: $QUILLORN_TESTDATA when set, else
// ../shared/testdata beside the checkout; "" when it is absent.
std::string sharedTestData();

// Why a test that needs the shared data skipped, naming where it looked.
std::string testDataMissing();

// A 24-bit bitmap decoded by the tests' own reader, rows top first.
struct DecodedImage {
  int32_t width = 0;
  int32_t rows = 0;
  std::vector<uint8_t> red, green, blue;  // rows * width each
  int height(int32_t row, int32_t column) const {
    size_t at = static_cast<size_t>(row * width + column);
    return green[at] * 255 + red[at];
  }
};

// Decodes an uncompressed 24-bit bitmap; false (with a reason) when the bytes
// are not one, or their sizes do not add up.
bool decode24(const std::vector<uint8_t>& file, DecodedImage* image,
              std::string* why);

// Little-endian field of a file's bytes.
uint32_t fieldLe32(const std::vector<uint8_t>& bytes, size_t offset);

#endif  // QUILLORN_TESTS_TEST_SUPPORT_H_
