#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>

#include "platform/files.h"

FILE* openInputFile(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

FILE* openOutputFile(const char* path) { return std::fopen(path, "wb"); }

bool removeFile(const char* path) { return std::remove(path) == 0; }

bool seekTo(FILE* file, int64_t offset) {
  if (offset < 0) return false;
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int64_t streamLength(FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<int64_t>(ftello(file));
}

bool isRegularFile(FILE* file) {
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

bool isRemovableOutput(FILE* output, const char* path) {
  if (!isRegularFile(output)) return false;
  struct stat info;
  return lstat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool isSameFile(FILE* file, const char* path) {
  struct stat own;
  struct stat other;
  if (fstat(fileno(file), &own) != 0) return false;
  if (stat(path, &other) != 0) return false;
  return own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}
