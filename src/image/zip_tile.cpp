#include "image/zip_tile.h"

#include <unzip.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <new>
#include <vector>

struct ZipReader {
  unzFile archive = nullptr;
  std::string member;
  uint64_t size = 0;  // the entry's inflated size, from the directory
  uint64_t read = 0;
};

namespace {

// minizip reads the archive through the tool's own open stream (the path
// as the user typed it, UTF-8 on every system); it never closes it.
voidpf ZCALLBACK openStream(voidpf, const void* stream, int) {
  return const_cast<void*>(stream);
}

uLong ZCALLBACK readStream(voidpf, voidpf stream, void* bytes, uLong size) {
  const int64_t got = readSome(static_cast<FileStream*>(stream),
                               static_cast<uint8_t*>(bytes), size);
  return got < 0 ? 0 : static_cast<uLong>(got);
}

uLong ZCALLBACK writeStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK tellStream(voidpf, voidpf stream) {
  const int64_t at = positionOf(static_cast<FileStream*>(stream));
  return at < 0 ? static_cast<ZPOS64_T>(-1) : static_cast<ZPOS64_T>(at);
}

long ZCALLBACK seekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  FileStream* file = static_cast<FileStream*>(stream);
  int64_t base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) {
    base = positionOf(file);
  } else if (origin == ZLIB_FILEFUNC_SEEK_END) {
    base = streamLength(file);
  }
  if (base < 0) return -1;
  return seekTo(file, base + static_cast<int64_t>(offset)) ? 0 : -1;
}

int ZCALLBACK closeStream(voidpf, voidpf) { return 0; }

int ZCALLBACK streamError(voidpf, voidpf stream) {
  return static_cast<FileStream*>(stream)->failure.empty() ? 0 : 1;
}

unzFile openArchive(FileStream* input) {
  zlib_filefunc64_def functions = {};
  functions.zopen64_file = openStream;
  functions.zread_file = readStream;
  functions.zwrite_file = writeStream;
  functions.ztell64_file = tellStream;
  functions.zseek64_file = seekStream;
  functions.zclose_file = closeStream;
  functions.zerror_file = streamError;
  if (!seekTo(input, 0)) return nullptr;
  return unzOpen2_64(input, &functions);
}

bool endsWithHgt(const std::string& name) {
  if (name.size() < 4) return false;
  std::string end = name.substr(name.size() - 4);
  for (char& letter : end) {
    letter =
        static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
  }
  return end == ".hgt";
}

// The archive's entries: their names and inflated sizes. False when the
// directory cannot be walked (a damaged or cut-short archive).
bool listEntries(unzFile archive, std::vector<std::string>* names,
                 std::vector<uint64_t>* sizes) {
  constexpr uint64_t kMostEntries = 1000;
  unz_global_info64 global;
  if (unzGetGlobalInfo64(archive, &global) != UNZ_OK) return false;
  // An empty archive has no first entry to go to.
  if (global.number_entry == 0) return true;
  int status = unzGoToFirstFile(archive);
  while (status == UNZ_OK && names->size() < kMostEntries) {
    char name[1024];
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0,
                                nullptr, 0) != UNZ_OK) {
      return false;
    }
    // Shown only as printable text: a name may hold anything.
    std::string shown = name;
    for (char& letter : shown) {
      const unsigned char byte = static_cast<unsigned char>(letter);
      if (byte < 32 || byte == 0x7F) letter = '?';
    }
    names->push_back(shown);
    sizes->push_back(info.uncompressed_size);
    status = unzGoToNextFile(archive);
  }
  return status == UNZ_OK || status == UNZ_END_OF_LIST_OF_FILE;
}

