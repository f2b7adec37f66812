// libspng over the tool's file streams for reading: a PNG decoder's state,
// its reads, and the words of its messages (what kind of PNG a file is,
// why decoding failed). Shared by the PNG header's checks and its rows'
// decoding.
#ifndef QUILLORN_IMAGE_PNG_STREAM_H_
#define QUILLORN_IMAGE_PNG_STREAM_H_

#include <spng.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files.h"

// A PNG being read: libspng's context over the input stream.
struct PngDecoder {
  spng_ctx* context = nullptr;
  FileStream* input = nullptr;
};

// libspng's read callback over the FileStream user: 0 with length bytes in
// destination, SPNG_IO_EOF at the file's end, SPNG_IO_ERROR on a failed
// read.
int readFromStream(spng_ctx*, void* user, void* destination, size_t length);

// The kind of a PNG that is not a greyscale height map, for its message.
const char* colourKind(uint8_t colourType);

// Why decoding failed where the file was to hold what (e.g. "its last
// row"): a failed read, the file ending before it, or libspng's reason.
std::string decodeError(const FileStream& input, int code, const char* what);

#endif  // QUILLORN_IMAGE_PNG_STREAM_H_
