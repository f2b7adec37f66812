#include "image/exr_file.h"

#include <openexr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "image/byte_buffer.h"

namespace {

// The most samples' bytes a compressed file's bytes are taken to hold, as
// for TIFF: a size beyond it is forged.
constexpr int64_t kPackingLimit = int64_t{1} << 16;

// What the library's callbacks work on: the stream, and the first message
// the library reported.
struct ExrStream {
  FileStream* file = nullptr;
  std::string message;
};

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

exr_context_initializer_t initializerFor(ExrStream* stream) {
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

// The reason for a failed call: the system's, the library's message, or
// the code's own.
std::string failure(const ExrStream& stream, exr_result_t code, bool reading) {
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

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    text += (text.empty() ? "" : ", ") + name;
  }
  return text;
}

std::string sampleText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

}  // namespace

struct ExrDecoder {
  ExrStream stream;
  exr_context_t context = nullptr;
  std::vector<std::string> used;  // the channels read, in the order visited
  bool luma = false;
  int32_t left = 0;  // the data window's corner
  int32_t top = 0;
  int32_t chunkWidth = 0;  // a chunk's largest size: rows, or a tile
  int32_t chunkHeight = 0;
  int32_t tileWidth = 0;
  int32_t tileHeight = 0;
};

bool haveExr() { return true; }

std::string exrLibraryVersion() {
  int major = 0, minor = 0, patch = 0;
  const char* extra = nullptr;
  exr_get_library_version(&major, &minor, &patch, &extra);
  return "OpenEXR " + std::to_string(major) + "." + std::to_string(minor) +
         "." + std::to_string(patch);
}

