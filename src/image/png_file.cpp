// Reading PNG through libspng: greyscale of any depth, and colour whose
// every pixel is grey, read to its end chunk with every checksum checked.
#include "image/png_file.h"

#include <spng.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "image/little_endian.h"
#include "image/pixel_rows.h"
#include "image/png_stream.h"

namespace {

// Chunks larger than this are refused: no height map needs them, and a
// forged length must not make the decoder allocate gigabytes.
constexpr size_t kChunkLimit = size_t{64} << 20;

// The most bytes deflate makes of one, with room for the chunks' framing.
constexpr int64_t kDeflateRatio = 1040;

// libspng widens samples of 1, 2 and 4 bits to 8 bits (a 4-bit 15 becomes
// 255); the height is the sample as it stands, as for every other format.
// Done once all rows are whole: an interlaced row is written in passes.
void unscaleSamples(const PngInfo& info, PlaneSet* planes) {
  if (info.bitDepth >= 8) return;
  const int factor = 255 / ((1 << info.bitDepth) - 1);
  for (int32_t row = 0; row < info.height; ++row) {
    uint8_t* red = planes->inRed[row];
    for (int32_t column = 0; column < info.width; ++column) {
      red[column] = static_cast<uint8_t>(red[column] / factor);
    }
  }
}

// How many pixels of a greyscale PNG carry the grey its tRNS chunk makes
// transparent: the samples as they stand, read into the planes.
int64_t countKeyedGrey(const PngInfo& info, const PlaneSet& planes,
                       uint16_t key) {
  int64_t keyed = 0;
  for (int32_t row = 0; row < info.height; ++row) {
    const uint8_t* red = planes.inRed[row];
    const uint8_t* green = planes.inGreen[row];
    for (int32_t column = 0; column < info.width; ++column) {
      keyed += (red[column] | green[column] << 8) == key;
    }
  }
  return keyed;
}

}  // namespace

bool havePng() { return true; }

std::string pngLibraryVersion() {
  // Both libraries decide the bytes of a written PNG.
  return std::string("libspng ") + spng_version_string() + ", zlib " +
         zlibVersion();
}

namespace {

// Reads and checks the header, in this order: the library's own checks,
// sizes a map can have, then a size the file can hold. False with error
// set (the context stays the caller's to free).
bool readPngHeader(FileStream* input, spng_ctx* context, int64_t fileSize,
                   PngInfo* info, struct spng_ihdr* header,
                   std::string* error) {
  int code = spng_get_ihdr(context, header);
  if (code != 0) {
    *error = decodeError(*input, code, "the end of its header");
    return false;
  }
  // Paint programs save grey maps in colour too: those are read once their
  // rows show every pixel grey.
  info->colour = header->color_type != SPNG_COLOR_TYPE_GRAYSCALE;
  info->colourType = header->color_type;
  if (header->width > INT32_MAX || header->height > INT32_MAX) {
    *error = "Malformed PNG: it is " + std::to_string(header->width) + " x " +
             std::to_string(header->height) + " pixels";
    return false;
  }
  // Deflate packs at most about 1032 bytes into one: an image larger than
  // that many times the file is forged, and is refused before the planes
  // are made for it.
  int64_t rowBytes =
      (static_cast<int64_t>(header->width) * header->bit_depth + 7) / 8 + 1;
  if (static_cast<int64_t>(header->height) >
      (fileSize * kDeflateRatio) / rowBytes) {
    *error = "Malformed PNG: its " + std::to_string(header->width) + " x " +
             std::to_string(header->height) + " pixels cannot be in " +
             std::to_string(fileSize) + " bytes";
    return false;
  }
  info->width = static_cast<int32_t>(header->width);
  info->height = static_cast<int32_t>(header->height);
  info->bitDepth = header->bit_depth;
  info->interlaced = header->interlace_method != SPNG_INTERLACE_NONE;
  return true;
}

// Starts the rows' decoding in the form the tool reads them, refuses
// -channel alpha of a PNG without one, and takes the density from pHYs.
bool startPngRows(FileStream* input, spng_ctx* context,
                  const struct spng_ihdr& header, PngInfo* info,
                  std::string* error) {
  // Samples as they are in the file: 16 bits in the host's order, 8 bits
  // as bytes, fewer bits unpacked to a byte each (widened by the library,
  // narrowed back once read); colour as red, green, blue and alpha of the
  // file's depth (a palette's colours are 8-bit).
  int format = info->bitDepth == 16 ? SPNG_FMT_PNG : SPNG_FMT_G8;
  if (info->colour) {
    format = info->bitDepth == 16 ? SPNG_FMT_RGBA16 : SPNG_FMT_RGBA8;
  }
  // Colour rows come with tRNS applied as alpha, so that a palette's or an
  // RGB's transparent colour is counted as any alpha is.
  const int flags =
      SPNG_DECODE_PROGRESSIVE | (info->colour ? SPNG_DECODE_TRNS : 0);
  int code = spng_decode_image(context, nullptr, 0, format, flags);
  if (code != 0) {
    *error = decodeError(*input, code, "its image data");
    return false;
  }
  // A colour PNG without alpha reads as opaque everywhere: a flat map.
  struct spng_trns transparency;
  const bool noAlpha = (header.color_type == SPNG_COLOR_TYPE_TRUECOLOR ||
                        header.color_type == SPNG_COLOR_TYPE_INDEXED) &&
                       spng_get_trns(context, &transparency) != 0;
  if (info->channel == ChannelChoice::kAlpha && noAlpha) {
    *error = std::string("Input file is ") + colourKind(header.color_type) +
             " PNG: it has no alpha for -channel alpha";
    return false;
  }
  // pHYs comes before the image data, read by now; a unit of 0 gives only
  // the pixels' aspect, no density.
  struct spng_phys physical;
  if (spng_get_phys(context, &physical) == 0 && physical.unit_specifier == 1 &&
      physical.ppu_x <= INT32_MAX && physical.ppu_y <= INT32_MAX) {
    info->density.across = physical.ppu_x;
    info->density.down = physical.ppu_y;
  }
  return true;
}

}  // namespace

