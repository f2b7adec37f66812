#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <windows.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/wide_text_windows.h"

namespace {

bool statOpen(FILE* file, struct _stat64* info) {
  return _fstat64(_fileno(file), info) == 0;
}

// The system's identity of an open file: volume and index (the C runtime's
// st_ino is always 0 here).
bool fileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION* identity) {
  return handle != INVALID_HANDLE_VALUE &&
         GetFileInformationByHandle(handle, identity) != 0;
}

}  // namespace

std::string utf8FromWide(const wchar_t* text) {
  int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], length, nullptr,
                      nullptr);
  narrow.resize(static_cast<size_t>(length - 1));
  return narrow;
}

std::wstring widePath(const char* path) {
  int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

FILE* openInputFile(const char* path) {
  FILE* file = _wfopen(widePath(path).c_str(), L"rb");
  if (file == nullptr) return nullptr;
  struct _stat64 info;
  if (statOpen(file, &info) && (info.st_mode & _S_IFMT) == _S_IFDIR) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

FILE* openOutputFile(const char* path) {
  return _wfopen(widePath(path).c_str(), L"wb");
}

bool removeFile(const char* path) {
  return _wremove(widePath(path).c_str()) == 0;
}

bool seekTo(FILE* file, int64_t offset) {
  if (offset < 0) return false;
  return _fseeki64(file, offset, SEEK_SET) == 0;
}

int64_t streamLength(FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
}

bool isRegularFile(FILE* file) {
  struct _stat64 info;
  return statOpen(file, &info) && (info.st_mode & _S_IFMT) == _S_IFREG;
}

bool isRemovableOutput(FILE* output, const char* path) {
  if (!isRegularFile(output)) return false;
  DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

bool isSameFile(FILE* file, const char* path) {
  // The wide path: a narrow call would read the UTF-8 bytes in the ANSI code
  // page and miss the file whenever its name is not plain ASCII.
  HANDLE other =
      CreateFileW(widePath(path).c_str(), 0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  HANDLE own = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  bool same = fileIdentity(own, &a) && fileIdentity(other, &b) &&
              a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
              a.nFileIndexHigh == b.nFileIndexHigh &&
              a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
}
