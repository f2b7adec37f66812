// Files through the C runtime's binary streams, with 64-bit offsets on every
// system, and outputs that replace an existing file only once they are
// complete. Paths are UTF-8 everywhere, Windows included (where they are
// widened for the system's calls). The POSIX and Windows halves live in
// files_posix.cpp and files_windows.cpp; the build picks one.
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

// True when the two paths are the same text, or name the same existing file.
bool pathsNameSameFile(const char* first, const char* second);

// True when path exists and is the same file as the open stream: the same
// path, another spelling of it, a hard link or a symbolic link to it.
bool isSameFile(const FileStream& file, const char* path);

// How an output reaches its place.
enum class OutputMode {
  kReplace,  // a hidden temporary beside the final file, renamed over it
  kInPlace,  // the existing file itself (no temporary could be created)
  kDevice,   // not a regular file (a device, a pipe): written directly
};

// An output being written: file is what the bytes go to, named by the path
// the user gave.
struct OutputFile {
  FileStream file;
  OutputMode mode = OutputMode::kReplace;
  std::string finalPath;       // the file replaced: a symbolic link's target
  std::string temporaryPath;   // with kReplace: the hidden temporary
  std::string fallbackReason;  // with kInPlace: why no temporary was made
  bool replacesFile = false;   // a regular file stood at finalPath
  int guard = -1;              // the interruption guard of the temporary
  std::string backupPath;      // while committing: a hidden hard link to the
                               // replaced file, to put back if a later output
                               // fails
  bool closed = false;         // flushed and closed whole, not yet renamed
  bool wroteBytes = false;     // once closed: something was written to it
};

// How opening an output went.
enum class OutputOpening {
  kOpened,
  kIsStandardOutput,  // the same file or pipe as the tool's standard output
  kFailed,            // output->file.failure says why
};

// Prepares path for writing without touching what is there: a regular file
// (or none yet) gets a hidden temporary in the final file's folder, created
// exclusively, with the permission bits the result will have (the replaced
// file's, or those of a new file) and, where allowed, its owner; the
// temporary is removed if the process is interrupted. A folder that takes no
// new file falls back to the existing file itself, opened without
// truncation (kInPlace). Devices and pipes are opened for writing directly.
// Refuses a directory, an existing file the user may not write, and the
// tool's own standard output (a device such as /dev/null may be both).
OutputOpening openOutputFile(const char* path, OutputFile* output);

// How finishing an output went.
enum class OutputCommit {
  kCommitted,
  kWriteFailed,    // the last bytes could not be flushed, or the close failed
  kReplaceFailed,  // the finished temporary could not be renamed into place
};

// Finishes the output: flushes and closes it, then renames the temporary
// over the final file, or, in place, cuts the file to what was written.
// When any of it fails, output->file.failure says why and the output is
// discarded as by discardOutputFile.
OutputCommit commitOutputFile(OutputFile* output);

// Flushes and closes a whole output ahead of its commit (in place, cutting
// it to what was written), so that many outputs need not stay open; the
// commit then only renames it. On failure it is discarded, failure says why.
bool closeOutputFile(OutputFile* output);

// Finishes several outputs as one: every one is flushed and closed before
// any is renamed into place, and the renames happen with interruptions held
// back, so that an interruption finds all of them replaced or none. When a
// rename fails, the outputs renamed before it are put back as they were:
// each replaced file's old content is kept under a hidden hard link until
// every output is in place, and a new file is removed. Not put back: an
// output rewritten in place and a replaced file of which no hard link could
// be made (failure says so), and a device. *failed is the index of the
// output that failed. Once every output is in place, interruptions are
// settled (settleInterrupts): one held back or later no longer ends the
// process.
OutputCommit commitOutputFiles(OutputFile* const* outputs, int count,
                               int* failed);

// For tests: when set, called with interruptions held back just before each
// output but the first is renamed into place, with its index.
extern void (*beforeLaterReplacement)(int index);

// Abandons the output: closes it and removes the temporary, so that an
// existing file keeps its bytes. In place, an output already overwritten is
// removed, or emptied when it cannot be. Devices are never removed. Adds to
// output->file.failure what could not be cleaned up.
void discardOutputFile(OutputFile* output);

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
