#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/replacement_lock.h"

namespace {

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool lockReplacement(const std::string& path, ReplacementLock* lock) {
  *lock = ReplacementLock();
  // The folder itself is locked: a lock file would be one more file left
  // beside the outputs.
  int folder = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return false;
  int locked;
  do {
    locked = flock(folder, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    close(folder);
    return false;
  }
  lock->handle = folder;
  return true;
}

void unlockReplacement(ReplacementLock* lock) {
  if (lock->handle < 0) return;
  // Closing the only descriptor releases the lock.
  close(static_cast<int>(lock->handle));
  lock->handle = -1;
}
