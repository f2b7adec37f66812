// Where an input's samples lie in its own model coordinates: a GeoTIFF's
// by its tags, an SRTM tile's by its name (degrees of longitude and
// latitude, its samples on the whole degrees and between).
#ifndef QUILLORN_IMAGE_INPUT_PLACEMENT_H_
#define QUILLORN_IMAGE_INPUT_PLACEMENT_H_

#include <cstdint>
#include <string>

#include "image/geo_reference.h"
#include "image/ground_spacing.h"
#include "image/height_formats.h"

// The map from raster coordinates to model coordinates, and whether the
// samples lie on whole raster coordinates (else each covers the area
// from its own coordinates to the next).
struct InputPlacement {
  Affine toModel;
  bool pointSamples = false;
};

// The placement of image, read from path; false when it says nothing of
// where it lies.
bool placementOfInput(const InputImage& image, const std::string& path,
                      InputPlacement* placement);

// The tags that place image, read from path: a mosaic's whole, a GeoTIFF's
// own, an SRTM tile's made from its name; none for every other input.
GeoTags inputGeoTags(const std::string& path, const InputImage& image);

// Places image (a mosaic's whole) by placed, a GeoTIFF's tags with it.
void placeInput(const GeoTags& placed, InputImage* image);

// The kind and width of a tile's samples; false for a bitmap, whose
// header and blue pixels a mosaic cannot keep.
bool tileSampleType(const InputImage& image, SampleType* type);

// How far apart image's samples lie on the ground (ground_spacing.h), read
// from path, an SRTM tile of side samples a row; false where it does not say.
bool groundSpacingOfInput(const InputImage& image, const std::string& path,
                          int32_t side, GroundSpacing* spacing);

#endif  // QUILLORN_IMAGE_INPUT_PLACEMENT_H_
