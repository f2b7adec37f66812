#include "image/file_stream.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

#ifdef _WIN32
namespace {

// UTF-16 for a UTF-8 path, as the wide Windows calls want it.
std::wstring widePath(const char* path) {
  int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}

FILE* openFile(const char* path, const wchar_t* mode) {
  return _wfopen(widePath(path).c_str(), mode);
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
#else
namespace {

FILE* openFile(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

}  // namespace
#endif

#ifdef _WIN32
#define QUILLORN_MODE(text) L##text
#else
#define QUILLORN_MODE(text) text
#endif

FILE* openInputFile(const char* path) {
  FILE* file = openFile(path, QUILLORN_MODE("rb"));
  if (file == nullptr) return nullptr;
#ifdef _WIN32
  struct _stat64 info;
  bool isDirectory = _fstat64(_fileno(file), &info) == 0 &&
                     (info.st_mode & _S_IFMT) == _S_IFDIR;
#else
  struct stat info;
  bool isDirectory = fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
#endif
  if (isDirectory) {
    std::fclose(file);
    errno = EISDIR;
    return nullptr;
  }
  return file;
}

FILE* openOutputFile(const char* path) {
  return openFile(path, QUILLORN_MODE("wb"));
}

bool removeFile(const char* path) {
#ifdef _WIN32
  return _wremove(widePath(path).c_str()) == 0;
#else
  return std::remove(path) == 0;
#endif
}

bool seekTo(FILE* file, int64_t offset) {
  if (offset < 0) return false;
#ifdef _WIN32
  return _fseeki64(file, offset, SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

int64_t streamLength(FILE* file) {
#ifdef _WIN32
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
#else
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return static_cast<int64_t>(ftello(file));
#endif
}

bool readExact(FILE* file, uint8_t* buffer, size_t size) {
  return std::fread(buffer, 1, size, file) == size;
}

bool writeExact(FILE* file, const uint8_t* buffer, size_t size) {
  return std::fwrite(buffer, 1, size, file) == size;
}

bool isRegularFile(FILE* file) {
#ifdef _WIN32
  struct _stat64 info;
  return _fstat64(_fileno(file), &info) == 0 &&
         (info.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat info;
  return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

bool isRemovableOutput(FILE* output, const char* path) {
  if (!isRegularFile(output)) return false;
#ifdef _WIN32
  DWORD attributes = GetFileAttributesW(widePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
#else
  struct stat info;
  return lstat(path, &info) == 0 && S_ISREG(info.st_mode);
#endif
}

bool isSameFile(FILE* file, const char* path) {
#ifdef _WIN32
  // The C runtime's st_ino is always 0 here; ask the system for the file's
  // volume serial number and index instead.
  HANDLE other = CreateFileA(
      path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  HANDLE own = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  bool same = GetFileInformationByHandle(own, &a) &&
              GetFileInformationByHandle(other, &b) &&
              a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
              a.nFileIndexHigh == b.nFileIndexHigh &&
              a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
#else
  struct stat own;
  struct stat other;
  if (fstat(fileno(file), &own) != 0) return false;
  if (stat(path, &other) != 0) return false;
  return own.st_dev == other.st_dev && own.st_ino == other.st_ino;
#endif
}

std::string lastSystemError() {
  if (errno == 0) return std::string();
  return std::strerror(errno);
}

std::string withSystemReason(const std::string& what) {
  std::string reason = lastSystemError();
  return reason.empty() ? what : what + ": " + reason;
}
