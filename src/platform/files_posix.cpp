#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/files.h"

namespace {

bool fail(FileStream* file) {
  file->failure = lastSystemError();
  file->systemFailure = true;
  return false;
}

}  // namespace

bool openInputFile(const char* path, FileStream* file) {
  file->path = path;
  file->failure.clear();
  file->stream = std::fopen(path, "rb");
  if (file->stream == nullptr) return fail(file);
  struct stat info;
  if (fstat(fileno(file->stream), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file->stream);
    file->stream = nullptr;
    errno = EISDIR;
    return fail(file);
  }
  return true;
}

std::string unreadableKind(const FileStream& file) {
  struct stat info;
  if (fstat(fileno(file.stream), &info) == 0 && S_ISCHR(info.st_mode)) {
    return "a character device";
  }
  return std::string();
}

bool seekTo(FileStream* file, int64_t offset) {
  if (offset < 0) return false;
  errno = 0;
  if (fseeko(file->stream, static_cast<off_t>(offset), SEEK_SET) == 0) {
    return true;
  }
  return fail(file);
}

int64_t positionOf(FileStream* file) {
  return static_cast<int64_t>(ftello(file->stream));
}

int64_t streamLength(FileStream* file) {
  errno = 0;
  if (fseeko(file->stream, 0, SEEK_END) != 0) {
    fail(file);
    return -1;
  }
  return static_cast<int64_t>(ftello(file->stream));
}

FileStamp stampOf(const FileStream& file) {
  FileStamp stamp;
  struct stat info;
  if (file.stream == nullptr || fstat(fileno(file.stream), &info) != 0) {
    return stamp;
  }
  stamp.size = static_cast<int64_t>(info.st_size);
  stamp.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                   info.st_mtim.tv_nsec;
  return stamp;
}

bool isSameFile(const FileStream& file, const char* path) {
  struct stat own;
  struct stat other;
  if (fstat(fileno(file.stream), &own) != 0) return false;
  if (stat(path, &other) != 0) return false;
  return own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

void holdStandardStreams() {
  // In order: open takes the lowest free descriptor, the one just found.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      open("/dev/null", O_RDONLY);
    }
  }
}

std::string standardOutputFailure() {
  // The C library forgets why a buffered write failed; writing nothing asks
  // again (a full device or a descriptor not open for writing answers).
  errno = 0;
  if (write(STDOUT_FILENO, "", 0) == 0) return std::string();
  return lastSystemError();
}

namespace {

// Where a write to path lands: symbolic links followed to their target
// (relative ones from their own folder), as that folder and the name in it.
void finalPlace(std::string path, std::string* folder, std::string* name) {
  for (int depth = 0; depth < 40; ++depth) {
    char target[4096];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) break;
    const std::string link(target, static_cast<size_t>(length));
    const size_t slash = path.find_last_of('/');
    path = link[0] == '/' || slash == std::string::npos
               ? link
               : path.substr(0, slash + 1) + link;
  }
  const size_t slash = path.find_last_of('/');
  *folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  *name = slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string filePlaceKey(const char* path) {
  auto identity = [](const struct stat& info) {
    return std::to_string(static_cast<uint64_t>(info.st_dev)) + ":" +
           std::to_string(static_cast<uint64_t>(info.st_ino));
  };
  struct stat info;
  if (stat(path, &info) == 0) return "file " + identity(info);
  // Still to be made: the same name in the same folder.
  std::string folder, name;
  finalPlace(path, &folder, &name);
  if (!name.empty() && stat(folder.c_str(), &info) == 0) {
    return "name " + identity(info) + "/" + name;
  }
  return "path " + std::string(path);
}
