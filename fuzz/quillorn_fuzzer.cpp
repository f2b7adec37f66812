// libFuzzer target: arbitrary bytes as the input file (named as a bitmap,
// raw heights, a PGM, a PNG, a TIFF or an SRTM tile), an arbitrary switch
// set and output format,
// through the whole conversion run. Beyond the sanitizers it checks the
// run's promises: success means "Done!" last, the output (and the picture,
// when asked for) in place, a bitmap of the size its header claims; failure
// means one "ERROR: " line last and no file left behind.
#include <dirent.h>
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

const char* const kNames[] = {
    "in.bmp",  "in.r16",  "in.pgm",  "in.png",  "in.tif",   "in.hgt",
    "in.exr",  "in.pfm",  "in.r32",  "out.bmp", "out.r16",  "out.pgm",
    "out.png", "out.tif", "out.exr", "out.r32", "view.png", "view.bmp"};

void removeFiles(const std::string& folder) {
  for (const char* name : kNames) std::remove((folder + "/" + name).c_str());
}

void removeWorkFolder() {
  removeFiles(workFolderPath);
  rmdir(workFolderPath);
}

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
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
  const std::string folder = workFolder();
  removeFiles(folder);
  const std::string input = folder + "/" + fuzzInputName(data);
  const std::string output = folder + "/" + fuzzOutputName(data);
  const std::string view =
      fuzzViewName(data).empty() ? "" : folder + "/" + fuzzViewName(data);
  FILE* file = std::fopen(input.c_str(), "wb");
  if (file == nullptr) abort();
  size_t fileBytes = size - kFuzzPrefixSize;
  if (std::fwrite(data + kFuzzPrefixSize, 1, fileBytes, file) != fileBytes)
    abort();
  std::fclose(file);

  std::vector<std::string> arguments = {"quillorn", input, output};
  std::vector<std::string> switches = fuzzSwitches(data, folder);
  arguments.insert(arguments.end(), switches.begin(), switches.end());
  std::vector<const char*> argv;
  for (const std::string& argument : arguments)
    argv.push_back(argument.c_str());

  std::ostringstream console;
  std::ostringstream diagnostics;
  int status = runCommandLine(static_cast<int>(argv.size()), argv.data(),
                              console, diagnostics);
  std::string last = lastLine(console.str());
  if (status == kExitSuccess) {
    if (last != "Done!" || !exists(output)) abort();
    if (!view.empty() && !exists(view)) abort();
    if (output.substr(output.size() - 4) == ".bmp") {
      // The header's file size must be the file's real size.
      struct stat info;
      uint8_t header[6];
      FILE* written = std::fopen(output.c_str(), "rb");
      if (written == nullptr || std::fread(header, 1, 6, written) != 6) abort();
      std::fclose(written);
      if (stat(output.c_str(), &info) != 0 ||
          loadLe32(header + 2) != static_cast<uint64_t>(info.st_size)) {
        abort();
      }
    }
  } else {
    if (status != kExitFailure || last.rfind("ERROR: ", 0) != 0 ||
        exists(output) || (!view.empty() && exists(view))) {
      abort();
    }
  }
  // Nothing else may be left in the folder: no temporary survives a run.
  size_t names = 0;
  if (DIR* listing = opendir(folder.c_str())) {
    while (dirent* entry = readdir(listing)) {
      std::string name = entry->d_name;
      names += name != "." && name != "..";
    }
    closedir(listing);
  }
  size_t expected = 1;
  if (status == kExitSuccess) expected += view.empty() ? 1 : 2;
  if (names != expected) abort();
  return 0;
}
