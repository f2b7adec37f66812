// The OpenEXR library over the tool's file streams: its callbacks, its
// errors taken as one line for the ERROR line they become part of, and the
// state of a file being read. Shared by the OpenEXR reader and writer.
#ifndef QUILLORN_IMAGE_EXR_STREAM_H_
#define QUILLORN_IMAGE_EXR_STREAM_H_

#include <openexr.h>

#include <cstdint>
#include <string>

#include "image/exr_channels.h"
#include "platform/files.h"

// What the library's callbacks work on: the stream, and the first message
// the library reported.
struct ExrStream {
  FileStream* file = nullptr;
  std::string message;
};

// An OpenEXR file being read: its stream, the library's context, the
// channels read and where the chunks lie, and what decoding found.
struct ExrDecoder {
  ExrStream stream;
  exr_context_t context = nullptr;
  int64_t roundedSamples = 0;  // unsigned samples no float holds exactly
  ExrChannels chosen;          // the channels read
  int32_t left = 0;            // the data window's corner
  int32_t top = 0;
  int32_t chunkWidth = 0;  // a chunk's largest size: rows, or a tile
  int32_t chunkHeight = 0;
  int32_t tileWidth = 0;
  int32_t tileHeight = 0;
};

// A context initializer whose reads, writes and errors go through stream; a
// truncated file is refused, not patched up from what is left.
exr_context_initializer_t exrInitializer(ExrStream* stream);

// The reason for a failed call: the system's, the library's message, or
// the code's own ("Malformed OpenEXR: ..." reading, "OpenEXR cannot be
// written: ..." writing).
std::string exrFailure(const ExrStream& stream, exr_result_t code,
                       bool reading);

#endif  // QUILLORN_IMAGE_EXR_STREAM_H_
