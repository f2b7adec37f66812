#include "image/ground_spacing.h"

#include <cmath>

namespace {

constexpr uint16_t kModelTypeKey = 1024;    // GTModelTypeGeoKey
constexpr uint16_t kGeographicModel = 2;    // ModelTypeGeographic
constexpr uint16_t kLinearUnitsKey = 3076;  // ProjLinearUnitsGeoKey
constexpr uint16_t kMetre = 9001;           // Linear_Meter
constexpr double kPi = 3.14159265358979323846;

// A short key's value from the key directory (four header shorts, then
// four a key: id, location, count, value; location 0 holds the value in
// place). False when the key is absent or stored elsewhere.
bool shortKey(const std::vector<uint16_t>& directory, uint16_t id,
              uint16_t* value) {
  if (directory.size() < 4) return false;
  const size_t keys = directory[3];
  for (size_t index = 0; index < keys; ++index) {
    const size_t at = 4 + 4 * index;
    if (at + 3 >= directory.size()) return false;
    if (directory[at] == id && directory[at + 1] == 0) {
      *value = directory[at + 3];
      return true;
    }
  }
  return false;
}

}  // namespace

bool spacingOfGeoTags(const GeoTags& geo, GroundSpacing* spacing) {
  uint16_t value = 0;
  if (shortKey(geo.keyDirectory, kModelTypeKey, &value) &&
      value == kGeographicModel) {
    return false;
  }
  if (shortKey(geo.keyDirectory, kLinearUnitsKey, &value) && value != kMetre) {
    return false;
  }
  GroundSpacing found;
  if (geo.pixelScale.size() >= 2) {
    found.x = std::fabs(geo.pixelScale[0]);
    found.y = std::fabs(geo.pixelScale[1]);
  } else if (geo.transformation.size() >= 16) {
    // x = a i + b j + d, y = e i + f j + h: a column step moves (a, e).
    const std::vector<double>& m = geo.transformation;
    found.x = std::hypot(m[0], m[4]);
    found.y = std::hypot(m[1], m[5]);
  }
  if (!(found.x > 0 && found.y > 0 && std::isfinite(found.x) &&
        std::isfinite(found.y))) {
    return false;
  }
  *spacing = found;
  return true;
}

bool srtmTileCorner(const std::string& path, int* latitude, int* longitude) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name =
      slash == std::string::npos ? path : path.substr(slash + 1);
  // N47E011: a hemisphere, two digits, a hemisphere, three digits, then
  // the name's end or anything but a digit (".hgt", ".SRTMGL1.hgt.zip").
  if (name.size() < 7 ||
      (name.size() > 7 && name[7] >= '0' && name[7] <= '9')) {
    return false;
  }
  auto digits = [&](size_t from, size_t count, int* value) {
    *value = 0;
    for (size_t index = from; index < from + count; ++index) {
      if (name[index] < '0' || name[index] > '9') return false;
      *value = *value * 10 + (name[index] - '0');
    }
    return true;
  };
  const char north = static_cast<char>(name[0] & ~0x20);
  const char east = static_cast<char>(name[3] & ~0x20);
  int degreesNorth = 0, degreesEast = 0;
  if ((north != 'N' && north != 'S') || (east != 'E' && east != 'W') ||
      !digits(1, 2, &degreesNorth) || !digits(4, 3, &degreesEast) ||
      degreesNorth > 89 || degreesEast > 180) {
    return false;
  }
  *latitude = north == 'N' ? degreesNorth : -degreesNorth;
  *longitude = east == 'E' ? degreesEast : -degreesEast;
  return true;
}

bool spacingOfSrtmTile(const std::string& path, int32_t side,
                       GroundSpacing* spacing) {
  int latitude = 0, longitude = 0;
  if (side < 2 || !srtmTileCorner(path, &latitude, &longitude)) return false;
  // The name is the south-west corner; the middle is half a degree north.
  const double middle = (latitude + 0.5) * kPi / 180;
  const double degreeNorth = 111132.92 - 559.82 * std::cos(2 * middle) +
                             1.175 * std::cos(4 * middle) -
                             0.0023 * std::cos(6 * middle);
  const double degreeEast = 111412.84 * std::cos(middle) -
                            93.5 * std::cos(3 * middle) +
                            0.118 * std::cos(5 * middle);
  spacing->x = degreeEast / (side - 1);
  spacing->y = degreeNorth / (side - 1);
  return true;
}