bool openPngDecoder(FileStream* input, PngDecoder** decoder, PngInfo* info,
                    std::string* error) {
  *decoder = nullptr;
  int64_t fileSize = streamLength(input);
  if (fileSize < 0 || !seekTo(input, 0)) {
    *error = inputReadError(*input);
    return false;
  }
  std::unique_ptr<PngDecoder> made(new PngDecoder);
  made->input = input;
  made->context = spng_ctx_new(0);
  if (made->context == nullptr) {
    *error = "Not enough memory for the PNG decoder";
    return false;
  }
  spng_set_chunk_limits(made->context, kChunkLimit, kChunkLimit);
  // A damaged chunk, image data or not, means a damaged file.
  spng_set_crc_action(made->context, SPNG_CRC_ERROR, SPNG_CRC_ERROR);
  spng_set_png_stream(made->context, readFromStream, input);
  struct spng_ihdr header;
  if (!readPngHeader(input, made->context, fileSize, info, &header, error) ||
      !startPngRows(input, made->context, header, info, error)) {
    freePngDecoder(made.release());
    return false;
  }
  *decoder = made.release();
  return true;
}

namespace {

// One decoded row of a colour PNG into grey heights: every pixel must be
// grey; alpha is counted where it is not opaque, then dropped. False, with
// the refusal in error, at the first pixel that is not grey.
template <typename Sample>
bool storeGreyRow(const PngInfo& info, int32_t row, const uint8_t* bytes,
                  uint8_t* low, uint8_t* high, int64_t* translucent,
                  std::string* error) {
  const Sample opaque = static_cast<Sample>(~Sample{0});
  const ChannelChoice channel = info.channel;
  for (int32_t column = 0; column < info.width; ++column) {
    Sample rgba[4];
    std::memcpy(rgba, bytes + sizeof rgba * static_cast<size_t>(column),
                sizeof rgba);
    if (channel != ChannelChoice::kGrey) {
      // The luma in the file's own depth: 8-bit colours give 8-bit
      // heights.
      const Sample picked =
          channel == ChannelChoice::kLuma
              ? static_cast<Sample>(std::lround(kLumaRed * rgba[0] +
                                                kLumaGreen * rgba[1] +
                                                kLumaBlue * rgba[2]))
              : rgba[channel == ChannelChoice::kRed     ? 0
                     : channel == ChannelChoice::kGreen ? 1
                     : channel == ChannelChoice::kBlue  ? 2
                                                        : 3];
      low[column] = static_cast<uint8_t>(picked);
      high[column] = static_cast<uint8_t>(picked >> 8);
      continue;
    }
    if (rgba[0] != rgba[1] || rgba[1] != rgba[2]) {
      *error = std::string("Input file is ") +
               colourKind(static_cast<uint8_t>(info.colourType)) +
               " PNG whose pixel at row " + std::to_string(row + 1) +
               ", column " + std::to_string(column + 1) + " is not grey (red " +
               std::to_string(rgba[0]) + ", green " + std::to_string(rgba[1]) +
               ", blue " + std::to_string(rgba[2]) +
               "); a greyscale height map is expected: -channel red, green, "
               "blue or luma reads one, or save it from the editor's "
               "greyscale mode";
      return false;
    }
    *translucent += rgba[3] != opaque;
    low[column] = static_cast<uint8_t>(rgba[0]);
    high[column] = static_cast<uint8_t>(rgba[0] >> 8);
  }
  return true;
}

// The row's pixels as earlier passes of an interlaced colour PNG left them
// (grey, opaque), so that a pass changes only its own pixels.
template <typename Sample>
void loadGreyRow(const PngInfo& info, const uint8_t* low, const uint8_t* high,
                 uint8_t* bytes) {
  const Sample opaque = static_cast<Sample>(~Sample{0});
  // Alpha read as the heights keeps what earlier passes gave it.
  const bool alpha = info.channel == ChannelChoice::kAlpha;
  for (int32_t column = 0; column < info.width; ++column) {
    Sample grey = static_cast<Sample>(low[column] | high[column] << 8);
    Sample rgba[4] = {grey, grey, grey, alpha ? grey : opaque};
    std::memcpy(bytes + sizeof rgba * static_cast<size_t>(column), rgba,
                sizeof rgba);
  }
}

}  // namespace

