// SRTM tiles as they are downloaded: a zip archive holding one ".hgt"
// ("N47W122.hgt.zip", "N47W122.SRTMGL1.hgt.zip"), read through minizip
// straight from the archive, without unzipping it first. Optional in a
// build (zip_absent.cpp without minizip: such a zip is then refused).
#ifndef QUILLORN_IMAGE_ZIP_TILE_H_
#define QUILLORN_IMAGE_ZIP_TILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/input_image.h"
#include "platform/files.h"

// The message for a zipped tile in a build without minizip.
constexpr const char* kNoZipSupport =
    "This build of Quillorn reads no zip archives; unzip the tile and "
    "convert the .hgt inside";

// True when this build reads SRTM tiles from their zip archives.
bool haveZip();

// "minizip, zlib 1.2.13", or "" without it.
std::string zipLibraryVersion();

// Reads the directory of the zip archive input: it must hold exactly one
// entry, an ".hgt". Fills image->zipMember with the entry's name and size
// with its inflated size as the directory says (not yet checked). On
// failure error is the message and image->advice what to do about it.
bool inspectZipTile(FileStream* input, InputImage* image, uint64_t* size,
                    std::string* error);

// An entry of a zip archive open for reading, its bytes inflated in order.
struct ZipReader;

// Opens the tile of the zip archive input, its one entry, which
// image->zipMember names. False with error set.
bool openZipMember(FileStream* input, const InputImage& image,
                   ZipReader** reader, std::string* error);

// Reads exactly size bytes of the entry on; false with error set on a
// short or failed read (a damaged archive).
bool readZipExact(ZipReader* reader, uint8_t* bytes, size_t size,
                  std::string* error);

// Closes the entry, checking that it ended where its size said and that
// its bytes match its checksum; false with error set otherwise. Frees the
// reader whatever the answer; nullptr is left alone.
bool closeZipMember(ZipReader* reader, std::string* error);

#endif  // QUILLORN_IMAGE_ZIP_TILE_H_
