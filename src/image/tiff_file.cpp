#include "image/tiff_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "image/tiff_stream.h"

namespace {

// The most samples' bytes a compressed TIFF's bytes are taken to hold.
constexpr int64_t kPackingLimit = int64_t{1} << 16;

template <typename T>
std::vector<T> fieldValues(TIFF* tiff, ttag_t tag) {
  uint16_t count = 0;
  T* values = nullptr;
  if (TIFFGetField(tiff, tag, &count, &values) != 1 || values == nullptr) {
    return {};
  }
  return std::vector<T>(values, values + count);
}

std::string textField(TIFF* tiff, ttag_t tag, bool* found) {
  char* text = nullptr;
  *found = TIFFGetField(tiff, tag, &text) == 1 && text != nullptr;
  return *found ? std::string(text) : std::string();
}

// What a sample format and width are, for messages.
std::string sampleName(uint16_t format, uint16_t bits) {
  const char* kind =
      format == SAMPLEFORMAT_INT      ? "signed integer"
      : format == SAMPLEFORMAT_IEEEFP ? "floating-point"
      : format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID
          ? "unsigned integer"
          : "complex";
  return std::to_string(bits) + "-bit " + kind;
}

// Pixels per metre from the resolution tags, in inches or centimetres; none
// without a unit or with a value no bitmap field holds.
PixelDensity densityOf(TIFF* tiff) {
  float across = 0, down = 0;
  uint16_t unit = RESUNIT_NONE;
  PixelDensity density;
  if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &across) != 1 ||
      TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &down) != 1) {
    return density;
  }
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perMetre = unit == RESUNIT_CENTIMETER ? 100.0
                          : unit == RESUNIT_INCH     ? 1 / 0.0254
                                                     : 0.0;
  auto metre = [&](float value) -> uint32_t {
    const double pixels = std::round(static_cast<double>(value) * perMetre);
    return pixels >= 1 && pixels <= INT32_MAX ? static_cast<uint32_t>(pixels)
                                              : 0;
  };
  density.across = metre(across);
  density.down = metre(down);
  return density;
}

// What reading takes besides the planes: the largest strip or tile as stored
// (libtiff reads one whole, never past the file's end, and past 1 MiB no
// more than 10 times its decoded size + 4096) and the rows decoded from it
// at once (a scanline, or a tile's rows within the image; twice that where
// the floating-point predictor works on a copy).
int64_t readingBuffers(TIFF* tiff, int64_t height, int64_t fileSize) {
  const bool tiled = TIFFIsTiled(tiff) != 0;
  const uint32_t count =
      tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  const uint64_t chunk = std::min<uint64_t>(
      tiled ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff), uint64_t{1} << 40);
  int64_t stored = 0;
  for (uint32_t index = 0; index < count && stored < fileSize; ++index) {
    uint64_t bytes = TIFFGetStrileByteCount(tiff, index);
    if (bytes > (uint64_t{1} << 20) && chunk != 0 &&
        (bytes - 4096) / 10 > chunk) {
      bytes = chunk * 10 + 4096;
    }
    stored =
        std::max<int64_t>(stored, static_cast<int64_t>(std::min<uint64_t>(
                                      bytes, static_cast<uint64_t>(fileSize))));
  }
  const uint64_t rowBytes =
      tiled ? TIFFTileRowSize64(tiff) : TIFFScanlineSize64(tiff);
  const int64_t rows = tiled ? tiffTileRowsRead(tiff, height) : 1;
  // 2^60 bytes is beyond any budget: saturating there, nothing below
  // overflows.
  constexpr int64_t kBeyond = int64_t{1} << 60;
  if (rows > 0 && rowBytes > static_cast<uint64_t>(kBeyond / rows)) {
    return kBeyond;
  }
  int64_t decoded = static_cast<int64_t>(rowBytes) * rows;
  uint16_t predictor = PREDICTOR_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PREDICTOR, &predictor);
  if (predictor == PREDICTOR_FLOATINGPOINT) decoded *= 2;
  return stored + decoded;
}

}  // namespace

bool haveTiff() { return true; }

std::string tiffLibraryVersion() {
  // TIFFGetVersion() is "LIBTIFF, Version 4.5.0\n" and a copyright.
  std::string text = TIFFGetVersion();
  size_t at = text.find("Version ");
  if (at == std::string::npos) return "libtiff";
  size_t end = text.find_first_of("\r\n", at);
  return "libtiff " + text.substr(at + 8, end - at - 8);
}

