#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/interrupts.h"
#include "platform/outputs.h"
#include "platform/outputs_system.h"

namespace {

// Longest file name the common file systems take.
constexpr size_t kNameMax = 255;
// The temporary's name: "." + the final name + ".XXXXXX".
constexpr size_t kTemporaryExtra = 8;
// Links followed before giving up on a loop.
constexpr int kMaxLinks = 40;
// Names tried for a hidden link before giving up on a folder full of them.
constexpr int kLinkAttempts = 100;

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that path finally names, following symbolic links (relative
// targets from the link's folder); a link to nothing yet gives the path the
// file will be created at.
std::string resolveLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    std::string target(static_cast<size_t>(info.st_size) + 1, '\0');
    ssize_t length = readlink(current.c_str(), &target[0], target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) break;
    target.resize(static_cast<size_t>(length));
    current = target[0] == '/' ? target : folderOf(current) + "/" + target;
  }
  return current;
}

// "." + name + ".XXXXXX" beside finalPath, the name shortened (at a UTF-8
// character boundary) so that the whole stays within kNameMax bytes.
std::string temporaryPattern(const std::string& finalPath) {
  std::string name = nameOf(finalPath);
  if (name.size() > kNameMax - kTemporaryExtra) {
    size_t keep = kNameMax - kTemporaryExtra;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
      --keep;
    name.resize(keep);
  }
  return folderOf(finalPath) + "/." + name + ".XXXXXX";
}

// The permission bits of a new file: 0666 less the umask.
mode_t newFileMode() {
#if defined(__EMSCRIPTEN__)
  // Emscripten keeps no umask and answers 0777, which would leave every new
  // file unreadable, the page's outputs included: a usual umask's bits.
  return 0644;
#endif
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

FILE* streamFor(int fd) {
  FILE* stream = fdopen(fd, "wb");
  if (stream == nullptr) close(fd);
  return stream;
}

bool fail(FileStream* file) {
  file->failure = lastSystemError();
  file->systemFailure = true;
  return false;
}

// Opens the existing regular file itself, without truncating it: nothing
// changes until the first byte is written.
bool openInPlace(OutputFile* output) {
  int fd = open(output->finalPath.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return fail(&output->file);
  output->file.stream = streamFor(fd);
  if (output->file.stream == nullptr) return fail(&output->file);
  output->mode = OutputMode::kInPlace;
  return true;
}

}  // namespace

OutputOpening openOutputFile(const char* path, OutputFile* output) {
  *output = OutputFile();
  output->file.path = path;
  // A name that can never be written is refused before any work: no name
  // at all, one longer than the file system takes, a loop of links (which
  // would otherwise be replaced by a regular file).
  if (*path == '\0') {
    errno = ENOENT;
    fail(&output->file);
    return OutputOpening::kFailed;
  }
  output->finalPath = resolveLinks(path);
  struct stat final;
  bool exists = stat(path, &final) == 0;
  if (!exists && errno != ENOENT) {
    fail(&output->file);
    return OutputOpening::kFailed;
  }
  if (exists) {
    struct stat console;
    // Where the progress lines go, the image cannot go too; a device may be
    // both (/dev/null, a terminal).
    if (!S_ISCHR(final.st_mode) && fstat(STDOUT_FILENO, &console) == 0 &&
        console.st_dev == final.st_dev && console.st_ino == final.st_ino) {
      return OutputOpening::kIsStandardOutput;
    }
    if (S_ISDIR(final.st_mode)) {
      errno = EISDIR;
      fail(&output->file);
      return OutputOpening::kFailed;
    }
    if (!S_ISREG(final.st_mode)) {
      output->mode = OutputMode::kDevice;
      output->file.stream = std::fopen(path, "wb");
      if (output->file.stream == nullptr) {
        fail(&output->file);
        return OutputOpening::kFailed;
      }
      return OutputOpening::kOpened;
    }
    // A file the user may not write is not replaced behind its back through
    // the folder's permission.
    if (access(output->finalPath.c_str(), W_OK) != 0) {
      fail(&output->file);
      return OutputOpening::kFailed;
    }
    output->replacesFile = true;
  }

  // Created and guarded as one step, so that no interruption can leave the
  // temporary behind; mkostemp fills the name's Xs in place.
  std::string name = temporaryPattern(output->finalPath);
  blockInterrupts();
  int fd = mkostemp(&name[0], O_CLOEXEC);
  if (fd >= 0) output->guard = guardTemporaryFile(name.c_str());
  unblockInterrupts();
  if (fd < 0) {
    if (!exists) {
      fail(&output->file);
      return OutputOpening::kFailed;
    }
    output->fallbackReason = lastSystemError();
    return openInPlace(output) ? OutputOpening::kOpened
                               : OutputOpening::kFailed;
  }
  output->temporaryPath = name;
  if (exists) {
    mode_t mode = final.st_mode & 07777;
    // Only root may give a file away: for anyone else the replacement is
    // theirs, as a copy would be, and keeps no set-user or set-group bit
    // that was meant for the old owner.
    if (fchown(fd, final.st_uid, final.st_gid) != 0) mode &= 0777;
    fchmod(fd, mode);
  } else {
    fchmod(fd, newFileMode());
  }
  output->file.stream = streamFor(fd);
  if (output->file.stream == nullptr) {
    fail(&output->file);
    discardOutputFile(output);
    return OutputOpening::kFailed;
  }
  return OutputOpening::kOpened;
}

bool renameOver(const std::string& from, const std::string& to,
                std::string* reason) {
  errno = 0;
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *reason = lastSystemError();
  return false;
}

bool linkAside(const std::string& path, std::string* linkPath,
               std::string* reason) {
  std::string name = temporaryPattern(path);
  uint64_t seed = static_cast<uint64_t>(getpid()) << 32 ^
                  static_cast<uint64_t>(time(nullptr));
  for (int attempt = 0; attempt < kLinkAttempts; ++attempt) {
    for (size_t at = name.size() - 6; at < name.size(); ++at) {
      name[at] = nameLetter(&seed);
    }
    if (link(path.c_str(), name.c_str()) == 0) {
      *linkPath = name;
      return true;
    }
    if (errno != EEXIST) break;
  }
  *reason = lastSystemError();
  return false;
}

bool removePath(const std::string& path, std::string* reason) {
  if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  *reason = lastSystemError();
  return false;
}

bool emptyPath(const std::string& path) {
  return truncate(path.c_str(), 0) == 0;
}

bool cutAtPosition(FILE* stream, std::string* reason) {
  off_t length = ftello(stream);
  if (length >= 0 && ftruncate(fileno(stream), length) == 0) return true;
  *reason = lastSystemError();
  return false;
}
