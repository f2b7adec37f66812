#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/files_windows.h"
#include "platform/interrupts.h"
#include "platform/outputs.h"
#include "platform/outputs_system.h"
#include "platform/wide_text_windows.h"

namespace {

// Longest file name NTFS takes, in UTF-16 units.
constexpr size_t kNameMax = 255;
// The temporary's name: "." + the final name + "." + six characters.
constexpr size_t kTemporaryExtra = 8;
// Names tried before giving up on a folder full of our temporaries.
constexpr int kTemporaryAttempts = 100;

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

bool cutAtPosition(FILE* stream, std::string* reason) {
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  if (SetEndOfFile(handle)) return true;
  *reason = windowsError();
  return false;
}
