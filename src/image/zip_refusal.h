// A zip archive refused in a build that reads none, naming what it holds.
#ifndef QUILLORN_IMAGE_ZIP_REFUSAL_H_
#define QUILLORN_IMAGE_ZIP_REFUSAL_H_

#include <cstdint>
#include <string>

#include "image/input_image.h"
#include "platform/files.h"

// A zip archive (SRTM tiles are downloaded as N47W122.hgt.zip) in a build
// that reads none: refused (false, error the message), naming the
// elevation entry inside (the first .hgt, else the first entry), so the
// user knows what to unzip and convert.
bool refuseZip(FileStream* input, int64_t fileSize, InputImage* image,
               std::string* error);

#endif  // QUILLORN_IMAGE_ZIP_REFUSAL_H_
