#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/files.h"
#include "platform/files_system.h"
#include "platform/interrupts.h"
#include "platform/wide_text_windows.h"

namespace {

// Longest file name NTFS takes, in UTF-16 units.
constexpr size_t kNameMax = 255;
// The temporary's name: "." + the final name + "." + six characters.
constexpr size_t kTemporaryExtra = 8;
// Names tried before giving up on a folder full of our temporaries.
constexpr int kTemporaryAttempts = 100;

bool statOpen(FILE* file, struct _stat64* info) {
  return _fstat64(_fileno(file), info) == 0;
}

// The system's text for GetLastError(), without its closing line end.
std::string windowsError() {
  DWORD code = GetLastError();
  char text[512];
  DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' ||
          message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : message;
}

bool failWith(FileStream* file, const std::string& reason) {
  file->failure = reason;
  file->systemFailure = true;
  return false;
}

// The system's identity of an open file: volume and index (the C runtime's
// st_ino is always 0 here).
bool fileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION* identity) {
  return handle != INVALID_HANDLE_VALUE &&
         GetFileInformationByHandle(handle, identity) != 0;
}

bool sameIdentity(const BY_HANDLE_FILE_INFORMATION& a,
                  const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// A handle for asking about path, without reading or writing it.
HANDLE probe(const std::wstring& path) {
  return CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

size_t lastSeparator(const std::wstring& path) {
  return path.find_last_of(L"/\\");
}

// A C stream over a system handle; closes the handle when that fails.
FILE* streamFor(HANDLE handle) {
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                           _O_BINARY | _O_WRONLY);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  FILE* stream = _fdopen(fd, "wb");
  if (stream == nullptr) _close(fd);
  return stream;
}

// ".name.XXXXXX" beside finalPath, the Xs drawn from seed and the name
// shortened so that the whole stays within kNameMax.
std::wstring hiddenName(const std::wstring& finalPath, uint64_t* seed) {
  size_t separator = lastSeparator(finalPath);
  std::wstring folder = separator == std::wstring::npos
                            ? std::wstring()
                            : finalPath.substr(0, separator + 1);
  std::wstring name = separator == std::wstring::npos
                          ? finalPath
                          : finalPath.substr(separator + 1);
  if (name.size() > kNameMax - kTemporaryExtra) {
    name.resize(kNameMax - kTemporaryExtra);
  }
  std::wstring suffix;
  for (int index = 0; index < 6; ++index) {
    suffix.push_back(static_cast<wchar_t>(nameLetter(seed)));
  }
  return folder + L"." + name + L"." + suffix;
}

uint64_t nameSeed() {
  return GetTickCount64() ^
         (static_cast<uint64_t>(GetCurrentProcessId()) << 16);
}

// Creates ".name.XXXXXX" beside finalPath, exclusively, deletable while
// open (so that an interruption can remove it); the handle or
// INVALID_HANDLE_VALUE.
HANDLE createTemporary(const std::wstring& finalPath, std::wstring* path) {
  uint64_t seed = nameSeed();
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    *path = hiddenName(finalPath, &seed);
    HANDLE handle = CreateFileW(path->c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool openInputFile(const char* path, FileStream* file) {
  file->path = path;
  file->failure.clear();
  errno = 0;
  file->stream = _wfopen(widePath(path).c_str(), L"rb");
  if (file->stream == nullptr) return failWith(file, lastSystemError());
  struct _stat64 info;
  if (statOpen(file->stream, &info) && (info.st_mode & _S_IFMT) == _S_IFDIR) {
    std::fclose(file->stream);
    file->stream = nullptr;
    errno = EISDIR;
    return failWith(file, lastSystemError());
  }
  return true;
}

std::string unreadableKind(const FileStream& file) {
  HANDLE handle =
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.stream)));
  if (GetFileType(handle) == FILE_TYPE_CHAR) return "a character device";
  return std::string();
}

bool seekTo(FileStream* file, int64_t offset) {
  if (offset < 0) return false;
  errno = 0;
  if (_fseeki64(file->stream, offset, SEEK_SET) == 0) return true;
  return failWith(file, lastSystemError());
}

int64_t streamLength(FileStream* file) {
  errno = 0;
  if (_fseeki64(file->stream, 0, SEEK_END) != 0) {
    failWith(file, lastSystemError());
    return -1;
  }
  return _ftelli64(file->stream);
}

FileStamp stampOf(const FileStream& file) {
  FileStamp stamp;
  struct _stat64 info;
  if (file.stream == nullptr || !statOpen(file.stream, &info)) return stamp;
  stamp.size = info.st_size;
  stamp.modified = static_cast<int64_t>(info.st_mtime);
  return stamp;
}

bool isSameFile(const FileStream& file, const char* path) {
  // The wide path: a narrow call would read the UTF-8 bytes in the ANSI code
  // page and miss the file whenever its name is not plain ASCII.
  HANDLE other = probe(widePath(path));
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  HANDLE own = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.stream)));
  bool same =
      fileIdentity(own, &a) && fileIdentity(other, &b) && sameIdentity(a, b);
  CloseHandle(other);
  return same;
}

