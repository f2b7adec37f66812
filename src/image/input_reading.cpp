#include "image/input_reading.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "image/float_raw_file.h"
#include "image/height_formats.h"
#include "image/little_endian.h"
#include "image/pgm_file.h"
#include "image/pixel_rows.h"
#include "image/raw_file.h"
#include "image/zip_refusal.h"
#include "image/zip_tile.h"

namespace {

// True when the first bytes start a TIFF or a BigTIFF, in either byte order.
bool hasTiffSignature(const uint8_t* start, size_t length) {
  if (length < 4) return false;
  bool little = start[0] == 'I' && start[1] == 'I' && start[3] == 0 &&
                (start[2] == 42 || start[2] == 43);
  bool big = start[0] == 'M' && start[1] == 'M' && start[2] == 0 &&
             (start[3] == 42 || start[3] == 43);
  return little || big;
}

// An SRTM tile in its zip archive, sized as an ".hgt" of the entry's
// inflated size would be: checked before anything of it is allocated, as a
// directory may claim any size.
bool inspectZippedHgt(FileStream* input, InputImage* image,
                      std::string* error) {
  uint64_t size = 0;
  if (!inspectZipTile(input, image, &size, error)) return false;
  image->format = HeightFormat::kHgt;
  if (size > static_cast<uint64_t>(INT64_MAX) ||
      !inspectHgt(static_cast<int64_t>(size), image, error)) {
    *error = "SRTM tile " + image->zipMember + " in the zip archive has " +
             std::to_string(size) +
             " bytes, not 2 x n x n for a square tile (1201 x 1201 or 3601 "
             "x 3601, 2 bytes a height)";
    return false;
  }
  return true;
}

}  // namespace

bool inspectInput(FileStream* input, const ReadRequest& request,
                  InputImage* image, std::string* error) {
  releaseInput(image);
  *image = InputImage();
  image->request = request;
  int64_t fileSize = streamLength(input);
  if (fileSize < 0) {
    *error = inputReadError(*input);
    return false;
  }
  if (request.raw) {
    image->format = HeightFormat::kRaw;
    return inspectRaw(fileSize, request.rawSize, 2, image, error);
  }
  if (request.r32) {
    image->format = HeightFormat::kR32;
    image->bigEndianFloats = request.bigEndian;
    return inspectRaw(fileSize, request.rawSize, 4, image, error);
  }
  if (request.hgt) {
    image->format = HeightFormat::kHgt;
    return inspectHgt(fileSize, image, error);
  }
  uint8_t start[8] = {};
  size_t known = static_cast<size_t>(fileSize < 8 ? fileSize : 8);
  if (!seekTo(input, 0) || !readExact(input, start, known)) {
    *error = inputReadError(*input);
    return false;
  }
  if (known >= 2 && start[0] == 'P' && (start[1] == '5' || start[1] == '2')) {
    image->format = HeightFormat::kPgm;
    return inspectPgm(input, fileSize, image, error);
  }
  // "Pf" then whitespace; "PF" is a colour map.
  const bool pfm = known >= 3 && start[0] == 'P' &&
                   (start[1] == 'f' || start[1] == 'F') &&
                   (start[2] == ' ' || start[2] == '\t' || start[2] == '\r' ||
                    start[2] == '\n');
  if (pfm && start[1] == 'F') {
    *error =
        "Input file is a colour PFM (PF); a greyscale one (Pf) is "
        "expected";
    image->advice =
        "save the map as a greyscale PFM, raw 32-bit floats (.r32) or a "
        "float TIFF";
    return false;
  }
  if (pfm) {
    image->format = HeightFormat::kPfm;
    return inspectPfm(input, fileSize, image, error);
  }
  if (known == 8 && std::memcmp(start, kPngSignature, 8) == 0) {
    image->format = HeightFormat::kPng;
    if (!havePng()) {
      *error = kNoPngSupport;
      return false;
    }
    image->png.channel = request.channel;
    if (!openPngDecoder(input, &image->pngDecoder, &image->png, error)) {
      return false;
    }
    image->width = image->png.width;
    image->height = image->png.height;
    return true;
  }
  if (hasTiffSignature(start, known)) {
    image->format = HeightFormat::kTiff;
    if (!haveTiff()) {
      *error = kNoTiffSupport;
      return false;
    }
    image->tiff.channel = request.channel;
    if (!openTiffDecoder(input, &image->tiffDecoder, &image->tiff, error)) {
      return false;
    }
    image->width = image->tiff.width;
    image->height = image->tiff.height;
    return true;
  }
  if (known >= 4 && std::memcmp(start, "PK\3\4", 4) == 0) {
    if (!haveZip()) return refuseZip(input, fileSize, image, error);
    return inspectZippedHgt(input, image, error);
  }
  // An empty archive is its directory's end alone.
  if (haveZip() && known >= 4 && std::memcmp(start, "PK\5\6", 4) == 0) {
    return inspectZippedHgt(input, image, error);
  }
  if (hasExrSignature(start, known)) {
    image->format = HeightFormat::kExr;
    if (!haveExr()) {
      *error = kNoExrSupport;
      return false;
    }
    if (!openExrDecoder(input, request.channel, &image->exrDecoder, &image->exr,
                        error)) {
      return false;
    }
    image->width = image->exr.width;
    image->height = image->exr.height;
    return true;
  }
  // A file too short for any signature may still be a bitmap cut short;
  // one that starts otherwise is no bitmap at all, however short.
  bool bitmap = known >= 2 ? start[0] == 'B' && start[1] == 'M'
                           : known == 0 || start[0] == 'B';
  if (!bitmap) {
    *error =
        "Input file is not a bitmap, PGM, PFM, PNG, TIFF or OpenEXR: it starts "
        "with none of their signatures (raw heights need a name ending in .r16 "
        "or "
        ".raw, raw floats one ending in .r32, SRTM tiles one ending in "
        ".hgt)";
    image->advice =
        "Quillorn reads 8- and 24-bit BMP, PGM (P5, P2), greyscale PNG, "
        "TIFF and GeoTIFF of one band, OpenEXR, greyscale PFM, SRTM tiles "
        "(.hgt), raw "
        "16-bit heights (.r16, .raw) and raw 32-bit floats (.r32); save the "
        "map as one of them";
    return false;
  }
  // A bitmap, or too short to be one: its own checks say which.
  image->format = HeightFormat::kBmp;
  if (!inspectBitmap(input, &image->bitmap, error)) {
    image->advice = image->bitmap.advice;
    return false;
  }
  image->width = image->bitmap.width;
  image->height = image->bitmap.rowCount;
  return true;
}

