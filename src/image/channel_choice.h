// Which channel of a colour file (PNG, TIFF, OpenEXR) becomes the heights,
// as -channel names it: without it a colour file is read only when it is
// grey.
#ifndef QUILLORN_IMAGE_CHANNEL_CHOICE_H_
#define QUILLORN_IMAGE_CHANNEL_CHOICE_H_

#include <cstring>

enum class ChannelChoice {
  kGrey,  // no -channel: one channel, or colour whose every pixel is grey
  kRed,
  kGreen,
  kBlue,
  kAlpha,
  kLuma,  // Rec. 709: 0.2126 red + 0.7152 green + 0.0722 blue
};

// Rec. 709's weights of red, green and blue in the luma.
constexpr double kLumaRed = 0.2126;
constexpr double kLumaGreen = 0.7152;
constexpr double kLumaBlue = 0.0722;

// Parses -channel's value: red, green, blue, alpha or luma. False for
// anything else.
inline bool parseChannelChoice(const char* text, ChannelChoice* choice) {
  struct Name {
    const char* text;
    ChannelChoice choice;
  };
  static const Name kNames[] = {{"red", ChannelChoice::kRed},
                                {"green", ChannelChoice::kGreen},
                                {"blue", ChannelChoice::kBlue},
                                {"alpha", ChannelChoice::kAlpha},
                                {"luma", ChannelChoice::kLuma}};
  for (const Name& name : kNames) {
    if (std::strcmp(text, name.text) == 0) {
      *choice = name.choice;
      return true;
    }
  }
  return false;
}

// "red", "green", "blue", "alpha", "luma", or "" for kGrey.
inline const char* channelChoiceName(ChannelChoice choice) {
  switch (choice) {
    case ChannelChoice::kRed:
      return "red";
    case ChannelChoice::kGreen:
      return "green";
    case ChannelChoice::kBlue:
      return "blue";
    case ChannelChoice::kAlpha:
      return "alpha";
    case ChannelChoice::kLuma:
      return "luma";
    case ChannelChoice::kGrey:
      break;
  }
  return "";
}

#endif  // QUILLORN_IMAGE_CHANNEL_CHOICE_H_
