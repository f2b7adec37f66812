// GDAL's metadata of a TIFF band (the GDAL_METADATA tag's XML): the scale
// and offset that turn its samples into values in units, read and written.
#ifndef QUILLORN_IMAGE_GDAL_METADATA_H_
#define QUILLORN_IMAGE_GDAL_METADATA_H_

#include <string>

// value = offset + scale x sample, when known.
struct BandValues {
  bool known = false;
  double scale = 1;
  double offset = 0;
};

// The first band's SCALE and OFFSET items of the XML (an item without a
// sample attribute counts for every band); unknown when it has neither, or
// a scale of 0 or not a finite number.
BandValues parseBandValues(const std::string& xml);

// The XML that says values, for the first band.
std::string bandValuesXml(const BandValues& values);

#endif  // QUILLORN_IMAGE_GDAL_METADATA_H_
