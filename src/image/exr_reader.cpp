// Reading an OpenEXR file's samples: chunk by chunk, scanlines or tiles,
// each run of pixels of the channels read into heights or floats.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/byte_buffer.h"
#include "image/exr_file.h"
#include "image/exr_stream.h"

namespace {

// A sample for a message, in as many digits as tell its float apart.
std::string sampleText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

// Turns count unsigned 32-bit samples, stored where their floats go, into
// those floats; returns how many a float holds only to the nearest one
// (beyond 2^24, where neighbouring samples may meet).
int64_t unsignedToFloats(float* samples, int64_t count) {
  int64_t rounded = 0;
  for (int64_t index = 0; index < count; ++index) {
    uint32_t whole;
    std::memcpy(&whole, samples + index, sizeof whole);
    const float value = static_cast<float>(whole);
    if (static_cast<double>(value) != static_cast<double>(whole)) ++rounded;
    samples[index] = value;
  }
  return rounded;
}

// Calls visit(row, column, count, samples) for every run of pixels, top to
// bottom, samples holding one pointer per channel read; stops when visit
// returns false (its error set). Reports rows done to progress.
template <typename Visit>
bool forEachExrRun(ExrDecoder* decoder, const ExrInfo& info, Visit visit,
                   std::string* error, const Progress* progress) {
  exr_context_t context = decoder->context;
  const size_t used = decoder->chosen.used.size();
  decoder->roundedSamples = 0;
  const int64_t chunkSamples =
      int64_t{decoder->chunkWidth} * decoder->chunkHeight;
  // One slot per channel read, and one more that every other channel is
  // decoded into and dropped: the library's unpackers may not skip a
  // channel, and crash when one beside a converted half has no target.
  std::unique_ptr<float[]> buffer =
      allocateFloats(chunkSamples * static_cast<int64_t>(used + 1));
  if (!buffer) {
    *error = "Not enough memory for an OpenEXR chunk of " +
             std::to_string(chunkSamples) + " samples";
    return false;
  }
  // Which slots hold unsigned samples, as decoded.
  bool wholeSlots[3] = {};
  // Zeroed, as the library's initializer macro makes it.
  exr_decode_pipeline_t pipe{};
  bool started = false;
  auto fail = [&](exr_result_t code) {
    *error = exrFailure(decoder->stream, code, true);
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
      size_t slot = used;
      for (size_t which = 0; which < used; ++which) {
        if (decoder->chosen.used[which] == channel.channel_name) slot = which;
      }
      channel.decode_to_ptr = reinterpret_cast<uint8_t*>(
          buffer.get() + chunkSamples * static_cast<int64_t>(slot));
      channel.user_pixel_stride = 4;
      channel.user_line_stride = 4 * columns;
      // Unsigned samples come as they are, and become floats here, where
      // those a float holds only to the nearest one are counted.
      const bool whole = channel.data_type == EXR_PIXEL_UINT && slot < used;
      channel.user_data_type = whole ? EXR_PIXEL_UINT : EXR_PIXEL_FLOAT;
      channel.user_bytes_per_element = 4;
      if (slot < used) wholeSlots[slot] = whole;
    }
    if ((code = exr_decoding_choose_default_routines(context, 0, &pipe)) !=
            EXR_ERR_SUCCESS ||
        (code = exr_decoding_run(context, 0, &pipe)) != EXR_ERR_SUCCESS) {
      return fail(code);
    }
    for (size_t which = 0; which < used; ++which) {
      if (!wholeSlots[which]) continue;
      decoder->roundedSamples += unsignedToFloats(
          buffer.get() + chunkSamples * static_cast<int64_t>(which),
          int64_t{rows} * columns);
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

// The heights' samples of one run: the channel read, or the luma made in
// combined.
const float* runSamples(const ExrDecoder& decoder, int32_t count,
                        const float* const* channels,
                        std::vector<float>* combined) {
  if (!decoder.chosen.luma) return channels[0];
  combined->resize(static_cast<size_t>(count));
  for (int32_t index = 0; index < count; ++index) {
    (*combined)[static_cast<size_t>(index)] = static_cast<float>(
        kLumaRed * channels[0][index] + kLumaGreen * channels[1][index] +
        kLumaBlue * channels[2][index]);
  }
  return combined->data();
}

// For a file read as grey from its R, G and B: false (error set) at the
// run's first pixel that is not grey.
bool runIsGrey(const ExrInfo& info, int32_t row, int32_t column, int32_t count,
               const float* const* channels, std::string* error) {
  if (!info.colourChecked) return true;
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
  return true;
}

}  // namespace

bool decodeExrHeights(ExrDecoder* decoder, const ExrInfo& info,
                      const MappingRequest& request, PlaneSet* planes,
                      SampleMapping* mapping, StoreCount* clamped,
                      std::string* error, const Progress* progress) {
  FloatHeights heights;
  std::vector<float> combined;
  auto samplesOf = [&](int32_t count, const float* const* channels) {
    return runSamples(*decoder, count, channels, &combined);
  };
  auto survey = [&](int32_t row, int32_t column, int32_t count,
                    const float* const* channels) {
    if (!runIsGrey(info, row, column, count, channels, error)) return false;
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

bool decodeExrFloats(ExrDecoder* decoder, const ExrInfo& info,
                     FloatPlane* floats, int64_t* nodata, std::string* error,
                     const Progress* progress) {
  std::vector<float> combined;
  *nodata = 0;
  auto store = [&](int32_t row, int32_t column, int32_t count,
                   const float* const* channels) {
    if (!runIsGrey(info, row, column, count, channels, error)) return false;
    const float* samples = runSamples(*decoder, count, channels, &combined);
    float* values = floats->row(row) + column;
    for (int32_t index = 0; index < count; ++index) {
      values[index] = samples[index];
      if (!std::isfinite(samples[index])) ++*nodata;
    }
    return true;
  };
  return forEachExrRun(decoder, info, store, error, progress);
}

int64_t exrRoundedSamples(const ExrDecoder* decoder) {
  return decoder != nullptr ? decoder->roundedSamples : 0;
}
