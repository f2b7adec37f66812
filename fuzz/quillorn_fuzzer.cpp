// libFuzzer target: arbitrary bytes as the input file and an arbitrary switch
// set, through the whole conversion run. Beyond the sanitizers it checks the
// run's promises: success means "Done!" last and an output file of the size
// its header claims; failure means one "ERROR: " line last and no output.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/elevation_recoder.h"
#include "image/little_endian.h"
#include "run_fuzz_input.h"

namespace {

// A plain buffer: it must outlive the exit handler that removes the folder.
char workFolderPath[64];

void removeWorkFolder() {
  std::remove((std::string(workFolderPath) + "/in.bmp").c_str());
  std::remove((std::string(workFolderPath) + "/out.bmp").c_str());
  rmdir(workFolderPath);
}

std::string workFolder() {
  static std::string folder = [] {
    std::snprintf(workFolderPath, sizeof workFolderPath,
                  "/tmp/quillorn-fuzz-XXXXXX");
    if (mkdtemp(workFolderPath) == nullptr) abort();
    std::atexit(removeWorkFolder);
    return std::string(workFolderPath);
  }();
  return folder;
}

std::string lastLine(const std::string& text) {
  size_t end = text.size();
  if (end > 0 && text[end - 1] == '\n') --end;
  size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
  start = start == std::string::npos ? 0 : start + 1;
  return text.substr(start, end - start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kFuzzPrefixSize) return 0;
  const std::string input = workFolder() + "/in.bmp";
  const std::string output = workFolder() + "/out.bmp";
  FILE* file = std::fopen(input.c_str(), "wb");
  if (file == nullptr) abort();
  size_t fileBytes = size - kFuzzPrefixSize;
  if (std::fwrite(data + kFuzzPrefixSize, 1, fileBytes, file) != fileBytes)
    abort();
  std::fclose(file);
  std::remove(output.c_str());

  std::vector<std::string> arguments = {"quillorn", input, output};
  std::vector<std::string> switches = fuzzSwitches(data);
  arguments.insert(arguments.end(), switches.begin(), switches.end());
  std::vector<const char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());

  std::ostringstream console;
  std::ostringstream diagnostics;
  int status = runCommandLine(static_cast<int>(argv.size()), argv.data(),
                              console, diagnostics);
  std::string last = lastLine(console.str());
  struct stat info;
  bool exists = stat(output.c_str(), &info) == 0;
  if (status == kExitSuccess) {
    if (last != "Done!" || !exists) abort();
    // The header's file size must be the file's real size.
    uint8_t header[6];
    FILE* written = std::fopen(output.c_str(), "rb");
    if (written == nullptr || std::fread(header, 1, 6, written) != 6) abort();
    std::fclose(written);
    if (loadLe32(header + 2) != static_cast<uint64_t>(info.st_size)) abort();
  } else {
    if (status != kExitFailure || last.rfind("ERROR: ", 0) != 0 || exists)
      abort();
  }
  return 0;
}
