#include "end_to_end_support.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "support/bitmap_builder.h"
#include "test_support.h"

namespace {

// True when the tool under test names the library in its --version line
// ("PNG (", "TIFF (").
bool toolNames(const std::string& library) {
  static const std::string formats = [] {
    ProcessResult version = runQuillorn({"--version"});
    return version.lines.size() == 2 ? version.lines[1] : std::string();
  }();
  return formats.find(library + " (") != std::string::npos;
}

}  // namespace

bool toolHasPng() { return toolNames("PNG"); }
bool toolHasTiff() { return toolNames("TIFF"); }

std::vector<uint8_t> fourByOne24() {
  BitmapPlan plan;
  plan.width = 4;
  plan.height = 1;
  plan.pixels = {7, 0, 10, 7, 1, 0, 7, 2, 100, 7, 0, 254};
  return buildBitmap(plan);
}

std::vector<uint8_t> rawBytes(const Heights& heights) {
  std::vector<uint8_t> bytes;
  for (int32_t value : heights) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
  }
  return bytes;
}

std::vector<uint8_t> pgmBytes(int32_t width, int32_t height,
                              const Heights& heights,
                              const std::string& header) {
  std::string text = header.empty() ? "P5\n" + std::to_string(width) + " " +
                                          std::to_string(height) + "\n65535\n"
                                    : header;
  std::vector<uint8_t> bytes(text.begin(), text.end());
  for (int32_t value : heights) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

std::vector<uint8_t> newBitmapHeader(int32_t width, int32_t height) {
  uint32_t imageSize = static_cast<uint32_t>((3 * width + 3) / 4 * 4 * height);
  std::vector<uint8_t> header;
  auto put = [&](uint32_t value, int bytes) {
    for (int index = 0; index < bytes; ++index) {
      header.push_back(static_cast<uint8_t>(value >> (8 * index)));
    }
  };
  header = {'B', 'M'};
  put(54 + imageSize, 4);  // file size
  put(0, 4);               // reserved
  put(54, 4);              // pixel data offset
  put(40, 4);              // info header size
  put(static_cast<uint32_t>(width), 4);
  put(static_cast<uint32_t>(height), 4);
  put(1, 2);   // colour planes
  put(24, 2);  // bits per pixel
  put(0, 4);   // no compression
  put(imageSize, 4);
  put(2835, 4);  // 72 pixels per inch, across and down
  put(2835, 4);
  put(0, 4);  // colours used
  put(0, 4);  // important colours
  return header;
}

bool readHeights(const TempDir& dir, const std::string& name, Heights* out) {
  std::vector<uint8_t> bytes;
  std::string path = dir.file(name);
  out->clear();
  if (name.size() > 4 && (name.substr(name.size() - 4) == ".png" ||
                          name.substr(name.size() - 4) == ".tif")) {
    std::string raw = dir.file(name + ".r16");
    if (runQuillorn({path, raw}).exitStatus != 0) return false;
    path = raw;
  }
  if (!readFileBytes(path, &bytes)) return false;
  if (name.substr(name.size() - 4) == ".bmp") {
    DecodedImage image;
    std::string why;
    if (!decode24(bytes, &image, &why)) return false;
    for (int32_t row = 0; row < image.rows; ++row) {
      for (int32_t column = 0; column < image.width; ++column) {
        out->push_back(image.height(row, column));
      }
    }
    return true;
  }
  size_t start = 0;
  bool bigEndian = name.substr(name.size() - 4) == ".pgm";
  if (bigEndian) {
    // Our own header: three lines.
    for (int lines = 0; lines < 3 && start < bytes.size(); ++start) {
      lines += bytes[start] == '\n';
    }
  }
  for (size_t at = start; at + 1 < bytes.size(); at += 2) {
    out->push_back(bigEndian ? bytes[at] << 8 | bytes[at + 1]
                             : bytes[at] | bytes[at + 1] << 8);
  }
  return true;
}

#ifdef QUILLORN_TEST_PNG
std::vector<uint8_t> libraryPng(int32_t width, int32_t height,
                                const Heights& heights, int depth,
                                bool interlaced, uint8_t colourType, bool keyed,
                                int32_t lastBlue) {
  std::vector<uint8_t> samples;
  const int channels = colourType == SPNG_COLOR_TYPE_TRUECOLOR         ? 3
                       : colourType == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ? 4
                                                                       : 1;
  for (size_t index = 0; index < heights.size(); ++index) {
    for (int channel = 0; channel < channels; ++channel) {
      int32_t value = channel == 3 ? (index == 1 ? 0 : 65535) : heights[index];
      if (channel == 2 && lastBlue >= 0 && index + 1 == heights.size()) {
        value = lastBlue;
      }
      if (depth == 16) samples.push_back(static_cast<uint8_t>(value >> 8));
      samples.push_back(static_cast<uint8_t>(value));
    }
  }
  spng_ctx* context = spng_ctx_new(SPNG_CTX_ENCODER);
  spng_set_option(context, SPNG_ENCODE_TO_BUFFER, 1);
  struct spng_ihdr header = {};
  header.width = static_cast<uint32_t>(width);
  header.height = static_cast<uint32_t>(height);
  header.bit_depth = static_cast<uint8_t>(depth);
  header.color_type = colourType;
  header.interlace_method = interlaced ? SPNG_INTERLACE_ADAM7 : 0;
  spng_set_ihdr(context, &header);
  const uint16_t key = static_cast<uint16_t>(heights[1]);
  if (colourType == SPNG_COLOR_TYPE_INDEXED) {
    struct spng_plte palette = {};
    palette.n_entries = 256;
    for (uint32_t entry = 0; entry < 256; ++entry) {
      palette.entries[entry].red = static_cast<uint8_t>(entry);
      palette.entries[entry].green = static_cast<uint8_t>(entry);
      palette.entries[entry].blue = static_cast<uint8_t>(entry);
    }
    spng_set_plte(context, &palette);
  }
  if (keyed) {
    struct spng_trns trns = {};
    trns.gray = key;
    trns.red = key;
    trns.green = key;
    trns.blue = key;
    trns.n_type3_entries = key + 1u;
    for (uint32_t entry = 0; entry <= key && entry < 256; ++entry) {
      trns.type3_alpha[entry] = entry == key ? 0 : 255;
    }
    spng_set_trns(context, &trns);
  }
  std::vector<uint8_t> file;
  // Big-endian samples, as the file stores them.
  if (spng_encode_image(context, samples.data(), samples.size(), SPNG_FMT_RAW,
                        SPNG_ENCODE_FINALIZE) == 0) {
    size_t size = 0;
    int error = 0;
    uint8_t* bytes =
        static_cast<uint8_t*>(spng_get_png_buffer(context, &size, &error));
    if (bytes != nullptr) file.assign(bytes, bytes + size);
    std::free(bytes);
  }
  spng_ctx_free(context);
  return file;
}
#endif
