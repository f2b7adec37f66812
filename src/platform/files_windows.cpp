#include "platform/files_windows.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdio>
#include <cwctype>
#include <string>

#include "platform/wide_text_windows.h"

namespace {

bool statOpen(FILE* file, struct _stat64* info) {
  return _fstat64(_fileno(file), info) == 0;
}

}  // namespace

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

HANDLE probe(const std::wstring& path) {
  return CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

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

int64_t positionOf(FileStream* file) { return _ftelli64(file->stream); }

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

void holdStandardStreams() {}

std::string standardOutputFailure() {
  DWORD written = 0;
  if (WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "", 0, &written, nullptr)) {
    return std::string();
  }
  return windowsError();
}

std::string filePlaceKey(const char* path) {
  auto identity = [](const std::wstring& wide, std::string* key) {
    HANDLE handle = probe(wide);
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = fileIdentity(handle, &info);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (known) {
      *key = std::to_string(info.dwVolumeSerialNumber) + ":" +
             std::to_string(info.nFileIndexHigh) + ":" +
             std::to_string(info.nFileIndexLow);
    }
    return known;
  };
  const std::wstring wide = widePath(path);
  std::string key;
  if (identity(wide, &key)) return "file " + key;
  // Still to be made: the same name, in any case, in the same folder.
  const size_t separator = wide.find_last_of(L"\\/:");
  const std::wstring folder =
      separator == std::wstring::npos ? L"." : wide.substr(0, separator + 1);
  std::wstring name =
      separator == std::wstring::npos ? wide : wide.substr(separator + 1);
  for (wchar_t& letter : name) letter = towlower(letter);
  if (!name.empty() && identity(folder, &key)) {
    return "name " + key + "/" + utf8FromWide(name.c_str());
  }
  return "path " + std::string(path);
}