bool decodePngHeights(PngDecoder* decoder, PngInfo* info, PlaneSet* planes,
                      std::string* error, const Progress* progress) {
  const size_t width = static_cast<size_t>(info->width);
  const bool wide = info->bitDepth == 16;
  const bool little = hostIsLittleEndian();
  std::vector<uint8_t> row;
  if (info->colour) {
    row.resize((wide ? 8 : 4) * width);
  } else if (wide) {
    row.resize(2 * width);
  }
  for (int32_t planeRow = 0; planeRow < info->height; ++planeRow) {
    std::memset(planes->inGreen[planeRow], 0, width);
  }
  info->translucent = 0;
  int64_t decoded = 0;
  const int64_t total = info->interlaced ? 0 : info->height;
  for (;;) {
    struct spng_row_info rowInfo;
    int code = spng_get_row_info(decoder->context, &rowInfo);
    if (code == 0) {
      int32_t target = static_cast<int32_t>(rowInfo.row_num);
      uint8_t* red = planes->inRed[target];
      uint8_t* green = planes->inGreen[target];
      // An interlaced pass writes only its own pixels of the row: the row
      // is given back as the earlier passes left it.
      if (info->colour) {
        if (wide) {
          loadGreyRow<uint16_t>(*info, red, green, row.data());
        } else {
          loadGreyRow<uint8_t>(*info, red, green, row.data());
        }
        code = spng_decode_row(decoder->context, row.data(), row.size());
        bool grey =
            (code != 0 && code != SPNG_EOI) ||
            (wide ? storeGreyRow<uint16_t>(*info, target, row.data(), red,
                                           green, &info->translucent, error)
                  : storeGreyRow<uint8_t>(*info, target, row.data(), red, green,
                                          &info->translucent, error));
        if (!grey) return false;
      } else if (!wide) {
        code = spng_decode_row(decoder->context, red, width);
      } else {
        uint8_t* low = little ? red : green;
        uint8_t* high = little ? green : red;
        joinPairRow(low, high, row.data(), width);
        code = spng_decode_row(decoder->context, row.data(), row.size());
        if (code == 0 || code == SPNG_EOI) {
          splitPairRow(row.data(), low, high, width);
        }
      }
      if (total != 0) reportProgress(progress, ++decoded, total);
    }
    if (code == SPNG_EOI) {
      // The rest of the file is read too, up to its end chunk, every
      // checksum checked (the image data's last one included): a file cut
      // or damaged after its last row is refused like any other.
      code = spng_decode_chunks(decoder->context);
      // libspng lets the end chunk's checksum be missing; a read that
      // failed says it was.
      if (code == 0 && !decoder->input->failure.empty()) code = SPNG_IO_EOF;
      if (code != 0) {
        *error = decodeError(*decoder->input, code,
                             "the end of its end chunk (IEND)");
        return false;
      }
      if (!info->colour) {
        unscaleSamples(*info, planes);
        // A grey made transparent by tRNS is alpha too, dropped as such.
        struct spng_trns key;
        if (spng_get_trns(decoder->context, &key) == 0) {
          info->translucent = countKeyedGrey(*info, *planes, key.gray);
        }
      }
      return true;
    }
    if (code != 0) {
      *error = decodeError(*decoder->input, code, "its last row");
      return false;
    }
  }
}

void freePngDecoder(PngDecoder* decoder) {
  if (decoder == nullptr) return;
  spng_ctx_free(decoder->context);
  delete decoder;
}
