// Which channels of an OpenEXR file become the heights: the one channel
// (alpha beside it dropped), R = G = B grey, or what -channel picks.
#ifndef QUILLORN_IMAGE_EXR_CHANNELS_H_
#define QUILLORN_IMAGE_EXR_CHANNELS_H_

#include <string>
#include <vector>

#include "image/channel_choice.h"
#include "image/exr_file.h"

// The channels read, and how they make one height.
struct ExrChannels {
  std::vector<std::string> used;  // by name, in the order visited
  bool luma = false;              // R, G and B weighed into their luma
};

// Decides which of names to read as choice asks, filling chosen and
// info->read, colourChecked and picked; false with error set when the file
// has no channel to read that way.
bool chooseExrChannels(const std::vector<std::string>& names,
                       ChannelChoice choice, ExrChannels* chosen, ExrInfo* info,
                       std::string* error);

// The names as a list for messages: "B, G, R".
std::string joinedNames(const std::vector<std::string>& names);

#endif  // QUILLORN_IMAGE_EXR_CHANNELS_H_
