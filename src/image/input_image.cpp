#include "image/input_image.h"

ColourChannels colourChannelsOf(const InputImage& image) {
  ColourChannels channels;
  if (image.format == HeightFormat::kPng && image.png.colour) {
    channels.colour = true;
    // A palette's colours are 8-bit whatever the index's depth.
    channels.sample.bits = image.png.bitDepth == 16 ? 16 : 8;
  } else if (image.format == HeightFormat::kTiff && image.tiff.samples > 1) {
    channels.colour = true;
    channels.sample = image.tiff.sample;
  } else if (image.format == HeightFormat::kExr && image.exr.picked) {
    channels.chosen = image.exr.read;
  }
  return channels;
}

int64_t translucentPixels(const InputImage& image) {
  return image.format == HeightFormat::kPng ? image.png.translucent : 0;
}

bool heightsAreEightBit(const InputImage& image) {
  switch (image.format) {
    case HeightFormat::kBmp:
      return image.bitmap.bitsPerPixel == 8;
    case HeightFormat::kPgm:
      return image.maxval <= 255;
    case HeightFormat::kPng:
      return image.png.bitDepth <= 8;
    case HeightFormat::kTiff:
      return image.tiff.sample.kind == SampleKind::kUnsigned &&
             image.tiff.sample.bits == 8;
    default:
      return false;
  }
}

const BandValues* bandValuesOf(const InputImage& image) {
  return image.format == HeightFormat::kTiff && image.tiff.values.known
             ? &image.tiff.values
             : nullptr;
}
