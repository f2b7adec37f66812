// Replays fuzzing inputs without libFuzzer: every file named on the command
// line, or every file (but notes, *.md) in a folder named there, goes
// through the fuzz target once. Exits non-zero on the first unreadable file
// and when a switch of the command line is never fuzzed; a broken promise
// aborts inside the target.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "run_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.string().c_str());
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  std::printf("replayed %s (%zu bytes)\n", path.string().c_str(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (const std::string& name : unfuzzedSwitches()) {
    std::fprintf(stderr, "replay: no fuzzing input selects %s\n", name.c_str());
  }
  if (!unfuzzedSwitches().empty()) return 1;
  for (int index = 1; index < argc; ++index) {
    std::filesystem::path path(argv[index]);
    if (!std::filesystem::is_directory(path)) {
      if (!replay(path)) return 1;
      continue;
    }
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".md") {
        continue;
      }
      if (!replay(entry.path())) return 1;
    }
  }
  return 0;
}
