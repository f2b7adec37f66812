// Builds small uncompressed TIFF files in memory, for tests and fuzzing
// seeds: one strip, little-endian, the fields a reader needs and nothing
// else, so that every field can be set to what a test wants.
#ifndef QUILLORN_SUPPORT_TIFF_BUILDER_H_
#define QUILLORN_SUPPORT_TIFF_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

struct TiffPlan {
  uint32_t width = 1;
  uint32_t height = 1;
  uint16_t bitsPerSample = 16;
  uint16_t samplesPerPixel = 1;
  uint16_t sampleFormat = 1;  // 1 unsigned, 2 signed, 3 floating point
  uint16_t photometric = 1;   // 1 black is zero
  uint16_t compression = 1;   // the tag only: the data is always plain
  // One tile of tileWidth x tileHeight from the top-left corner (its rows
  // below the image left out) instead of one strip; 0: a strip.
  uint32_t tileWidth = 0;
  uint32_t tileHeight = 0;
  // When not 0, the strip's or tile's data is cut or padded with zeros to
  // this many bytes, its byte count saying so.
  uint32_t storedBytes = 0;
  std::string nodata;  // GDAL_NODATA's text; none when empty
  // GeoTIFF's model pixel scale and tiepoints; none when empty.
  std::vector<double> pixelScale;
  std::vector<double> tiepoints;
  // The samples in file order, each as a double, converted to the sample
  // format when written; missing samples are written as 0.
  std::vector<double> samples;
};

// The file's bytes.
std::vector<uint8_t> buildTiff(const TiffPlan& plan);

#endif  // QUILLORN_SUPPORT_TIFF_BUILDER_H_
