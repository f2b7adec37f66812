// Where an input's samples lie in its own model coordinates: a GeoTIFF's
// by its tags, an SRTM tile's by its name (degrees of longitude and
// latitude, its samples on the whole degrees and between).
#ifndef QUILLORN_IMAGE_INPUT_PLACEMENT_H_
#define QUILLORN_IMAGE_INPUT_PLACEMENT_H_

#include <string>

#include "image/geo_reference.h"
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

#endif  // QUILLORN_IMAGE_INPUT_PLACEMENT_H_
