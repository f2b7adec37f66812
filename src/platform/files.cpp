#include "platform/files.h"

#include <cerrno>
#include <cstring>

// What both systems share: the C runtime's streams and its error texts.

void closeInputFile(FileStream* file) {
  if (file->stream == nullptr) return;
  if (std::fclose(file->stream) != 0) {
    file->failure = lastSystemError();
    file->systemFailure = true;
  }
  file->stream = nullptr;
}

bool readExact(FileStream* file, uint8_t* buffer, size_t size) {
  errno = 0;
  size_t got = std::fread(buffer, 1, size, file->stream);
  if (got == size) return true;
  file->systemFailure = std::ferror(file->stream) && errno != 0;
  if (file->systemFailure) {
    file->failure = lastSystemError();
  } else {
    file->failure = "read ended after " + std::to_string(got) + " of " +
                    std::to_string(size) + " bytes";
  }
  return false;
}

int64_t readSome(FileStream* file, uint8_t* buffer, size_t size) {
  errno = 0;
  size_t got = std::fread(buffer, 1, size, file->stream);
  if (got == size || !std::ferror(file->stream)) {
    return static_cast<int64_t>(got);
  }
  file->systemFailure = errno != 0;
  file->failure = errno != 0 ? lastSystemError() : "read failed";
  return -1;
}

bool writeExact(FileStream* file, const uint8_t* buffer, size_t size) {
  errno = 0;
  if (std::fwrite(buffer, 1, size, file->stream) == size) return true;
  file->systemFailure = errno != 0;
  file->failure = errno != 0 ? lastSystemError() : "short write";
  return false;
}

namespace {

std::string withReason(const char* what, const FileStream& file) {
  if (!file.systemFailure || file.failure.empty()) return what;
  return std::string(what) + ": " + file.failure;
}

}  // namespace

std::string inputReadError(const FileStream& input) {
  return withReason("Cannot read the input file", input);
}

std::string outputWriteError(const FileStream& output) {
  return withReason("Cannot write the output file", output);
}

std::string lastSystemError() {
  if (errno == 0) return std::string();
  return std::strerror(errno);
}

bool pathsNameSameFile(const char* first, const char* second) {
  return std::string(first) == second ||
         filePlaceKey(first) == filePlaceKey(second);
}
