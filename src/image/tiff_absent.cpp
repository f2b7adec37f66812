// TIFF in a build without libtiff: every call says that there is none. The
// run checks haveTiff() before it touches the output, so these errors are
// only a safety net.
#include "image/tiff_file.h"

struct TiffDecoder {};
struct TiffEncoder {};

bool haveTiff() { return false; }

std::string tiffLibraryVersion() { return std::string(); }

bool openTiffDecoder(FileStream*, TiffDecoder** decoder, TiffInfo*,
                     std::string* error) {
  *decoder = nullptr;
  *error = kNoTiffSupport;
  return false;
}

bool decodeTiffHeights(TiffDecoder*, const TiffInfo&, const MappingRequest&,
                       PlaneSet*, SampleMapping*, StoreCount*,
                       std::string* error, const Progress*) {
  *error = kNoTiffSupport;
  return false;
}

bool decodeTiffFloats(TiffDecoder*, const TiffInfo&, FloatPlane*, int64_t*,
                      int64_t*, std::string* error, const Progress*) {
  *error = kNoTiffSupport;
  return false;
}

void freeTiffDecoder(TiffDecoder*) {}

bool openTiffEncoder(FileStream*, int32_t, int32_t, bool, const GeoTags*,
                     const PixelDensity&, const BandValues&, int32_t,
                     TiffEncoder** encoder, std::string* error) {
  *encoder = nullptr;
  *error = kNoTiffSupport;
  return false;
}

bool encodeTiffRow(TiffEncoder*, uint8_t*, std::string* error) {
  *error = kNoTiffSupport;
  return false;
}

bool finishTiffEncoder(TiffEncoder*, std::string* error) {
  *error = kNoTiffSupport;
  return false;
}

void freeTiffEncoder(TiffEncoder*) {}
