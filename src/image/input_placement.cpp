#include "image/input_placement.h"

#include "image/ground_spacing.h"

bool placementOfInput(const InputImage& image, const std::string& path,
                      InputPlacement* placement) {
  if (image.placed.any()) {
    if (!rasterToModel(image.placed, &placement->toModel)) return false;
    placement->pointSamples = pixelIsPoint(image.placed);
    return true;
  }
  if (image.format == HeightFormat::kTiff) {
    if (!image.tiff.geo.any() ||
        !rasterToModel(image.tiff.geo, &placement->toModel)) {
      return false;
    }
    placement->pointSamples = pixelIsPoint(image.tiff.geo);
    return true;
  }
  int latitude = 0, longitude = 0;
  if (image.format != HeightFormat::kHgt || image.width < 2 ||
      !srtmTileCorner(path, &latitude, &longitude)) {
    return false;
  }
  // One degree a tile, the first row on its north edge and the last on
  // its south edge, which the neighbours share.
  const double step = 1.0 / (image.width - 1);
  placement->toModel = Affine();
  placement->toModel.a = step;
  placement->toModel.c = longitude;
  placement->toModel.e = -step;
  placement->toModel.f = latitude + 1.0;
  placement->pointSamples = true;
  return true;
}