namespace {

// Decides which channels to read as choice asks; false with error set when
// the file has no channel to read that way.
bool chooseChannels(const std::vector<std::string>& names, ChannelChoice choice,
                    ExrDecoder* decoder, ExrInfo* info, std::string* error) {
  auto has = [&](const char* name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  const bool rgb = has("R") && has("G") && has("B");
  const std::string list = joined(names);
  switch (choice) {
    case ChannelChoice::kGrey: {
      // Alpha beside heights is dropped, as a PNG's is.
      std::vector<std::string> rest;
      for (const std::string& name : names) {
        if (name != "A") rest.push_back(name);
      }
      if (names.size() == 1 || rest.size() == 1) {
        decoder->used = {names.size() == 1 ? names[0] : rest[0]};
        info->read = decoder->used[0];
        return true;
      }
      if (rgb && rest.size() == 3) {
        decoder->used = {"R", "G", "B"};
        info->read = "R = G = B";
        info->colourChecked = true;
        return true;
      }
      *error = "Input file is an OpenEXR of channels " + list +
               "; one is read as the heights: -channel red, green, blue, "
               "alpha or luma picks it";
      return false;
    }
    case ChannelChoice::kLuma:
      if (!rgb) {
        *error = "Input file is an OpenEXR of channels " + list +
                 ": -channel luma needs R, G and B";
        return false;
      }
      decoder->used = {"R", "G", "B"};
      decoder->luma = true;
      info->read = "the luma of R, G and B";
      info->picked = true;
      return true;
    default: {
      const char* wanted = choice == ChannelChoice::kRed     ? "R"
                           : choice == ChannelChoice::kGreen ? "G"
                           : choice == ChannelChoice::kBlue  ? "B"
                                                             : "A";
      if (!has(wanted)) {
        *error = "Input file is an OpenEXR of channels " + list +
                 ": it has no " + wanted + " for -channel " +
                 channelChoiceName(choice);
        return false;
      }
      decoder->used = {wanted};
      info->read = std::string("its ") + wanted + " channel";
      info->picked = true;
      return true;
    }
  }
}

}  // namespace

bool openExrDecoder(FileStream* input, ChannelChoice choice,
                    ExrDecoder** decoder, ExrInfo* info, std::string* error) {
  *decoder = nullptr;
  const int64_t fileSize = streamLength(input);
  if (fileSize < 0) {
    *error = inputReadError(*input);
    return false;
  }
  std::unique_ptr<ExrDecoder> made(new ExrDecoder);
  made->stream.file = input;
  exr_context_initializer_t init = initializerFor(&made->stream);
  exr_result_t code =
      exr_start_read(&made->context, input->path.c_str(), &init);
  auto fail = [&](const std::string& reason) {
    *error = reason;
    freeExrDecoder(made.release());
    return false;
  };
  if (code != EXR_ERR_SUCCESS) return fail(failure(made->stream, code, true));
  exr_context_t context = made->context;
  exr_storage_t storage = EXR_STORAGE_SCANLINE;
  exr_attr_box2i_t window = {};
  const exr_attr_chlist_t* channels = nullptr;
  if ((code = exr_get_storage(context, 0, &storage)) != EXR_ERR_SUCCESS ||
      (code = exr_get_data_window(context, 0, &window)) != EXR_ERR_SUCCESS ||
      (code = exr_get_channels(context, 0, &channels)) != EXR_ERR_SUCCESS ||
      channels == nullptr) {
    return fail(failure(made->stream, code, true));
  }
  if (storage != EXR_STORAGE_SCANLINE && storage != EXR_STORAGE_TILED) {
    return fail(
        "Input file is a deep OpenEXR (several samples a pixel); a flat "
        "image of one height a pixel is expected");
  }
  std::vector<std::string> names;
  for (int index = 0; index < channels->num_channels; ++index) {
    const exr_attr_chlist_entry_t& entry = channels->entries[index];
    names.emplace_back(entry.name.str, static_cast<size_t>(entry.name.length));
    if (entry.x_sampling != 1 || entry.y_sampling != 1) {
      return fail("Input file is an OpenEXR whose channel " + names.back() +
                  " is subsampled; channels of one sample a pixel are read");
    }
  }
  if (names.empty()) return fail("Malformed OpenEXR: it has no channels");
  const int64_t width = int64_t{window.max.x} - window.min.x + 1;
  const int64_t height = int64_t{window.max.y} - window.min.y + 1;
  if (width < 1 || height < 1 || width > INT32_MAX || height > INT32_MAX) {
    return fail("Malformed OpenEXR: it is " + std::to_string(width) + " x " +
                std::to_string(height) + " pixels");
  }
  exr_compression_t compression = EXR_COMPRESSION_NONE;
  exr_get_compression(context, 0, &compression);
  // Half samples take two bytes each at the least; forged sizes are refused
  // before the planes are made for them.
  const int64_t ratio = compression == EXR_COMPRESSION_NONE ? 1 : kPackingLimit;
  if (height > fileSize / (2 * width) * ratio + ratio) {
    return fail("Malformed OpenEXR: its " + std::to_string(width) + " x " +
                std::to_string(height) + " samples cannot be in " +
                std::to_string(fileSize) + " bytes");
  }
  if (!chooseChannels(names, choice, made.get(), info, error)) {
    freeExrDecoder(made.release());
    return false;
  }
  made->left = window.min.x;
  made->top = window.min.y;
  if (storage == EXR_STORAGE_TILED) {
    uint32_t tileWidth = 0, tileHeight = 0;
    exr_tile_level_mode_t level = EXR_TILE_ONE_LEVEL;
    exr_tile_round_mode_t round = EXR_TILE_ROUND_DOWN;
    code = exr_get_tile_descriptor(context, 0, &tileWidth, &tileHeight, &level,
                                   &round);
    if (code != EXR_ERR_SUCCESS || tileWidth == 0 || tileHeight == 0 ||
        tileWidth > INT32_MAX || tileHeight > INT32_MAX) {
      return fail(failure(made->stream, code, true));
    }
    made->tileWidth = static_cast<int32_t>(tileWidth);
    made->tileHeight = static_cast<int32_t>(tileHeight);
    made->chunkWidth =
        static_cast<int32_t>(std::min<int64_t>(tileWidth, width));
    made->chunkHeight =
        static_cast<int32_t>(std::min<int64_t>(tileHeight, height));
  } else {
    int32_t rows = 0;
    code = exr_get_scanlines_per_chunk(context, 0, &rows);
    if (code != EXR_ERR_SUCCESS || rows < 1) {
      return fail(failure(made->stream, code, true));
    }
    made->chunkWidth = static_cast<int32_t>(width);
    made->chunkHeight = static_cast<int32_t>(std::min<int64_t>(rows, height));
  }
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->tiled = storage == EXR_STORAGE_TILED;
  info->channels = joined(names);
  *decoder = made.release();
  return true;
}

namespace {

// Calls visit(row, column, count, samples) for every run of pixels, top to
// bottom, samples holding one pointer per channel read; stops when visit
// returns false (its error set). Reports rows done to progress.
template <typename Visit>
bool forEachExrRun(ExrDecoder* decoder, const ExrInfo& info, Visit visit,
                   std::string* error, const Progress* progress) {
  exr_context_t context = decoder->context;
  const size_t used = decoder->used.size();
  const int64_t chunkSamples =
      int64_t{decoder->chunkWidth} * decoder->chunkHeight;
  std::unique_ptr<float[]> buffer =
      allocateFloats(chunkSamples * static_cast<int64_t>(used));
  if (!buffer) {
    *error = "Not enough memory for an OpenEXR chunk of " +
             std::to_string(chunkSamples) + " samples";
    return false;
  }
  // Zeroed, as the library's initializer macro makes it.
  exr_decode_pipeline_t pipe{};
  bool started = false;
  auto fail = [&](exr_result_t code) {
    *error = failure(decoder->stream, code, true);
    return false;
  };
  // One chunk: rows or a tile whose top left pixel is (column, row).
  auto decodeChunk = [&](const exr_chunk_info_t& chunk, int32_t row,
                         int32_t column) {
    exr_result_t code =
        started ? exr_decoding_update(context, 0, &chunk, &pipe)
                : exr_decoding_initialize(context, 0, &chunk, &pipe);
    if (code != EXR_ERR_SUCCESS) return fail(code);
    started = true;
    const int32_t rows = chunk.height;
    const int32_t columns = chunk.width;
    if (rows < 1 || columns < 1 || rows > decoder->chunkHeight ||
        columns > decoder->chunkWidth || row > info.height - rows ||
        column > info.width - columns) {
      *error = "Malformed OpenEXR: a chunk lies outside its image";
      return false;
    }
    for (int16_t index = 0; index < pipe.channel_count; ++index) {
      exr_coding_channel_info_t& channel = pipe.channels[index];
      channel.decode_to_ptr = nullptr;
      for (size_t which = 0; which < used; ++which) {
        if (decoder->used[which] != channel.channel_name) continue;
        channel.decode_to_ptr = reinterpret_cast<uint8_t*>(
            buffer.get() + chunkSamples * static_cast<int64_t>(which));
        channel.user_pixel_stride = 4;
        channel.user_line_stride = 4 * columns;
        channel.user_data_type = EXR_PIXEL_FLOAT;
        channel.user_bytes_per_element = 4;
      }
    }
    if ((code = exr_decoding_choose_default_routines(context, 0, &pipe)) !=
            EXR_ERR_SUCCESS ||
        (code = exr_decoding_run(context, 0, &pipe)) != EXR_ERR_SUCCESS) {
      return fail(code);
    }
    const float* samples[3] = {};
    for (int32_t line = 0; line < rows; ++line) {
      for (size_t which = 0; which < used; ++which) {
        samples[which] = buffer.get() +
                         chunkSamples * static_cast<int64_t>(which) +
                         int64_t{line} * columns;
      }
      if (!visit(row + line, column, columns, samples)) return false;
    }
    return true;
  };
  bool good = true;
  if (decoder->tileWidth == 0) {
    for (int32_t row = 0; good && row < info.height;
         row += decoder->chunkHeight) {
      exr_chunk_info_t chunk = {};
      exr_result_t code =
          exr_read_scanline_chunk_info(context, 0, decoder->top + row, &chunk);
      good = code == EXR_ERR_SUCCESS ? decodeChunk(chunk, row, 0) : fail(code);
      reportProgress(progress,
                     std::min(row + decoder->chunkHeight, info.height),
                     info.height);
    }
  } else {
    for (int32_t tileY = 0;
         good && int64_t{tileY} * decoder->tileHeight < info.height; ++tileY) {
      const int32_t row = tileY * decoder->tileHeight;
      for (int32_t tileX = 0;
           good && int64_t{tileX} * decoder->tileWidth < info.width; ++tileX) {
        exr_chunk_info_t chunk = {};
        exr_result_t code =
            exr_read_tile_chunk_info(context, 0, tileX, tileY, 0, 0, &chunk);
        good = code == EXR_ERR_SUCCESS
                   ? decodeChunk(chunk, row, tileX * decoder->tileWidth)
                   : fail(code);
      }
      reportProgress(
          progress,
          std::min<int64_t>(row + int64_t{decoder->tileHeight}, info.height),
          info.height);
    }
  }
  if (started) exr_decoding_destroy(context, &pipe);
  return good;
}

}  // namespace

bool decodeExrHeights(ExrDecoder* decoder, const ExrInfo& info,
                      const MappingRequest& request, PlaneSet* planes,
                      SampleMapping* mapping, StoreCount* clamped,
                      std::string* error, const Progress* progress) {
  FloatHeights heights;
  std::vector<float> combined;
  // The heights' samples of one run: the channel read, or the luma.
  auto samplesOf = [&](int32_t count, const float* const* channels) {
    if (!decoder->luma) return channels[0];
    combined.resize(static_cast<size_t>(count));
    for (int32_t index = 0; index < count; ++index) {
      combined[static_cast<size_t>(index)] = static_cast<float>(
          kLumaRed * channels[0][index] + kLumaGreen * channels[1][index] +
          kLumaBlue * channels[2][index]);
    }
    return static_cast<const float*>(combined.data());
  };
  auto survey = [&](int32_t row, int32_t column, int32_t count,
                    const float* const* channels) {
    if (info.colourChecked) {
      for (int32_t index = 0; index < count; ++index) {
        const float red = channels[0][index];
        const float green = channels[1][index];
        const float blue = channels[2][index];
        // NaN in all three is grey nodata.
        const bool grey =
            (red == green && green == blue) ||
            (std::isnan(red) && std::isnan(green) && std::isnan(blue));
        if (!grey) {
          *error = "Input file is a colour OpenEXR: pixel (" +
                   std::to_string(column + index) + ", " + std::to_string(row) +
                   ") is R " + sampleText(red) + ", G " + sampleText(green) +
                   ", B " + sampleText(blue) +
                   ", not grey; -channel red, green, blue or luma reads it, "
                   "or save it from the editor's greyscale mode";
          return false;
        }
      }
    }
    surveyFloats(samplesOf(count, channels), static_cast<size_t>(count),
                 &heights);
    return true;
  };
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const float* const* channels) {
    storeFloatHeights(samplesOf(count, channels), count, row, column, planes,
                      &heights);
    return true;
  };
  PassProgress pass;
  startPass(&pass, progress, 0, 2);
  if (!forEachExrRun(decoder, info, survey, error, &pass.progress)) {
    return false;
  }
  planFloatHeights(request, &heights);
  startPass(&pass, progress, 1, 2);
  if (!forEachExrRun(decoder, info, store, error, &pass.progress)) {
    return false;
  }
  *mapping = heights.mapping;
  *clamped = heights.clamped;
  return true;
}

void freeExrDecoder(ExrDecoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->context != nullptr) exr_finish(&decoder->context);
  delete decoder;
}

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
  exr_context_initializer_t init = initializerFor(&made->stream);
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
    *error = failure(made->stream, code, false);
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
    *error = failure(encoder->stream, code, false);
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
    *error = failure(encoder->stream, code, false);
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
