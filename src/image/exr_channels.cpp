#include "image/exr_channels.h"

#include <algorithm>

std::string joinedNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += (text.empty() ? "" : ", ") + name;
  }
  return text;
}

bool chooseExrChannels(const std::vector<std::string>& names,
                       ChannelChoice choice, ExrChannels* chosen, ExrInfo* info,
                       std::string* error) {
  auto has = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  const bool rgb = has("R") && has("G") && has("B");
  const std::string list = joinedNames(names);
  switch (choice) {
    case ChannelChoice::kGrey: {
      // Alpha beside heights is dropped, as a PNG's is.
      std::vector<std::string> rest;
      for (const std::string& name : names) {
        if (name != "A") rest.push_back(name);
      }
      if (names.size() == 1 || rest.size() == 1) {
        chosen->used = {names.size() == 1 ? names[0] : rest[0]};
        info->read = chosen->used[0];
        return true;
      }
      if (rgb && rest.size() == 3) {
        chosen->used = {"R", "G", "B"};
        info->read = "R = G = B";
        info->colourChecked = true;
        return true;
      }
      *error = "Input file is an OpenEXR of channels " + list +
               "; one is read as the heights: -channel red, green, blue, "
               "alpha or luma picks it";
      return false;
    }
    case ChannelChoice::kLuma:
      if (!rgb) {
        *error = "Input file is an OpenEXR of channels " + list +
                 ": -channel luma needs R, G and B";
        return false;
      }
      chosen->used = {"R", "G", "B"};
      chosen->luma = true;
      info->read = "the luma of R, G and B";
      info->picked = true;
      return true;
    default: {
      const char* wanted = choice == ChannelChoice::kRed     ? "R"
                           : choice == ChannelChoice::kGreen ? "G"
                           : choice == ChannelChoice::kBlue  ? "B"
                                                             : "A";
      if (!has(wanted)) {
        *error = "Input file is an OpenEXR of channels " + list +
                 ": it has no " + wanted + " for -channel " +
                 channelChoiceName(choice);
        return false;
      }
      chosen->used = {wanted};
      info->read = std::string("its ") + wanted + " channel";
      info->picked = true;
      return true;
    }
  }
}
