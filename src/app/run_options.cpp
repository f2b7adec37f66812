// The switches on the command line.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/elevation_recoder.h"

bool isSwitch(const char* argument) {
  for (const char* name : kSwitches) {
    if (std::strcmp(argument, name) == 0) return true;
  }
  return false;
}

int findOption(int argc, const char* const* argv, const char* name) {
  for (int index = 3; index < argc; ++index) {
    if (std::strcmp(argv[index], name) == 0) return index;
  }
  return kOptionNotFound;
}

float parseScale(const char* text) {
  return static_cast<float>(std::strtod(text, nullptr));
}

int32_t parseInteger(const char* text) {
  // strtoll saturates where atoi would overflow; long long covers int32 on
  // every platform, so the clamp below decides the result.
  long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

RunOptions findRunOptions(int argc, const char* const* argv) {
  RunOptions options;
  int index = findOption(argc, argv, "-sca");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.scale = parseScale(argv[index + 1]);
    options.scaleGiven = true;
  }
  index = findOption(argc, argv, "-min");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.minimum = parseInteger(argv[index + 1]);
    options.minimumGiven = true;
  }
  index = findOption(argc, argv, "-smo");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.smoothPasses = parseInteger(argv[index + 1]);
    options.smoothGiven = true;
  }
  index = findOption(argc, argv, "-dim");
  if (index != kOptionNotFound && index + 1 < argc) {
    options.sizeGiven = true;
    options.sizeValid = parseRasterSize(argv[index + 1], &options.size);
  }
  index = findOption(argc, argv, "-view");
  if (index != kOptionNotFound) {
    options.viewGiven = index + 1 < argc;
    options.viewMissing = !options.viewGiven;
    if (options.viewGiven) options.view = argv[index + 1];
  }
  return options;
}
