// libFuzzer target: arbitrary bytes as the input file (named as a bitmap,
// raw heights, a PGM, a PNG, a TIFF or an SRTM tile), an arbitrary switch
// set, geometry (flips, turns, -size, -fit, -tiles, -filter), -world,
// -fill or -channel, and output
// format, through the whole conversion run. Beyond the sanitizers it checks
// the run's promises: success means "Done!" last, the output or its tiles
// (and the picture, when asked for) in place, every bitmap of the size its
// header claims; failure means one "ERROR: " line last, free of control
// characters, and no file left behind.
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

#include "app/command_line.h"
#include "image/little_endian.h"
#include "run_fuzz_input.h"

namespace {

// A plain buffer: it must outlive the exit handler that removes the folder.
char workFolderPath[64];

// The names in the folder, "." and ".." left out.
std::vector<std::string> folderNames(const char* folder) {
  std::vector<std::string> names;
  if (DIR* listing = opendir(folder)) {
    while (dirent* entry = readdir(listing)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
  }
  return names;
}

// Every file of the folder: the input, outputs, tiles and pictures of the
// last run.
void removeFiles(const char* folder) {
  for (const std::string& name : folderNames(folder)) {
    std::remove((std::string(folder) + "/" + name).c_str());
  }
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

// A world file beside an output: "out.wld", or the output's ending cut to
// its first and last letters and a "w" ("out.tfw").
bool isWorldFile(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot != std::string::npos &&
         (name.substr(dot) == ".wld" ||
          (name.size() - dot == 4 && name.back() == 'w'));
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
  removeFiles(folder.c_str());
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
  // A tiled run writes its tiles (named "out_...") instead of the output.
  const int tiles[4] = {0, 2, 2, 4};
  const int tileCount = tiles[(data[5] >> 4) & 3];
  std::vector<std::string> names = folderNames(folder.c_str());
  size_t written = 0;
  size_t worlds = 0;
  for (const std::string& name : names) {
    if (name.rfind("out", 0) != 0) continue;
    if (isWorldFile(name)) {
      ++worlds;
      continue;
    }
    ++written;
    if (status != kExitSuccess || name.substr(name.size() - 4) != ".bmp") {
      continue;
    }
    // The header's file size must be the file's real size.
    const std::string path = folder + "/" + name;
    struct stat info;
    uint8_t header[6];
    FILE* bitmap = std::fopen(path.c_str(), "rb");
    if (bitmap == nullptr || std::fread(header, 1, 6, bitmap) != 6) abort();
    std::fclose(bitmap);
    if (stat(path.c_str(), &info) != 0 ||
        loadLe32(header + 2) != static_cast<uint64_t>(info.st_size)) {
      abort();
    }
  }
  if (status == kExitSuccess) {
    if (last != "Done!") abort();
    if (tileCount == 0 ? !exists(output) : exists(output)) abort();
    if (written != static_cast<size_t>(tileCount == 0 ? 1 : tileCount)) {
      abort();
    }
    if (!view.empty() && !exists(view)) abort();
    // -world writes one beside each output, or none for an input that
    // says nothing of where it lies.
    if (worlds != 0 && worlds != written) abort();
  } else {
    // The ERROR line is plain text: nothing in it a terminal obeys.
    for (char letter : last) {
      const unsigned char byte = static_cast<unsigned char>(letter);
      if (byte < 0x20 || byte == 0x7F) abort();
    }
    if (status != kExitFailure || last.rfind("ERROR: ", 0) != 0 ||
        written != 0 || worlds != 0 || (!view.empty() && exists(view))) {
      abort();
    }
  }
  // Nothing else may be left in the folder: no temporary survives a run.
  size_t expected = 1;
  if (status == kExitSuccess) {
    expected += written + worlds + (view.empty() ? 0 : 1);
  }
  if (names.size() != expected) abort();
  return 0;
}
