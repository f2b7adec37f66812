// PNG in a build without libspng: every call says that there is none. The
// run checks havePng() before it touches the output, so these errors are
// only a safety net.
#include "image/png_file.h"

struct PngDecoder {};
struct PngEncoder {};

bool havePng() { return false; }

std::string pngLibraryVersion() { return std::string(); }

bool openPngDecoder(FileStream*, PngDecoder** decoder, PngInfo*,
                    std::string* error) {
  *decoder = nullptr;
  *error = kNoPngSupport;
  return false;
}

bool decodePngHeights(PngDecoder*, PngInfo*, PlaneSet*, std::string* error,
                      const Progress*) {
  *error = kNoPngSupport;
  return false;
}

void freePngDecoder(PngDecoder*) {}

bool openPngEncoder(FileStream*, int32_t, int32_t, PngPixels,
                    const PixelDensity&, PngEncoder** encoder,
                    std::string* error) {
  *encoder = nullptr;
  *error = kNoPngSupport;
  return false;
}

bool encodePngRow(PngEncoder*, const uint8_t*, size_t, std::string* error) {
  *error = kNoPngSupport;
  return false;
}

bool finishPngEncoder(PngEncoder*, std::string* error) {
  *error = kNoPngSupport;
  return false;
}

void freePngEncoder(PngEncoder*) {}
