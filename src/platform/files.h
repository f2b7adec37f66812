// Files through the C runtime's binary streams, with 64-bit offsets on every
// system. Paths are UTF-8 everywhere, Windows included (where they are
// widened for the system's calls). The POSIX and Windows halves live in
// files_posix.cpp and files_windows.cpp; the build picks one. Outputs that
// replace a file only once complete: outputs.h.
#ifndef QUILLORN_PLATFORM_FILES_H_
#define QUILLORN_PLATFORM_FILES_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// An open file, the path the user named it by (for messages), and why its
// last operation failed, in the system's words or in the tool's own ("read
// ended after 12 of 40 bytes"); failure is "" until something fails.
struct FileStream {
  FILE* stream = nullptr;
  std::string path;
  std::string failure;
  bool systemFailure = false;  // failure is the system's reason (errno's)
};

// What a file was like when first seen: enough to tell that it has been
// rewritten since.
struct FileStamp {
  int64_t size = -1;
  int64_t modified = 0;  // modification time, in the system's finest unit
};

// Opens path for binary reading. False when it cannot be opened or names a
// directory, with file->failure saying why.
bool openInputFile(const char* path, FileStream* file);

// What the open file is when no height map can be read from it, for the
// message: "a character device" (/dev/zero, a terminal); "" for a regular
// file, and for block devices and pipes, which are read as files are.
std::string unreadableKind(const FileStream& file);

// Closes the stream, if open; a failure to close is recorded, not returned.
void closeInputFile(FileStream* file);

// Moves the stream to byte offset (>= 0) from its start.
bool seekTo(FileStream* file, int64_t offset);

// The stream's total length in bytes, or -1 when it cannot be determined.
// Leaves the position unspecified.
int64_t streamLength(FileStream* file);

// The open file's size and modification time now ({-1, 0} when unknown).
FileStamp stampOf(const FileStream& file);

// Reads exactly size bytes into buffer; false on a short read or an error.
bool readExact(FileStream* file, uint8_t* buffer, size_t size);

// Reads up to size bytes into buffer: how many were read (fewer only at the
// end of the file), or -1 after an error (file->failure says which).
int64_t readSome(FileStream* file, uint8_t* buffer, size_t size);

// The stream's position in bytes from its start, or -1.
int64_t positionOf(FileStream* file);

// Writes exactly size bytes from buffer; false on a short write or an error.
bool writeExact(FileStream* file, const uint8_t* buffer, size_t size);

// The messages for failed reads of the input and writes of the output: the
// system's reason follows where the system gave one (file.failure holds
// the whole story for standard error).
std::string inputReadError(const FileStream& input);
std::string outputWriteError(const FileStream& output);

// True when the two paths are the same text, or name the same file: the same
// existing one, or one still to be made, the same name in the same folder
// (spelled another way, or reached through symbolic links).
bool pathsNameSameFile(const char* first, const char* second);

// A text naming the file path names, the same for two paths exactly when
// they name the same file as pathsNameSameFile takes it: an existing file's
// identity, else its folder's identity and its name (on Windows in any
// case), else the path itself when not even the folder exists.
std::string filePlaceKey(const char* path);

// True when path exists and is the same file as the open stream: the same
// path, another spelling of it, a hard link or a symbolic link to it.
bool isSameFile(const FileStream& file, const char* path);

// The system's text for errno, e.g. "No space left on device"; empty when
// errno is 0.
std::string lastSystemError();

// Keeps the standard descriptors taken: one that was closed is opened on
// the null device for reading, so that a write to it still fails as on a
// closed one and no file the tool opens takes its place (the image would
// then share it with the progress lines). Nothing to do on Windows.
void holdStandardStreams();

// Why the standard output takes no more bytes, in the system's words ("No
// space left on device", "Bad file descriptor"); "" when it takes them or
// the system does not say (a full disk, for a regular file).
std::string standardOutputFailure();

#endif  // QUILLORN_PLATFORM_FILES_H_
