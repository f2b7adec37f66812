#include "image/zip_refusal.h"

#include <cstdint>
#include <string>
#include <vector>

#include "image/height_formats.h"
#include "image/little_endian.h"

namespace {

// The names in a zip archive's central directory, found through the
// end-of-directory record within the last 64 KiB; none when it has no
// readable directory.
std::vector<std::string> zipDirectoryNames(FileStream* input,
                                           int64_t fileSize) {
  constexpr int64_t kEndRecord = 22;
  constexpr int64_t kEntry = 46;
  constexpr int64_t kLongestDirectory = int64_t{1} << 20;
  std::vector<std::string> names;
  const int64_t tailSize = std::min<int64_t>(fileSize, kEndRecord + 65535);
  std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
  if (tailSize < kEndRecord || !seekTo(input, fileSize - tailSize) ||
      !readExact(input, tail.data(), tail.size())) {
    return names;
  }
  int64_t record = tailSize - kEndRecord;
  while (record >= 0 &&
         loadLe32(&tail[static_cast<size_t>(record)]) != 0x06054b50u) {
    --record;
  }
  if (record < 0) return names;
  const uint8_t* end = &tail[static_cast<size_t>(record)];
  const int64_t size = loadLe32(end + 12);
  const int64_t offset = loadLe32(end + 16);
  if (size > kLongestDirectory || offset + size > fileSize) return names;
  std::vector<uint8_t> directory(static_cast<size_t>(size));
  if (!seekTo(input, offset) ||
      !readExact(input, directory.data(), directory.size())) {
    return names;
  }
  for (int64_t at = 0; at + kEntry <= size;) {
    const uint8_t* entry = &directory[static_cast<size_t>(at)];
    if (loadLe32(entry) != 0x02014b50u) break;
    const int64_t length = loadLe16(entry + 28);
    if (at + kEntry + length > size) break;
    names.emplace_back(reinterpret_cast<const char*>(entry + kEntry),
                       static_cast<size_t>(length));
    at += kEntry + length + loadLe16(entry + 30) + loadLe16(entry + 32);
  }
  return names;
}

// The name of a zip archive's first entry from its local header (the
// name's length at byte 26, the name from byte 30), or "".
std::string zipFirstName(FileStream* input, int64_t fileSize) {
  constexpr int64_t kHeader = 30;
  constexpr uint16_t kLongestName = 1024;
  uint8_t header[kHeader];
  std::string name;
  if (fileSize >= kHeader && seekTo(input, 0) &&
      readExact(input, header, sizeof header)) {
    const uint16_t length = loadLe16(header + 26);
    if (length > 0 && length <= kLongestName && kHeader + length <= fileSize) {
      name.resize(length);
      if (!readExact(input, reinterpret_cast<uint8_t*>(&name[0]), length)) {
        name.clear();
      }
    }
  }
  return name;
}

// name as one word for a POSIX shell: as it is when every byte is plainly
// safe, else in single quotes (one inside written '\'').
std::string shellWord(const std::string& name) {
  bool plain = !name.empty();
  for (char letter : name) {
    plain = plain && letter != '\0' &&
            (std::isalnum(static_cast<unsigned char>(letter)) ||
             std::strchr("._-/+,:@%=", letter) != nullptr);
  }
  if (plain) return name;
  std::string word = "'";
  for (char letter : name) {
    word += letter == '\'' ? std::string("'\\''") : std::string(1, letter);
  }
  return word + "'";
}

}  // namespace

bool refuseZip(FileStream* input, int64_t fileSize, InputImage* image,
               std::string* error) {
  std::vector<std::string> names = zipDirectoryNames(input, fileSize);
  if (names.empty()) names.push_back(zipFirstName(input, fileSize));
  std::string name;
  for (const std::string& entry : names) {
    // A name is shown only as printable text.
    bool printable = !entry.empty();
    for (char letter : entry) {
      const unsigned char byte = static_cast<unsigned char>(letter);
      printable = printable && byte >= 32 && byte != 0x7F;
    }
    if (!printable) continue;
    if (name.empty()) name = entry;
    if (hasHgtName(entry)) {
      name = entry;
      break;
    }
  }
  *error = "Input file is a zip archive" +
           (name.empty() ? std::string() : " holding " + name) +
           ", not a height map: unzip it and convert the file inside";
  image->advice =
      name.empty() ? "unzip the archive, then run quillorn on the map it holds"
                   : "unzip the archive (unzip <archive>, or open it in the "
                     "file manager), then: quillorn " +
                         shellWord(name) + " <output>";
  return false;
}
