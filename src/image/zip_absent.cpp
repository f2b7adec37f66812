// Zipped SRTM tiles in a build without minizip: none is read, and the
// format dispatch refuses a zip before it gets here.
#include "image/zip_tile.h"

struct ZipReader {};

bool haveZip() { return false; }

std::string zipLibraryVersion() { return std::string(); }

bool inspectZipTile(FileStream*, InputImage*, uint64_t*, std::string* error) {
  *error = kNoZipSupport;
  return false;
}

bool openZipMember(FileStream*, const InputImage&, ZipReader** reader,
                   std::string* error) {
  *reader = nullptr;
  *error = kNoZipSupport;
  return false;
}

bool readZipExact(ZipReader*, uint8_t*, size_t, std::string* error) {
  *error = kNoZipSupport;
  return false;
}

bool closeZipMember(ZipReader*, std::string*) { return true; }
