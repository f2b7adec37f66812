#include "app/input_report.h"

#include "app/diagnostics.h"

void reportUnlikelyHeights(const InputImage& input, std::ostream& diagnostics) {
  if (input.colourEntry >= 0) {
    warn(diagnostics, "the input's palette is not a grey ramp (entry " +
                          std::to_string(input.colourEntry) +
                          " is not the grey of its own index): its heights "
                          "are the palette indices, not the colours a viewer "
                          "shows");
  }
  if (input.otherOrderSmoother) {
    const bool big = input.request.bigEndian;
    const std::string read = big ? "big" : "little";
    const std::string other = big ? "little" : "big";
    warn(diagnostics, "the heights look like noise read " + read +
                          "-endian and like terrain read " + other +
                          "-endian: " +
                          (big ? ""
                               : "if they come from a Mac or a tool that "
                                 "writes big-endian raw heights, ") +
                          "add -order " + other);
  }
  if (input.greyPixels) {
    warn(diagnostics,
         "every pixel of the input is grey (red = green = blue): a grey "
         "picture, whose heights read as 256 x its grey; -sca 0.00390625 "
         "reads the grey as it stands, or save it as an 8-bit greyscale "
         "bitmap, a PGM or a PNG");
  }
  const int64_t translucent = translucentPixels(input);
  if (translucent > 0) {
    const bool one = translucent == 1;
    warn(diagnostics, std::to_string(translucent) +
                          (one ? " pixel" : " pixels") + " of the input PNG " +
                          (one ? "is" : "are") +
                          " not fully opaque: the alpha is dropped and the "
                          "grey read as heights");
  }
}

void reportChannelRead(const InputImage& input, const std::string& path,
                       std::ostream& diagnostics) {
  const ChannelChoice choice = input.request.channel;
  if (choice == ChannelChoice::kGrey) return;
  const std::string name = channelChoiceName(choice);
  const ColourChannels channels = colourChannelsOf(input);
  std::string what = channels.chosen;
  if (channels.colour) {
    const SampleType& type = channels.sample;
    what = choice != ChannelChoice::kLuma ? "its " + name + " channel"
           : type.kind == SampleKind::kFloat
               ? "the luma of its red, green and blue (Rec. 709)"
               : "the luma of its red, green and blue (Rec. 709), rounded "
                 "to " +
                     std::to_string(type.bits) + " bits";
  }
  if (what.empty()) {
    warn(diagnostics, "-channel is ignored: " + path +
                          " is not a colour PNG, TIFF or OpenEXR; its one "
                          "channel is read");
    return;
  }
  warn(diagnostics, path + ": the heights are " + what + " (-channel " + name +
                        "), not a grey the colours agree on");
}

void reportRoundedSamples(const InputImage& input, const std::string& path,
                          std::ostream& diagnostics) {
  if (input.samplesRounded == 0) return;
  warn(diagnostics,
       path + ": " + std::to_string(input.samplesRounded) +
           (input.samplesRounded == 1 ? " unsigned sample is"
                                      : " unsigned samples are") +
           " beyond what a 32-bit float holds exactly (2^24) and read as the "
           "nearest float, where neighbouring values may meet");
}

void reportEightBitHeights(const InputImage& input, HeightFormat output,
                           bool scaleGiven, std::ostream& diagnostics) {
  if (scaleGiven || isBitmapFormat(output) || !heightsAreEightBit(input)) {
    return;
  }
  warn(diagnostics,
       "the input's heights are 8-bit (0 ... 255), a 256th of what the 16-bit "
       "output holds; -sca 257 spreads them over 0 ... 65535 but keeps their "
       "stair steps, which -smo (or a 16-bit source) smooths");
}
