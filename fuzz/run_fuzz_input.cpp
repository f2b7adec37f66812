#include "run_fuzz_input.h"

#include <set>

#include "app/run_options.h"

namespace {

const char* const kScales[8] = {"0", "1", "2", "0.5", "-1", "1e30", "nan", "x"};
const char* const kEndings[4] = {".bmp", ".r16", ".pgm", ".png"};
const char* const kElevationInputs[4] = {".tif", ".hgt", ".r16", ".tif"};
const char* const kElevationOutputs[4] = {".tif", ".bmp", ".r16", ".png"};
// Float files are elevation names with -dim 3x2; OpenEXR and PFM inputs are
// known by their bytes, whatever their names.
const char* const kFloatInputs[4] = {".exr", ".pfm", ".r32", ".r32"};
const char* const kFloatOutputs[4] = {".exr", ".r32", ".r16", ".png"};

bool elevation(const uint8_t* prefix) { return (prefix[4] & 128) != 0; }

bool floats(const uint8_t* prefix) {
  return elevation(prefix) && (prefix[4] & 64) != 0;
}

}  // namespace

std::vector<std::string> fuzzSwitches(const uint8_t* prefix,
                                      const std::string& folder) {
  std::vector<std::string> switches;
  if (prefix[0] & 1)
    switches.insert(switches.end(), {"-sca", kScales[(prefix[0] >> 3) & 7]});
  if (prefix[0] & 2) {
    int16_t minimum = static_cast<int16_t>(prefix[2] | prefix[3] << 8);
    switches.insert(switches.end(), {"-min", std::to_string(minimum)});
  }
  if (prefix[0] & 4) {
    switches.insert(
        switches.end(),
        {"-smo", std::to_string(static_cast<int8_t>(prefix[1]) % 4)});
  }
  // Without -min its byte chooses a window, which reaches past the
  // smallest maps: both sides of the refusal.
  if (!(prefix[0] & 2)) {
    const std::vector<std::string> windows[4] = {
        {},
        {"-crop", "2x2+1+0"},
        {"-bounds", "0,0,1,1"},
        {"-crop", "1x1+0+0", "-bounds", "-1e9,-1e9,1e9,1e9"}};
    const std::vector<std::string>& window = windows[prefix[2] & 3];
    switches.insert(switches.end(), window.begin(), window.end());
    // Ignored with its warning: the fuzzed input is one file.
    if (prefix[2] & 4) switches.insert(switches.end(), {"-tilerows", "bottom"});
  }
  const std::vector<std::string> extras[4] = {
      {}, {"-world"}, {"-fill", "1"}, {"-channel", "luma"}};
  // A TIFF's floats from any heights, and 16-bit heights from floats.
  if (prefix[1] & 64) {
    switches.insert(switches.end(),
                    {"-depth", (prefix[1] & 32) != 0 ? "32" : "16"});
  }
  const std::vector<std::string>& extra = extras[prefix[0] >> 6];
  switches.insert(switches.end(), extra.begin(), extra.end());
  if (prefix[4] & 16) {
    switches.insert(switches.end(),
                    {"-view", folder + "/" + fuzzViewName(prefix)});
  }
  if (prefix[4] & 64) switches.insert(switches.end(), {"-dim", "3x2"});
  if (elevation(prefix) && (prefix[4] & 3) == 2) {
    switches.insert(switches.end(), {"-order", "big"});
  }
  if (elevation(prefix) && (prefix[4] & 3) == 3) {
    switches.insert(switches.end(), {"-unit", "0.5"});
  }
  const uint8_t geometry = prefix[5];
  const std::vector<std::string> turns[4] = {
      {},
      {"-flip", "horizontal"},
      {"-rotate", "90"},
      {"-flip", "vertical", "-rotate", "270", "-rotate", "90"}};
  const std::vector<std::string> sizes[4] = {
      {}, {"-size", "5x3"}, {"-fit", "unity"}, {"-fit", "unreal"}};
  const std::vector<std::string> tilings[4] = {
      {}, {"-tiles", "2x1"}, {"-tiles", "1x2"}, {"-tiles", "2x2"}};
  const std::vector<std::string> filters[4] = {
      {}, {"-filter", "linear"}, {"-filter", "box"}, {"-filter", "mitchell"}};
  for (const std::vector<std::string>* part :
       {&turns[geometry & 3], &sizes[(geometry >> 2) & 3],
        &tilings[(geometry >> 4) & 3], &filters[(geometry >> 6) & 3]}) {
    switches.insert(switches.end(), part->begin(), part->end());
  }
  return switches;
}

std::string fuzzInputName(const uint8_t* prefix) {
  return std::string("in") + (floats(prefix)      ? kFloatInputs
                              : elevation(prefix) ? kElevationInputs
                                                  : kEndings)[prefix[4] & 3];
}

std::string fuzzOutputName(const uint8_t* prefix) {
  return std::string("out") + (floats(prefix) ? kFloatOutputs
                               : elevation(prefix)
                                   ? kElevationOutputs
                                   : kEndings)[(prefix[4] >> 2) & 3];
}

std::string fuzzViewName(const uint8_t* prefix) {
  if (!(prefix[4] & 16)) return std::string();
  return prefix[4] & 32 ? "view.png" : "view.bmp";
}

std::vector<uint8_t> fuzzPrefix(bool scale, int scaleIndex, bool minimum,
                                int16_t minimumValue, bool smooth,
                                int8_t passes, uint8_t formats,
                                uint8_t geometry) {
  uint8_t flags =
      static_cast<uint8_t>((scale ? 1 : 0) | (minimum ? 2 : 0) |
                           (smooth ? 4 : 0) | (scaleIndex & 7) << 3);
  uint16_t bits = static_cast<uint16_t>(minimumValue);
  return {flags,
          static_cast<uint8_t>(passes),
          static_cast<uint8_t>(bits),
          static_cast<uint8_t>(bits >> 8),
          formats,
          geometry};
}

std::vector<std::string> unfuzzedSwitches() {
  // Each byte of the prefix alone, the others 0, selects every switch
  // somewhere.
  std::set<std::string> used;
  for (size_t byte = 0; byte < kFuzzPrefixSize; ++byte) {
    for (int value = 0; value < 256; ++value) {
      uint8_t prefix[kFuzzPrefixSize] = {};
      prefix[byte] = static_cast<uint8_t>(value);
      for (const std::string& argument : fuzzSwitches(prefix, "f")) {
        used.insert(argument);
      }
    }
  }
  std::vector<std::string> missing;
  for (const SwitchRow& row : switchTable()) {
    if (used.count(row.name) == 0) missing.push_back(row.name);
  }
  return missing;
}