bool readInputHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress) {
  const size_t width = static_cast<size_t>(image->width);
  switch (image->format) {
    case HeightFormat::kBmp: {
      if (!readPixels(input, image->bitmap, planes, error, progress) ||
          !readTail(input, &image->bitmap, error)) {
        return false;
      }
      if (image->bitmap.bitsPerPixel == 8) {
        image->colourEntry = firstColourEntry(image->bitmap, *planes);
      } else {
        image->greyPixels = planesAreGrey(*planes, image->width, image->height);
      }
      if (planes->base == kWideBase) {
        for (int32_t row = 0; row < image->height; ++row) {
          widenRow(planes->inRed[row], planes->inGreen[row], width);
        }
      }
      return true;
    }
    case HeightFormat::kRaw:
    case HeightFormat::kHgt:
      return readRawHeights(input, image, planes, error, progress);
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
      return readFloatHeights(input, image, planes, error, progress);
    case HeightFormat::kPgm:
      return readPgmHeights(input, *image, planes, error, progress);
    case HeightFormat::kPng:
      return decodePngHeights(image->pngDecoder, &image->png, planes, error,
                              progress);
    case HeightFormat::kTiff:
      return decodeTiffHeights(image->tiffDecoder, image->tiff,
                               image->request.mapping, planes, &image->mapping,
                               &image->unitClamped, error, progress);
    case HeightFormat::kExr: {
      const bool read = decodeExrHeights(
          image->exrDecoder, image->exr, image->request.mapping, planes,
          &image->mapping, &image->unitClamped, error, progress);
      image->samplesRounded = exrRoundedSamples(image->exrDecoder);
      return read;
    }
  }
  return false;
}

bool readsAsFloats(const InputImage& image) {
  // Steps of a -unit are asked for: the heights are made of them.
  if (image.request.mapping.unit != 0) return false;
  switch (image.format) {
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
    case HeightFormat::kExr:
      return true;
    case HeightFormat::kTiff:
      return image.tiff.sample.kind == SampleKind::kFloat ||
             image.tiff.sample.bits > 16;
    default:
      return false;
  }
}

SampleType floatSampleType(const InputImage& image) {
  if (image.format == HeightFormat::kTiff) return image.tiff.sample;
  SampleType type;
  type.kind = SampleKind::kFloat;
  type.bits = 32;
  return type;
}

bool readInputFloats(FileStream* input, InputImage* image, FloatPlane* floats,
                     std::string* error, const Progress* progress) {
  image->mapping = SampleMapping();
  image->floatsRounded = 0;
  switch (image->format) {
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
      return readFloatPlane(input, image, floats, error, progress);
    case HeightFormat::kExr: {
      const bool read =
          decodeExrFloats(image->exrDecoder, image->exr, floats,
                          &image->mapping.nodata, error, progress);
      image->samplesRounded = exrRoundedSamples(image->exrDecoder);
      return read;
    }
    case HeightFormat::kTiff:
      return decodeTiffFloats(image->tiffDecoder, image->tiff, floats,
                              &image->mapping.nodata, &image->floatsRounded,
                              error, progress);
    default:
      *error = "This input has no float samples";
      return false;
  }
}

void releaseInput(InputImage* image) {
  freePngDecoder(image->pngDecoder);
  image->pngDecoder = nullptr;
  freeTiffDecoder(image->tiffDecoder);
  image->tiffDecoder = nullptr;
  freeExrDecoder(image->exrDecoder);
  image->exrDecoder = nullptr;
}
