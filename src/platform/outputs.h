// Outputs that replace an existing file only once they are complete: each
// written to a hidden temporary beside its final file (or, where the folder
// takes no new file, to the file itself), then committed, several at once,
// or discarded; a failed commit puts back what it had replaced. The POSIX
// and Windows halves live in outputs_posix.cpp and outputs_windows.cpp; the
// build picks one.
#ifndef QUILLORN_PLATFORM_OUTPUTS_H_
#define QUILLORN_PLATFORM_OUTPUTS_H_

#include <string>

#include "platform/files.h"

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

#endif  // QUILLORN_PLATFORM_OUTPUTS_H_
