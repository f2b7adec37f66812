// What a run tells on standard error of its input as it reads it: signs
// that it is no height map in the encoding, what of a colour file became
// the heights, samples a float holds only roughly, 8-bit heights in a
// 16-bit output.
#ifndef QUILLORN_APP_INPUT_REPORT_H_
#define QUILLORN_APP_INPUT_REPORT_H_

#include <ostream>
#include <string>

#include "image/height_formats.h"

// Warnings for an input that is probably not a height map in the encoding:
// an 8-bit bitmap whose used palette entries are not the grey ramp, a
// 24-bit bitmap whose every pixel is grey, raw heights that look like noise
// in their byte order and like terrain in the other.
void reportUnlikelyHeights(const InputImage& input, std::ostream& diagnostics);

// With -channel: a warning naming what of the colour input became the
// heights, or that -channel is ignored for an input that is not colour.
void reportChannelRead(const InputImage& input, const std::string& path,
                       std::ostream& diagnostics);

// For an OpenEXR of unsigned samples: a warning with how many a 32-bit
// float holds only to the nearest float; nothing when every one was exact.
void reportRoundedSamples(const InputImage& input, const std::string& path,
                          std::ostream& diagnostics);

// A hint that 8-bit heights in a 16-bit output keep their stair steps:
// -sca 257 spreads them over the range, -smo smooths them; unless -sca was
// given or the output is a bitmap.
void reportEightBitHeights(const InputImage& input, HeightFormat output,
                           bool scaleGiven, std::ostream& diagnostics);

#endif  // QUILLORN_APP_INPUT_REPORT_H_