// The entries as the refusal names them: "a.hgt and b.txt", "nothing".
std::string entryList(const std::vector<std::string>& names) {
  if (names.empty()) return "nothing";
  std::string list;
  for (size_t index = 0; index < names.size() && index < 4; ++index) {
    list += index == 0 ? "" : index + 1 == names.size() ? " and " : ", ";
    list += names[index];
  }
  if (names.size() > 4) {
    list += " and " + std::to_string(names.size() - 4) + " more";
  }
  return list;
}

}  // namespace

bool haveZip() { return true; }

std::string zipLibraryVersion() {
  return std::string("minizip, zlib ") + zlibVersion();
}

bool inspectZipTile(FileStream* input, InputImage* image, uint64_t* size,
                    std::string* error) {
  // An archive that starts with its directory's end holds nothing, which
  // minizip does not open.
  uint8_t start[4] = {};
  const bool empty = seekTo(input, 0) && readExact(input, start, 4) &&
                     start[0] == 'P' && start[1] == 'K' && start[2] == 5 &&
                     start[3] == 6;
  unzFile archive = empty ? nullptr : openArchive(input);
  std::vector<std::string> names;
  std::vector<uint64_t> sizes;
  const bool listed =
      empty || (archive != nullptr && listEntries(archive, &names, &sizes));
  if (archive != nullptr) unzClose(archive);
  if (!listed) {
    *error = input->failure.empty()
                 ? "Input file is a zip archive that cannot be read: its "
                   "directory is damaged or cut short"
                 : inputReadError(*input);
    image->advice = "download the tile again";
    return false;
  }
  if (names.size() != 1 || !endsWithHgt(names[0])) {
    *error = "Input file is a zip archive holding " + entryList(names) +
             ", not one SRTM tile (.hgt)";
    image->advice =
        "unzip the archive and run quillorn on the height map it holds";
    return false;
  }
  image->zipMember = names[0];
  *size = sizes[0];
  return true;
}

bool openZipMember(FileStream* input, const InputImage& image,
                   ZipReader** reader, std::string* error) {
  *reader = nullptr;
  // The tile is the archive's one entry (its name as shown may differ).
  unzFile archive = openArchive(input);
  unz_file_info64 info;
  if (archive == nullptr || unzGoToFirstFile(archive) != UNZ_OK ||
      unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr,
                              0) != UNZ_OK ||
      unzOpenCurrentFile(archive) != UNZ_OK) {
    if (archive != nullptr) unzClose(archive);
    *error = "The zip archive's " + image.zipMember +
             " cannot be opened: the archive is damaged or changed";
    return false;
  }
  *reader = new (std::nothrow)
      ZipReader{archive, image.zipMember, info.uncompressed_size, 0};
  if (*reader == nullptr) {
    unzClose(archive);
    *error = "Not enough memory to read the zip archive";
    return false;
  }
  return true;
}

bool readZipExact(ZipReader* reader, uint8_t* bytes, size_t size,
                  std::string* error) {
  size_t done = 0;
  while (done < size) {
    const unsigned piece =
        static_cast<unsigned>(std::min<size_t>(size - done, 1u << 20));
    const int got = unzReadCurrentFile(reader->archive, bytes + done, piece);
    if (got <= 0) {
      *error = "The zip archive's " + reader->member + " ends after " +
               std::to_string(reader->read + done) + " of its " +
               std::to_string(reader->size) +
               " bytes: the archive is damaged or cut short";
      return false;
    }
    done += static_cast<size_t>(got);
  }
  reader->read += done;
  return true;
}

bool closeZipMember(ZipReader* reader, std::string* error) {
  if (reader == nullptr) return true;
  uint8_t extra = 0;
  // One more byte must not come, and the checksum is only checked at the
  // entry's end.
  const bool ended = unzReadCurrentFile(reader->archive, &extra, 1) == 0 &&
                     unzCloseCurrentFile(reader->archive) == UNZ_OK;
  if (!ended) {
    *error = "The zip archive's " + reader->member +
             " does not match its checksum: the archive is damaged";
  }
  unzClose(reader->archive);
  delete reader;
  return ended;
}
