// OpenEXR in a build without the library: every call says that there is
// none. The run checks haveExr() before it touches the output, so these
// errors are only a safety net.
#include "image/exr_file.h"

struct ExrDecoder {};
struct ExrEncoder {};

bool haveExr() { return false; }

std::string exrLibraryVersion() { return std::string(); }

bool openExrDecoder(FileStream*, ChannelChoice, ExrDecoder** decoder, ExrInfo*,
                    std::string* error) {
  *decoder = nullptr;
  *error = kNoExrSupport;
  return false;
}

bool decodeExrHeights(ExrDecoder*, const ExrInfo&, const MappingRequest&,
                      PlaneSet*, SampleMapping*, StoreCount*,
                      std::string* error, const Progress*) {
  *error = kNoExrSupport;
  return false;
}

int64_t exrRoundedSamples(const ExrDecoder*) { return 0; }

bool decodeExrFloats(ExrDecoder*, const ExrInfo&, FloatPlane*, int64_t*,
                     std::string* error, const Progress*) {
  *error = kNoExrSupport;
  return false;
}

void freeExrDecoder(ExrDecoder*) {}

bool openExrEncoder(FileStream*, int32_t, int32_t, ExrEncoder** encoder,
                    std::string* error) {
  *encoder = nullptr;
  *error = kNoExrSupport;
  return false;
}

bool encodeExrRow(ExrEncoder*, const float*, std::string* error) {
  *error = kNoExrSupport;
  return false;
}

bool finishExrEncoder(ExrEncoder*, std::string* error) {
  *error = kNoExrSupport;
  return false;
}

void freeExrEncoder(ExrEncoder*) {}
