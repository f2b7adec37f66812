// Files through the C runtime's binary streams, with 64-bit offsets on every
// system. Paths are UTF-8 everywhere, Windows included (where they are
// widened for the system's calls). The POSIX and Windows halves live in
// files_posix.cpp and files_windows.cpp; the build picks one.
#ifndef QUILLORN_PLATFORM_FILES_H_
#define QUILLORN_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Opens path for binary reading; nullptr when it cannot be opened or names a
// directory (which some systems let fopen open), with errno set.
FILE* openInputFile(const char* path);

// Opens path for binary writing, creating it or truncating it; nullptr on
// failure.
FILE* openOutputFile(const char* path);

// Moves the stream to byte offset (>= 0) from its start; false on failure.
bool seekTo(FILE* file, int64_t offset);

// The stream's total length in bytes, or -1 when it cannot be determined.
// Leaves the position unspecified.
int64_t streamLength(FILE* file);

// Reads exactly size bytes into buffer; false on a short read or an error.
bool readExact(FILE* file, uint8_t* buffer, size_t size);

// Writes exactly size bytes from buffer; false on a short write or an error.
bool writeExact(FILE* file, const uint8_t* buffer, size_t size);

// True when the open stream is a regular file (not a device, pipe or
// directory).
bool isRegularFile(FILE* file);

// True when the open output may be deleted after a failed conversion: a
// regular file reached by path itself, not a device and not a symbolic link
// (whose target would survive and the link be lost).
bool isRemovableOutput(FILE* output, const char* path);

// True when path exists and is the same file as the open stream: the same
// path, another spelling of it, a hard link or a symbolic link to it.
bool isSameFile(FILE* file, const char* path);

// Deletes the file at path; false when it cannot.
bool removeFile(const char* path);

// The system's text for errno, e.g. "No space left on device"; empty when
// errno is 0.
std::string lastSystemError();

#endif  // QUILLORN_PLATFORM_FILES_H_