bool openTiffDecoder(FileStream* input, TiffDecoder** decoder, TiffInfo* info,
                     std::string* error) {
  *decoder = nullptr;
  int64_t fileSize = streamLength(input);
  if (fileSize < 0 || !seekTo(input, 0)) {
    *error = inputReadError(*input);
    return false;
  }
  std::unique_ptr<TiffDecoder> made(new TiffDecoder);
  made->stream.file = input;
  made->tiff = openTiffStream(&made->stream, "r");
  if (made->tiff == nullptr) {
    *error = input->failure.empty() || !input->systemFailure
                 ? tiffMalformed(made->stream, "libtiff cannot open it")
                 : inputReadError(*input);
    return false;
  }
  TIFF* tiff = made->tiff;
  uint32_t width = 0, height = 0;
  uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  // Checked in this order: what the file is before how large it is, so
  // that a colour picture is named as one whatever its size.
  uint16_t planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  const ChannelChoice channel = info->channel;
  if (samples != 1 && channel == ChannelChoice::kGrey) {
    *error = "Input file is a TIFF of " + std::to_string(samples) +
             " samples a pixel (colour, or with alpha); a one-band "
             "greyscale height map is expected: -channel red, green, blue or "
             "luma reads one, or save it from the editor's greyscale mode";
    freeTiffDecoder(made.release());
    return false;
  }
  const int needed = channel == ChannelChoice::kAlpha ? 4 : 3;
  if (samples != 1 && (photometric != PHOTOMETRIC_RGB || samples < needed ||
                       planar != PLANARCONFIG_CONTIG)) {
    *error = "Input file is a TIFF of " + std::to_string(samples) +
             " samples a pixel" +
             (planar != PLANARCONFIG_CONTIG ? " in separate planes" : "") +
             "; -channel " + channelChoiceName(channel) + " reads an RGB" +
             (needed == 4 ? "A" : "") + " TIFF of interleaved samples";
    freeTiffDecoder(made.release());
    return false;
  }
  if (photometric == PHOTOMETRIC_PALETTE) {
    *error = "Input file is a palette TIFF; a greyscale height map is expected";
    freeTiffDecoder(made.release());
    return false;
  }
  SampleType type;
  type.bits = bits;
  bool known = false;
  if (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID) {
    type.kind = SampleKind::kUnsigned;
    known = bits == 8 || bits == 16 || bits == 32;
  } else if (format == SAMPLEFORMAT_INT) {
    type.kind = SampleKind::kSigned;
    known = bits == 8 || bits == 16 || bits == 32;
  } else if (format == SAMPLEFORMAT_IEEEFP) {
    type.kind = SampleKind::kFloat;
    known = bits == 32 || bits == 64;
  }
  if (!known) {
    *error = "Input file is a TIFF of " + sampleName(format, bits) +
             " samples; heights are read from 8, 16 or 32-bit integers or "
             "32 or 64-bit floats";
    freeTiffDecoder(made.release());
    return false;
  }
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
    *error = "Malformed TIFF: it is " + std::to_string(width) + " x " +
             std::to_string(height) + " pixels";
    freeTiffDecoder(made.release());
    return false;
  }
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  // A codec this build's libtiff lacks would only fail at the first strip,
  // after the work began, and as if the file were damaged.
  if (!TIFFIsCODECConfigured(compression)) {
    const TIFFCodec* codec = TIFFFindCODEC(compression);
    *error = std::string("Unsupported TIFF compression: this build reads no ") +
             (codec != nullptr
                  ? std::string(codec->name) + "-compressed TIFF"
                  : "TIFF of compression " + std::to_string(compression)) +
             "; save it with deflate, LZW or no compression (GDAL: "
             "gdal_translate -co COMPRESS=DEFLATE in.tif plain.tif)";
    freeTiffDecoder(made.release());
    return false;
  }
  // No compression libtiff reads packs a map much tighter than 1 : 30,000
  // (zstd or LZMA on a flat map), nor tighter than kPackingLimit: a size
  // beyond that is forged, and is refused before the planes are made for it.
  const int64_t ratio = compression == COMPRESSION_NONE ? 1 : kPackingLimit;
  const int64_t rowBytes = static_cast<int64_t>(width) * (bits / 8) * samples;
  if (static_cast<int64_t>(height) > fileSize * ratio / rowBytes) {
    *error = "Malformed TIFF: its " + std::to_string(width) + " x " +
             std::to_string(height) + " samples cannot be in " +
             std::to_string(fileSize) + " bytes";
    freeTiffDecoder(made.release());
    return false;
  }
  // A strip or tile too large to read within the memory bound is refused
  // now, before the planes are made; a tile larger than the image is read
  // only as far as the image reaches.
  const int64_t buffers = readingBuffers(tiff, height, fileSize);
  const int64_t budget = tiffReadingBudget(width, height);
  if (buffers > budget) {
    const bool tiled = TIFFIsTiled(tiff) != 0;
    *error = std::string("TIFF ") + (tiled ? "tiles" : "strips") +
             " too large: reading one takes " + std::to_string(buffers) +
             " bytes, more than the " + std::to_string(budget) + " a " +
             std::to_string(width) + " x " + std::to_string(height) +
             " map allows; save it in smaller tiles (GDAL: gdal_translate -co "
             "TILED=YES in.tif tiled.tif)";
    freeTiffDecoder(made.release());
    return false;
  }
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->sample = type;
  info->tiled = TIFFIsTiled(tiff) != 0;
  info->samples = samples;
  bool found = false;
  std::string nodata = textField(tiff, kNodataTag, &found);
  if (found) {
    char* end = nullptr;
    double value = std::strtod(nodata.c_str(), &end);
    info->hasNodata = end != nodata.c_str();
    info->nodata = value;
  }
  info->geo.pixelScale = fieldValues<double>(tiff, kPixelScaleTag);
  info->geo.tiepoints = fieldValues<double>(tiff, kTiepointTag);
  info->geo.transformation = fieldValues<double>(tiff, kTransformationTag);
  info->geo.keyDirectory = fieldValues<uint16_t>(tiff, kKeyDirectoryTag);
  info->geo.doubleParams = fieldValues<double>(tiff, kDoubleParamsTag);
  info->geo.asciiParams = textField(tiff, kAsciiParamsTag, &found);
  info->density = densityOf(tiff);
  info->values = parseBandValues(textField(tiff, kMetadataTag, &found));
  *decoder = made.release();
  return true;
}

void freeTiffDecoder(TiffDecoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->tiff != nullptr) TIFFClose(decoder->tiff);
  delete decoder;
}
