#include "image/exr_stream.h"

#include <cstddef>
#include <cstdint>

namespace {

void keepMessage(exr_const_context_t context, exr_result_t,
                 const char* message) {
  void* data = nullptr;
  if (exr_get_user_data(context, &data) != EXR_ERR_SUCCESS || data == nullptr) {
    return;
  }
  ExrStream* stream = static_cast<ExrStream*>(data);
  if (!stream->message.empty() || message == nullptr) return;
  // One line, for the ERROR line it becomes part of.
  for (const char* at = message; *at != '\0'; ++at) {
    const bool space = *at == '\n' || *at == '\r' || *at == '\t' || *at == ' ';
    if (!space) {
      stream->message += *at;
    } else if (!stream->message.empty() && stream->message.back() != ' ') {
      stream->message += ' ';
    }
  }
  while (!stream->message.empty() && stream->message.back() == ' ') {
    stream->message.pop_back();
  }
}

int64_t readAt(exr_const_context_t, void* data, void* buffer, uint64_t size,
               uint64_t offset, exr_stream_error_func_ptr_t) {
  FileStream* file = static_cast<ExrStream*>(data)->file;
  if (offset > static_cast<uint64_t>(INT64_MAX) || size > PTRDIFF_MAX ||
      !seekTo(file, static_cast<int64_t>(offset))) {
    return -1;
  }
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  uint64_t total = 0;
  // readSome stops short only at the end of the file.
  while (total < size) {
    int64_t got =
        readSome(file, bytes + total, static_cast<size_t>(size - total));
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<uint64_t>(got);
  }
  return static_cast<int64_t>(total);
}

int64_t sizeOf(exr_const_context_t, void* data) {
  return streamLength(static_cast<ExrStream*>(data)->file);
}

int64_t writeAt(exr_const_context_t, void* data, const void* buffer,
                uint64_t size, uint64_t offset, exr_stream_error_func_ptr_t) {
  FileStream* file = static_cast<ExrStream*>(data)->file;
  if (offset > static_cast<uint64_t>(INT64_MAX) || size > PTRDIFF_MAX ||
      !seekTo(file, static_cast<int64_t>(offset)) ||
      !writeExact(file, static_cast<const uint8_t*>(buffer),
                  static_cast<size_t>(size))) {
    return -1;
  }
  return static_cast<int64_t>(size);
}

}  // namespace

exr_context_initializer_t exrInitializer(ExrStream* stream) {
  exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
  init.user_data = stream;
  init.error_handler_fn = keepMessage;
  init.read_fn = readAt;
  init.size_fn = sizeOf;
  init.write_fn = writeAt;
  // A truncated file is refused, not patched up from what is left.
  init.flags = EXR_CONTEXT_FLAG_DISABLE_CHUNK_RECONSTRUCTION;
  return init;
}

std::string exrFailure(const ExrStream& stream, exr_result_t code,
                       bool reading) {
  if (stream.file->systemFailure) {
    return reading ? inputReadError(*stream.file)
                   : outputWriteError(*stream.file);
  }
  std::string reason = stream.message.empty()
                           ? exr_get_default_error_message(code)
                           : stream.message;
  return reading ? "Malformed OpenEXR: " + reason
                 : "OpenEXR cannot be written: " + reason;
}
