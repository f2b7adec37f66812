#include "image/png_stream.h"

int readFromStream(spng_ctx*, void* user, void* destination, size_t length) {
  FileStream* input = static_cast<FileStream*>(user);
  if (readExact(input, static_cast<uint8_t*>(destination), length)) return 0;
  return input->systemFailure ? SPNG_IO_ERROR : SPNG_IO_EOF;
}

const char* colourKind(uint8_t colourType) {
  switch (colourType) {
    case SPNG_COLOR_TYPE_TRUECOLOR:
      return "a colour (RGB)";
    case SPNG_COLOR_TYPE_INDEXED:
      return "a palette";
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA:
      return "a greyscale-with-alpha";
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA:
      return "a colour-with-alpha (RGBA)";
    default:
      return "an unknown kind of";
  }
}

std::string decodeError(const FileStream& input, int code, const char* what) {
  if (code == SPNG_IO_ERROR) return inputReadError(input);
  if (code == SPNG_IO_EOF) {
    return std::string("Malformed PNG: the file ends before ") + what;
  }
  return std::string("Malformed PNG: ") + spng_strerror(code);
}
