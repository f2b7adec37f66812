// Writing OpenEXR through its C API: one float channel named Y,
// ZIP-compressed, a chunk of rows at a time.
#include <openexr.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "image/byte_buffer.h"
#include "image/exr_file.h"
#include "image/exr_stream.h"

struct ExrEncoder {
  ExrStream stream;
  exr_context_t context = nullptr;
  exr_encode_pipeline_t pipe{};  // zeroed, as the library's macro makes it
  bool started = false;
  int32_t width = 0;
  int32_t height = 0;
  int32_t chunkRows = 0;
  int32_t firstRow = 0;  // the chunk being filled
  int32_t filled = 0;    // its rows so far
  std::unique_ptr<float[]> chunk;
};

bool openExrEncoder(FileStream* output, int32_t width, int32_t height,
                    ExrEncoder** encoder, std::string* error) {
  *encoder = nullptr;
  std::unique_ptr<ExrEncoder> made(new ExrEncoder);
  made->stream.file = output;
  made->width = width;
  made->height = height;
  exr_context_initializer_t init = exrInitializer(&made->stream);
  exr_result_t code = exr_start_write(&made->context, output->path.c_str(),
                                      EXR_WRITE_FILE_DIRECTLY, &init);
  int part = 0;
  if (code == EXR_ERR_SUCCESS) {
    code = exr_add_part(made->context, "", EXR_STORAGE_SCANLINE, &part);
  }
  if (code == EXR_ERR_SUCCESS) {
    code = exr_initialize_required_attr_simple(made->context, part, width,
                                               height, EXR_COMPRESSION_ZIP);
  }
  // Deflate's fastest level, as for PNG and TIFF: the floats of a terrain
  // pack little tighter at the slower ones.
  if (code == EXR_ERR_SUCCESS) {
    code = exr_set_zip_compression_level(made->context, part, 1);
  }
  if (code == EXR_ERR_SUCCESS) {
    code = exr_add_channel(made->context, part, "Y", EXR_PIXEL_FLOAT,
                           EXR_PERCEPTUALLY_LINEAR, 1, 1);
  }
  if (code == EXR_ERR_SUCCESS) code = exr_write_header(made->context);
  if (code == EXR_ERR_SUCCESS) {
    code = exr_get_scanlines_per_chunk(made->context, part, &made->chunkRows);
  }
  if (code != EXR_ERR_SUCCESS || made->chunkRows < 1) {
    *error = exrFailure(made->stream, code, false);
    freeExrEncoder(made.release());
    return false;
  }
  // A map of fewer rows than a chunk holds needs no more than its rows.
  const int64_t samples = int64_t{std::min(made->chunkRows, height)} * width;
  made->chunk = allocateFloats(samples);
  if (!made->chunk) {
    *error = "Not enough memory for an OpenEXR chunk of " +
             std::to_string(samples) + " samples";
    freeExrEncoder(made.release());
    return false;
  }
  *encoder = made.release();
  return true;
}

namespace {

// Encodes and writes the rows gathered so far as one chunk.
bool flushChunk(ExrEncoder* encoder, std::string* error) {
  exr_chunk_info_t chunk = {};
  exr_result_t code = exr_write_scanline_chunk_info(encoder->context, 0,
                                                    encoder->firstRow, &chunk);
  if (code == EXR_ERR_SUCCESS) {
    code = encoder->started ? exr_encoding_update(encoder->context, 0, &chunk,
                                                  &encoder->pipe)
                            : exr_encoding_initialize(encoder->context, 0,
                                                      &chunk, &encoder->pipe);
  }
  if (code == EXR_ERR_SUCCESS) {
    encoder->started = true;
    exr_coding_channel_info_t& channel = encoder->pipe.channels[0];
    channel.encode_from_ptr =
        reinterpret_cast<const uint8_t*>(encoder->chunk.get());
    channel.user_pixel_stride = 4;
    channel.user_line_stride = 4 * encoder->width;
    channel.user_data_type = EXR_PIXEL_FLOAT;
    channel.user_bytes_per_element = 4;
    code = exr_encoding_choose_default_routines(encoder->context, 0,
                                                &encoder->pipe);
  }
  if (code == EXR_ERR_SUCCESS) {
    code = exr_encoding_run(encoder->context, 0, &encoder->pipe);
  }
  if (code != EXR_ERR_SUCCESS) {
    *error = exrFailure(encoder->stream, code, false);
    return false;
  }
  encoder->firstRow += encoder->filled;
  encoder->filled = 0;
  return true;
}

}  // namespace

bool encodeExrRow(ExrEncoder* encoder, const float* row, std::string* error) {
  std::memcpy(encoder->chunk.get() + int64_t{encoder->filled} * encoder->width,
              row, sizeof(float) * static_cast<size_t>(encoder->width));
  ++encoder->filled;
  if (encoder->filled < encoder->chunkRows &&
      encoder->firstRow + encoder->filled < encoder->height) {
    return true;
  }
  return flushChunk(encoder, error);
}

bool finishExrEncoder(ExrEncoder* encoder, std::string* error) {
  if (encoder->filled > 0 && !flushChunk(encoder, error)) return false;
  if (encoder->started) {
    exr_encoding_destroy(encoder->context, &encoder->pipe);
    encoder->started = false;
  }
  // The chunks' offsets are written as the context finishes.
  exr_result_t code = exr_finish(&encoder->context);
  encoder->context = nullptr;
  if (code != EXR_ERR_SUCCESS) {
    *error = exrFailure(encoder->stream, code, false);
    return false;
  }
  return true;
}

void freeExrEncoder(ExrEncoder* encoder) {
  if (encoder == nullptr) return;
  if (encoder->started) exr_encoding_destroy(encoder->context, &encoder->pipe);
  if (encoder->context != nullptr) exr_finish(&encoder->context);
  delete encoder;
}