OutputOpening openOutputFile(const char* path, OutputFile* output) {
  *output = OutputFile();
  output->file.path = path;
  output->finalPath = path;
  std::wstring wide = widePath(path);
  // A name that can never be written is refused before any work: no name
  // at all, one longer than NTFS takes, one the system cannot resolve (a
  // loop of links, a name with characters Windows forbids).
  size_t separator = lastSeparator(wide);
  size_t nameLength = separator == std::wstring::npos
                          ? wide.size()
                          : wide.size() - separator - 1;
  if (wide.empty() || nameLength > kNameMax) {
    errno = wide.empty() ? ENOENT : ENAMETOOLONG;
    failWith(&output->file, lastSystemError());
    return OutputOpening::kFailed;
  }
  HANDLE existing = probe(wide);
  DWORD missing = existing == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  if (missing != 0 && missing != ERROR_FILE_NOT_FOUND &&
      missing != ERROR_PATH_NOT_FOUND) {
    failWith(&output->file, windowsError());
    return OutputOpening::kFailed;
  }
  if (existing != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION final;
    BY_HANDLE_FILE_INFORMATION console;
    bool disk = GetFileType(existing) == FILE_TYPE_DISK;
    bool known = disk && fileIdentity(existing, &final);
    CloseHandle(existing);
    // Where the progress lines go, the image cannot go too.
    if (known && fileIdentity(GetStdHandle(STD_OUTPUT_HANDLE), &console) &&
        sameIdentity(final, console)) {
      return OutputOpening::kIsStandardOutput;
    }
    if (!disk) {
      output->mode = OutputMode::kDevice;
      errno = 0;
      output->file.stream = _wfopen(wide.c_str(), L"wb");
      if (output->file.stream != nullptr) return OutputOpening::kOpened;
      failWith(&output->file, lastSystemError());
      return OutputOpening::kFailed;
    }
    if (known && (final.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      errno = EISDIR;
      failWith(&output->file, lastSystemError());
      return OutputOpening::kFailed;
    }
    if (known && (final.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
      errno = EACCES;
      failWith(&output->file, lastSystemError());
      return OutputOpening::kFailed;
    }
    output->replacesFile = true;
  }

  std::wstring temporary;
  blockInterrupts();
  HANDLE handle = createTemporary(wide, &temporary);
  std::string reason = windowsError();
  if (handle != INVALID_HANDLE_VALUE) {
    output->temporaryPath = utf8FromWide(temporary.c_str());
    output->guard = guardTemporaryFile(output->temporaryPath.c_str());
  }
  unblockInterrupts();
  if (handle == INVALID_HANDLE_VALUE) {
    if (!output->replacesFile) {
      failWith(&output->file, reason);
      return OutputOpening::kFailed;
    }
    // No new file in that folder: write the existing one, not truncated
    // until the end.
    output->fallbackReason = reason;
    output->mode = OutputMode::kInPlace;
    handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      failWith(&output->file, windowsError());
      return OutputOpening::kFailed;
    }
  }
  output->file.stream = streamFor(handle);
  if (output->file.stream == nullptr) {
    failWith(&output->file, lastSystemError());
    discardOutputFile(output);
    return OutputOpening::kFailed;
  }
  return OutputOpening::kOpened;
}

bool renameOver(const std::string& from, const std::string& to,
                std::string* reason) {
  if (MoveFileExW(widePath(from.c_str()).c_str(), widePath(to.c_str()).c_str(),
                  MOVEFILE_REPLACE_EXISTING)) {
    return true;
  }
  *reason = windowsError();
  return false;
}

bool linkAside(const std::string& path, std::string* linkPath,
               std::string* reason) {
  std::wstring wide = widePath(path.c_str());
  uint64_t seed = nameSeed();
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::wstring name = hiddenName(wide, &seed);
    if (CreateHardLinkW(name.c_str(), wide.c_str(), nullptr)) {
      *linkPath = utf8FromWide(name.c_str());
      return true;
    }
    DWORD code = GetLastError();
    if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) break;
  }
  *reason = windowsError();
  return false;
}

bool removePath(const std::string& path, std::string* reason) {
  if (DeleteFileW(widePath(path.c_str()).c_str()) ||
      GetLastError() == ERROR_FILE_NOT_FOUND) {
    return true;
  }
  *reason = windowsError();
  return false;
}

bool emptyPath(const std::string& path) {
  HANDLE handle =
      CreateFileW(widePath(path.c_str()).c_str(), GENERIC_WRITE, 0, nullptr,
                  TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

int64_t streamPosition(FILE* stream) { return _ftelli64(stream); }

bool cutAtPosition(FILE* stream, std::string* reason) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (SetEndOfFile(handle)) return true;
  *reason = windowsError();
  return false;
}

void holdStandardStreams() {}

std::string standardOutputFailure() {
  DWORD written = 0;
  if (WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "", 0, &written, nullptr)) {
    return std::string();
  }
  return windowsError();
}

bool pathsNameSameFile(const char* first, const char* second) {
  if (std::string(first) == second) return true;
  HANDLE a = probe(widePath(first));
  HANDLE b = probe(widePath(second));
  BY_HANDLE_FILE_INFORMATION one;
  BY_HANDLE_FILE_INFORMATION other;
  bool same = fileIdentity(a, &one) && fileIdentity(b, &other) &&
              sameIdentity(one, other);
  if (a != INVALID_HANDLE_VALUE) CloseHandle(a);
  if (b != INVALID_HANDLE_VALUE) CloseHandle(b);
  return same;
}
