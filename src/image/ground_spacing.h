// How far apart a map's samples lie on the ground, in metres, where the
// file says: a GeoTIFF in a projection measured in metres, or an SRTM tile
// named for its corner (one degree of latitude and longitude a tile).
#ifndef QUILLORN_IMAGE_GROUND_SPACING_H_
#define QUILLORN_IMAGE_GROUND_SPACING_H_

#include <cstdint>
#include <string>

#include "image/tiff_file.h"

// Metres between neighbouring samples across (x) and down (y).
struct GroundSpacing {
  double x = 0;
  double y = 0;
};

// A GeoTIFF's spacing from its pixel scale or transformation, when its
// model is projected (not geographic) and its linear unit is the metre or
// unnamed. False otherwise.
bool spacingOfGeoTags(const GeoTags& geo, GroundSpacing* spacing);

// The south-west corner an SRTM tile's name gives ("N47E011.hgt",
// "N47E011.SRTMGL1.hgt.zip", any case, any folder), in whole degrees, south and west negative. False for
// a name that is not a tile's corner.
bool srtmTileCorner(const std::string& path, int* latitude, int* longitude);

// An SRTM tile's spacing from its name ("N47E011.hgt", any case, any
// folder) and its side in samples, measured at the tile's middle latitude
// on the WGS 84 ellipsoid. False for a name that is not a tile's corner.
bool spacingOfSrtmTile(const std::string& path, int32_t side,
                       GroundSpacing* spacing);

#endif  // QUILLORN_IMAGE_GROUND_SPACING_H_
