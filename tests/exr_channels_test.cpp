#include "image/exr_channels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExrChannelsTest, ReadsWhatTheChoiceAsksOrSaysWhyNot) {
  using Names = std::vector<std::string>;
  const Names kRgb = {"B", "G", "R"};
  struct Case {
    Names names;
    ChannelChoice choice;
    Names used;  // empty: refused with error
    std::string read;
    bool luma;
    bool colourChecked;
    bool picked;
    std::string error;
  };
  const Case kCases[] = {
      {{"Y"}, ChannelChoice::kGrey, {"Y"}, "Y", false, false, false, ""},
      {{"A", "Z"}, ChannelChoice::kGrey, {"Z"}, "Z", false, false, false, ""},
      {kRgb,
       ChannelChoice::kGrey,
       {"R", "G", "B"},
       "R = G = B",
       false,
       true,
       false,
       ""},
      {{"A", "B", "G", "R"},
       ChannelChoice::kGrey,
       {"R", "G", "B"},
       "R = G = B",
       false,
       true,
       false,
       ""},
      {{"X", "Y"},
       ChannelChoice::kGrey,
       {},
       "",
       false,
       false,
       false,
       "Input file is an OpenEXR of channels X, Y; one is read as the "
       "heights: -channel red, green, blue, alpha or luma picks it"},
      {kRgb,
       ChannelChoice::kLuma,
       {"R", "G", "B"},
       "the luma of R, G and B",
       true,
       false,
       true,
       ""},
      {{"G", "Y"},
       ChannelChoice::kLuma,
       {},
       "",
       false,
       false,
       false,
       "Input file is an OpenEXR of channels G, Y: -channel luma needs R, G "
       "and B"},
      {kRgb,
       ChannelChoice::kGreen,
       {"G"},
       "its G channel",
       false,
       false,
       true,
       ""},
      {kRgb,
       ChannelChoice::kAlpha,
       {},
       "",
       false,
       false,
       false,
       "Input file is an OpenEXR of channels B, G, R: it has no A for "
       "-channel alpha"},
  };
  for (const Case& c : kCases) {
    const std::string label =
        joinedNames(c.names) + " / " + channelChoiceName(c.choice);
    ExrChannels chosen;
    ExrInfo info;
    std::string error;
    const bool chose =
        chooseExrChannels(c.names, c.choice, &chosen, &info, &error);
    EXPECT_EQ(chose, !c.used.empty()) << label;
    EXPECT_EQ(error, c.error) << label;
    if (!chose) continue;
    EXPECT_EQ(chosen.used, c.used) << label;
    EXPECT_EQ(chosen.luma, c.luma) << label;
    EXPECT_EQ(info.read, c.read) << label;
    EXPECT_EQ(info.colourChecked, c.colourChecked) << label;
    EXPECT_EQ(info.picked, c.picked) << label;
  }
}

}  // namespace
