// The OpenEXR library over the tool's file streams: its callbacks, and its
// errors taken as one line for the ERROR line they become part of. Shared by
// the OpenEXR reader and writer.
#ifndef QUILLORN_IMAGE_EXR_STREAM_H_
#define QUILLORN_IMAGE_EXR_STREAM_H_

#include <openexr.h>

#include <string>

#include "platform/files.h"

// What the library's callbacks work on: the stream, and the first message
// the library reported.
struct ExrStream {
  FileStream* file = nullptr;
  std::string message;
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
