#include "image/exr_file.h"

#include <openexr.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "image/exr_channels.h"
#include "image/exr_stream.h"

namespace {

// The most samples' bytes a compressed file's bytes are taken to hold, as
// for TIFF: a size beyond it is forged.
constexpr int64_t kPackingLimit = int64_t{1} << 16;

// The refusal of a compression the library cannot decode, or "". Its C
// core decodes DWA only from 3.2 on; before, it fails at the first chunk,
// after the work began, and as if the file were damaged.
std::string unreadCompression(exr_compression_t compression) {
  int major = 0, minor = 0, patch = 0;
  const char* extra = nullptr;
  exr_get_library_version(&major, &minor, &patch, &extra);
  const bool dwa = compression == EXR_COMPRESSION_DWAA ||
                   compression == EXR_COMPRESSION_DWAB;
  if (!dwa || major * 100 + minor >= 302) return std::string();
  return std::string("Unsupported OpenEXR compression: this build reads no ") +
         (compression == EXR_COMPRESSION_DWAA ? "DWAA" : "DWAB") +
         "-compressed OpenEXR; save it with ZIP, PIZ or no compression";
}

}  // namespace

bool haveExr() { return true; }

std::string exrLibraryVersion() {
  int major = 0, minor = 0, patch = 0;
  const char* extra = nullptr;
  exr_get_library_version(&major, &minor, &patch, &extra);
  return "OpenEXR " + std::to_string(major) + "." + std::to_string(minor) +
         "." + std::to_string(patch);
}

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
  exr_context_initializer_t init = exrInitializer(&made->stream);
  exr_result_t code =
      exr_start_read(&made->context, input->path.c_str(), &init);
  auto fail = [&](const std::string& reason) {
    *error = reason;
    freeExrDecoder(made.release());
    return false;
  };
  if (code != EXR_ERR_SUCCESS) {
    return fail(exrFailure(made->stream, code, true));
  }
  exr_context_t context = made->context;
  exr_storage_t storage = EXR_STORAGE_SCANLINE;
  exr_attr_box2i_t window = {};
  const exr_attr_chlist_t* channels = nullptr;
  if ((code = exr_get_storage(context, 0, &storage)) != EXR_ERR_SUCCESS ||
      (code = exr_get_data_window(context, 0, &window)) != EXR_ERR_SUCCESS ||
      (code = exr_get_channels(context, 0, &channels)) != EXR_ERR_SUCCESS ||
      channels == nullptr) {
    return fail(exrFailure(made->stream, code, true));
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
  const std::string unread = unreadCompression(compression);
  if (!unread.empty()) return fail(unread);
  // Half samples take two bytes each at the least, packed no tighter than
  // kPackingLimit: forged sizes are refused before anything is made for
  // them. The file's size times the limit stays far inside 64 bits.
  const int64_t ratio = compression == EXR_COMPRESSION_NONE ? 1 : kPackingLimit;
  if (height > fileSize * ratio / (2 * width)) {
    return fail("Malformed OpenEXR: its " + std::to_string(width) + " x " +
                std::to_string(height) + " samples cannot be in " +
                std::to_string(fileSize) + " bytes");
  }
  if (!chooseExrChannels(names, choice, &made->chosen, info, error)) {
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
      return fail(exrFailure(made->stream, code, true));
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
      return fail(exrFailure(made->stream, code, true));
    }
    made->chunkWidth = static_cast<int32_t>(width);
    made->chunkHeight = static_cast<int32_t>(std::min<int64_t>(rows, height));
  }
  info->width = static_cast<int32_t>(width);
  info->height = static_cast<int32_t>(height);
  info->tiled = storage == EXR_STORAGE_TILED;
  info->channels = joinedNames(names);
  *decoder = made.release();
  return true;
}

void freeExrDecoder(ExrDecoder* decoder) {
  if (decoder == nullptr) return;
  if (decoder->context != nullptr) exr_finish(&decoder->context);
  delete decoder;
}
