// Where a map lies on the earth, carried through every change of its grid:
// a GeoTIFF's tags as an affine map from raster to model coordinates, the
// tags of a new grid whose pixels come from the source's, and the world
// file (six lines) that places a picture or raw file beside it.
#ifndef QUILLORN_IMAGE_GEO_REFERENCE_H_
#define QUILLORN_IMAGE_GEO_REFERENCE_H_

#include <cstdint>
#include <string>

#include "image/tiff_file.h"

// x' = a x + b y + c, y' = d x + e y + f.
struct Affine {
  double a = 1, b = 0, c = 0;
  double d = 0, e = 1, f = 0;
};

// first after second: (first ∘ second)(p) = first(second(p)).
Affine composeAffine(const Affine& first, const Affine& second);

// True when the tags place raster coordinates on pixel centres
// (GTRasterTypeGeoKey PixelIsPoint); pixel corners otherwise.
bool pixelIsPoint(const GeoTags& geo);

// The map from raster coordinates (x across, y down) to model coordinates
// the tags say: their transformation, or their tiepoint and pixel scale.
// False when they place nothing.
bool rasterToModel(const GeoTags& geo, Affine* model);

// The tags of a new grid whose raster coordinates map to the source's by
// toSource: the source's keys and parameters, and the placement as a pixel
// scale and tiepoint when the grid stays north up, else as a
// transformation. Empty tags when the source places nothing.
GeoTags placedGeoTags(const GeoTags& source, const Affine& toSource);

// The tags of an SRTM tile of side x side samples whose south-west corner
// is at whole degrees (latitude, longitude): WGS 84 longitude and latitude
// (EPSG:4326), a sample every 1 / (side - 1) degree, each pixel an area
// whose centre lies on the degree lines, as GDAL reads the tile.
GeoTags srtmGeoTags(int latitude, int longitude, int32_t side);

// The world file of a grid placed by tags: the pixel's size and rotation
// and the model coordinates of the first pixel's centre, one a line, as
// GIS software reads them beside a picture. "" when the tags place nothing.
std::string worldFileText(const GeoTags& geo);

// The world file's name beside an output: the extension's first and last
// letters and "w" ("map.png" gives "map.pgw", "map.tif" "map.tfw"), ".wld"
// for raw heights and names without an extension.
std::string worldFilePath(const std::string& outputPath);

#endif  // QUILLORN_IMAGE_GEO_REFERENCE_H_
