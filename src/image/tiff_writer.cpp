// Writing TIFF: 16-bit or 32-bit float greyscale in strips, deflate
// (libdeflate's) with the predictor for its samples.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "image/tiff_file.h"
#include "image/tiff_stream.h"
#include "platform/files.h"

namespace {

// Deflate's fastest level, as for PNG: after the predictor it wrote an
// 8192 x 8192 generated terrain in 2.0 s instead of 9.4 s at the default
// level 6, for a file 3 % larger.
constexpr int kDeflateLevel = 1;

// Classic TIFF's offsets are 32 bits: larger images go to BigTIFF, which
// GIS software reads as well. Deflate may grow noise a little, hence the
// margin.
constexpr int64_t kClassicTiffLimit = (int64_t{1} << 32) - (int64_t{1} << 28);

// Why writing failed: the system's reason, else libtiff's (else what).
std::string writeFailure(const TiffStream& stream, const char* what) {
  if (stream.file->systemFailure) return outputWriteError(*stream.file);
  return std::string("Cannot write TIFF: ") +
         (stream.error.empty() ? what : stream.error.c_str());
}

}  // namespace

// Rows go to the library a whole strip at a time, which it deflates in
// one call (through libdeflate where it has it) instead of row by row
// through zlib's stream.
struct TiffEncoder {
  TiffStream stream;
  TIFF* tiff = nullptr;
  int32_t row = 0;  // the next row's index
  int32_t height = 0;
  size_t rowBytes = 0;
  uint32_t rowsPerStrip = 1;
  std::vector<uint8_t> strip;  // the rows of the strip being filled
};

bool openTiffEncoder(FileStream* output, int32_t width, int32_t height,
                     bool floats, const GeoTags* geo,
                     const PixelDensity& density, const BandValues& values,
                     int32_t nodata, TiffEncoder** encoder,
                     std::string* error) {
  *encoder = nullptr;
  std::unique_ptr<TiffEncoder> made(new TiffEncoder);
  made->stream.file = output;
  const int sampleBytes = floats ? 4 : 2;
  int64_t bytes = sampleBytes * static_cast<int64_t>(width) * height;
  made->tiff =
      openTiffStream(&made->stream, bytes > kClassicTiffLimit ? "w8" : "w");
  auto fail = [&](const char* what) {
    *error = writeFailure(made->stream, what);
    freeTiffEncoder(made.release());
    return false;
  };
  if (made->tiff == nullptr) return fail("libtiff cannot start it");
  TIFF* tiff = made->tiff;
  // Strips of about 256 KiB: small for the memory, large for deflate.
  uint32_t rowsPerStrip = static_cast<uint32_t>(std::max<int64_t>(
      1, (int64_t{1} << 18) / (sampleBytes * int64_t{width})));
  made->height = height;
  made->rowBytes =
      static_cast<size_t>(sampleBytes) * static_cast<size_t>(width);
  made->rowsPerStrip = rowsPerStrip;
  made->strip.reserve(made->rowBytes * rowsPerStrip);
  bool set =
      TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(width)) &&
      TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(height)) &&
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8 * sampleBytes) &&
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1) &&
      TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT,
                   floats ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT) &&
      TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
      TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
      TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
      // Floats deflate far better by their bytes' planes than as numbers.
      TIFFSetField(tiff, TIFFTAG_PREDICTOR,
                   floats ? PREDICTOR_FLOATINGPOINT : PREDICTOR_HORIZONTAL) &&
      TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, kDeflateLevel) &&
      TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
      TIFFSetField(tiff, TIFFTAG_SOFTWARE, "Quillorn");
  // libdeflate deflates a whole strip in half zlib's time, and every build
  // (Linux, Windows, the browser) has the same version, so the same bytes;
  // a libtiff without it deflates through zlib.
  if (set && TIFFSetField(tiff, TIFFTAG_DEFLATE_SUBCODEC,
                          DEFLATE_SUBCODEC_LIBDEFLATE) != 1) {
    made->stream.error.clear();  // the refusal is no failure of the file
    set = TIFFSetField(tiff, TIFFTAG_DEFLATE_SUBCODEC, DEFLATE_SUBCODEC_ZLIB);
  }
  // Centimetres keep a bitmap's whole pixels per metre through the
  // rational: 3780 is 37.8, read back as 3780.
  if (set && density.known()) {
    set = TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER) &&
          TIFFSetField(tiff, TIFFTAG_XRESOLUTION,
                       static_cast<double>(density.across) / 100.0) &&
          TIFFSetField(tiff, TIFFTAG_YRESOLUTION,
                       static_cast<double>(density.down) / 100.0);
  }
  if (set && geo != nullptr) {
    auto setDoubles = [&](ttag_t tag, const std::vector<double>& doubles) {
      return doubles.empty() ||
             TIFFSetField(tiff, tag, static_cast<uint16_t>(doubles.size()),
                          doubles.data()) == 1;
    };
    set = setDoubles(kPixelScaleTag, geo->pixelScale) &&
          setDoubles(kTiepointTag, geo->tiepoints) &&
          setDoubles(kTransformationTag, geo->transformation) &&
          setDoubles(kDoubleParamsTag, geo->doubleParams) &&
          (geo->keyDirectory.empty() ||
           TIFFSetField(tiff, kKeyDirectoryTag,
                        static_cast<uint16_t>(geo->keyDirectory.size()),
                        geo->keyDirectory.data()) == 1) &&
          (geo->asciiParams.empty() ||
           TIFFSetField(tiff, kAsciiParamsTag, geo->asciiParams.c_str()) == 1);
  }
  // A GIS reads heights in units through the band's scale and offset.
  if (set && values.known) {
    set = TIFFSetField(tiff, kMetadataTag, bandValuesXml(values).c_str()) == 1;
  }
  // GDAL's nodata is the stored value, before scale and offset.
  if (set && nodata != kNoNodata) {
    const std::string text = floats ? "nan" : std::to_string(nodata);
    set = TIFFSetField(tiff, kNodataTag, text.c_str()) == 1;
  }
  if (!set) return fail("a tag cannot be set");
  *encoder = made.release();
  return true;
}

bool encodeTiffRow(TiffEncoder* encoder, uint8_t* row, std::string* error) {
  encoder->strip.insert(encoder->strip.end(), row, row + encoder->rowBytes);
  ++encoder->row;
  const bool full =
      encoder->strip.size() == encoder->rowBytes * encoder->rowsPerStrip;
  if (!full && encoder->row < encoder->height) return true;
  const uint32_t strip = static_cast<uint32_t>(
      (encoder->row - 1) / static_cast<int32_t>(encoder->rowsPerStrip));
  if (TIFFWriteEncodedStrip(encoder->tiff, strip, encoder->strip.data(),
                            static_cast<tmsize_t>(encoder->strip.size())) >=
      0) {
    encoder->strip.clear();
    return true;
  }
  *error = writeFailure(encoder->stream, "libtiff cannot write it");
  return false;
}

bool finishTiffEncoder(TiffEncoder* encoder, std::string* error) {
  if (TIFFWriteDirectory(encoder->tiff) == 1) return true;
  *error = writeFailure(encoder->stream, "libtiff cannot write it");
  return false;
}

void freeTiffEncoder(TiffEncoder* encoder) {
  if (encoder == nullptr) return;
  if (encoder->tiff != nullptr) {
    // The directory was written by finishTiffEncoder, or the output is
    // being abandoned: either way nothing more goes to the stream.
    TIFFCleanup(encoder->tiff);
  }
  delete encoder;
}
