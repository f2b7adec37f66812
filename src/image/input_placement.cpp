#include "image/input_placement.h"
#include "image/input_reading.h"

namespace {

// The name an SRTM tile is placed by: its file's, else (a zip archive
// named otherwise) its entry's in the archive.
const std::string& tileName(const InputImage& image, const std::string& path) {
  int latitude = 0, longitude = 0;
  if (image.zipMember.empty() || srtmTileCorner(path, &latitude, &longitude)) {
    return path;
  }
  return image.zipMember;
}

}  // namespace

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
      !srtmTileCorner(tileName(image, path), &latitude, &longitude)) {
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

GeoTags inputGeoTags(const std::string& path, const InputImage& image) {
  if (image.placed.any()) return image.placed;
  if (image.format == HeightFormat::kTiff) return image.tiff.geo;
  int latitude = 0, longitude = 0;
  if (image.format == HeightFormat::kHgt && image.width == image.height &&
      image.width > 1 &&
      srtmTileCorner(tileName(image, path), &latitude, &longitude)) {
    return srtmGeoTags(latitude, longitude, image.width);
  }
  return GeoTags();
}

void placeInput(const GeoTags& placed, InputImage* image) {
  image->placed = placed;
  // A GeoTIFF's own tags are the ones its writing carries on.
  if (image->format == HeightFormat::kTiff) image->tiff.geo = placed;
}

bool tileSampleType(const InputImage& image, SampleType* type) {
  switch (image.format) {
    case HeightFormat::kBmp:
      return false;
    case HeightFormat::kTiff:
      *type = image.tiff.sample;
      return true;
    case HeightFormat::kHgt:
      type->kind = SampleKind::kSigned;
      type->bits = 16;
      return true;
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
    case HeightFormat::kExr:
      *type = floatSampleType(image);
      return true;
    default:
      type->kind = SampleKind::kUnsigned;
      type->bits = 16;
      return true;
  }
}

bool groundSpacingOfInput(const InputImage& image, const std::string& path,
                          int32_t side, GroundSpacing* spacing) {
  if (image.format == HeightFormat::kTiff) {
    return spacingOfGeoTags(image.tiff.geo, spacing);
  }
  return image.format == HeightFormat::kHgt &&
         spacingOfSrtmTile(tileName(image, path), side, spacing);
}
