#include "image/geo_reference.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint16_t kRasterTypeKey = 1025;  // GTRasterTypeGeoKey
constexpr uint16_t kPixelIsPoint = 2;      // RasterPixelIsPoint

std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

Affine composeAffine(const Affine& first, const Affine& second) {
  Affine result;
  result.a = first.a * second.a + first.b * second.d;
  result.b = first.a * second.b + first.b * second.e;
  result.c = first.a * second.c + first.b * second.f + first.c;
  result.d = first.d * second.a + first.e * second.d;
  result.e = first.d * second.b + first.e * second.e;
  result.f = first.d * second.c + first.e * second.f + first.f;
  return result;
}

bool pixelIsPoint(const GeoTags& geo) {
  const std::vector<uint16_t>& keys = geo.keyDirectory;
  for (size_t at = 4; keys.size() >= 4 && at + 3 < keys.size(); at += 4) {
    if (keys[at] == kRasterTypeKey && keys[at + 1] == 0) {
      return keys[at + 3] == kPixelIsPoint;
    }
  }
  return false;
}

bool rasterToModel(const GeoTags& geo, Affine* model) {
  if (geo.transformation.size() >= 16) {
    const std::vector<double>& m = geo.transformation;
    *model = Affine{m[0], m[1], m[3], m[4], m[5], m[7]};
    return true;
  }
  if (geo.pixelScale.size() >= 2 && geo.tiepoints.size() >= 6) {
    // The tiepoint's raster (i, j) lies at model (x, y); y grows north.
    const std::vector<double>& t = geo.tiepoints;
    const double sx = geo.pixelScale[0], sy = geo.pixelScale[1];
    *model = Affine{sx, 0, t[3] - t[0] * sx, 0, -sy, t[4] + t[1] * sy};
    return true;
  }
  return false;
}

GeoTags placedGeoTags(const GeoTags& source, const Affine& toSource) {
  GeoTags placed;
  Affine model;
  if (!rasterToModel(source, &model)) return placed;
  const Affine now = composeAffine(model, toSource);
  placed.keyDirectory = source.keyDirectory;
  placed.doubleParams = source.doubleParams;
  placed.asciiParams = source.asciiParams;
  if (now.b == 0 && now.d == 0 && now.a > 0 && now.e < 0) {
    const double z = source.pixelScale.size() >= 3 ? source.pixelScale[2] : 0;
    placed.pixelScale = {now.a, -now.e, z};
    placed.tiepoints = {0, 0, 0, now.c, now.f, 0};
  } else {
    placed.transformation = {now.a, now.b, 0, now.c, now.d, now.e, 0, now.f,
                             0,     0,     0, 0,     0,     0,     0, 1};
  }
  return placed;
}

std::string worldFileText(const GeoTags& geo) {
  Affine model;
  if (!rasterToModel(geo, &model)) return "";
  // A world file names the first pixel's centre.
  const double centre = pixelIsPoint(geo) ? 0.0 : 0.5;
  const double x = model.a * centre + model.b * centre + model.c;
  const double y = model.d * centre + model.e * centre + model.f;
  return exact(model.a) + "\n" + exact(model.d) + "\n" + exact(model.b) + "\n" +
         exact(model.e) + "\n" + exact(x) + "\n" + exact(y) + "\n";
}

std::string worldFilePath(const std::string& outputPath) {
  const size_t folder = outputPath.find_last_of("/\\");
  const size_t start = folder == std::string::npos ? 0 : folder + 1;
  const size_t dot = outputPath.find_last_of('.');
  if (dot == std::string::npos || dot <= start) return outputPath + ".wld";
  std::string extension = outputPath.substr(dot + 1);
  std::string lower = extension;
  for (char& letter : lower) {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter + 32);
  }
  const std::string stem = outputPath.substr(0, dot);
  if (lower == "r16" || lower == "raw" || lower == "r32" ||
      extension.size() < 2) {
    return stem + ".wld";
  }
  return stem + "." + extension.substr(0, 1) + extension.back() + "w";
}

GeoTags srtmGeoTags(int latitude, int longitude, int32_t side) {
  GeoTags geo;
  const double step = 1.0 / std::max(side - 1, 1);
  geo.pixelScale = {step, step, 0};
  // The first pixel's corner: half a sample west of and north of the
  // tile's north-west corner.
  geo.tiepoints = {0, 0, 0, longitude - step / 2, latitude + 1 + step / 2, 0};
  // GTModelTypeGeoKey geographic, GTRasterTypeGeoKey PixelIsArea,
  // GeographicTypeGeoKey WGS 84.
  geo.keyDirectory = {1,    1, 0, 3, 1024, 0, 1, 2,
                      1025, 0, 1, 1, 2048, 0, 1, 4326};
  return geo;
}
