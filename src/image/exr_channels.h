// Which channels of an OpenEXR file become the heights: the one channel
// (alpha beside it dropped), R = G = B grey, or what -channel picks; and
// what a file's first part says, which the choice fills in.
#ifndef QUILLORN_IMAGE_EXR_CHANNELS_H_
#define QUILLORN_IMAGE_EXR_CHANNELS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/channel_choice.h"

// What an OpenEXR file's first part says, and what will be read of it.
struct ExrInfo {
  int32_t width = 0;
  int32_t height = 0;
  bool tiled = false;
  std::string channels;  // every channel's name, "B, G, R", for messages
  std::string read;      // what becomes the heights: "Y", "R = G = B", ...
  bool colourChecked = false;  // R, G and B read, which must be grey
  bool picked = false;         // a channel or the luma picked by -channel
};

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
