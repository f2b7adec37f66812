#include "platform/files.h"

#include <cerrno>
#include <cstring>

#include "platform/files_system.h"
#include "platform/interrupts.h"

// What both systems share: the C runtime's streams and its error texts.

void closeInputFile(FileStream* file) {
  if (file->stream == nullptr) return;
  if (std::fclose(file->stream) != 0) {
    file->failure = lastSystemError();
    file->systemFailure = true;
  }
  file->stream = nullptr;
}

bool readExact(FileStream* file, uint8_t* buffer, size_t size) {
  errno = 0;
  size_t got = std::fread(buffer, 1, size, file->stream);
  if (got == size) return true;
  file->systemFailure = std::ferror(file->stream) && errno != 0;
  if (file->systemFailure) {
    file->failure = lastSystemError();
  } else {
    file->failure = "read ended after " + std::to_string(got) + " of " +
                    std::to_string(size) + " bytes";
  }
  return false;
}

int64_t readSome(FileStream* file, uint8_t* buffer, size_t size) {
  errno = 0;
  size_t got = std::fread(buffer, 1, size, file->stream);
  if (got == size || !std::ferror(file->stream)) {
    return static_cast<int64_t>(got);
  }
  file->systemFailure = errno != 0;
  file->failure = errno != 0 ? lastSystemError() : "read failed";
  return -1;
}

int64_t positionOf(FileStream* file) { return streamPosition(file->stream); }

bool writeExact(FileStream* file, const uint8_t* buffer, size_t size) {
  errno = 0;
  if (std::fwrite(buffer, 1, size, file->stream) == size) return true;
  file->systemFailure = errno != 0;
  file->failure = errno != 0 ? lastSystemError() : "short write";
  return false;
}

std::string lastSystemError() {
  if (errno == 0) return std::string();
  return std::strerror(errno);
}

namespace {

// Flushes and closes an output (in place, cutting it to what was written);
// on failure it is discarded.
bool closeOutput(OutputFile* output) {
  FileStream& file = output->file;
  errno = 0;
  bool flushed = std::fflush(file.stream) == 0;
  if (!flushed) file.failure = lastSystemError();
  if (flushed && output->mode == OutputMode::kInPlace) {
    flushed = cutAtPosition(file.stream, &file.failure);
  }
  errno = 0;
  bool closed = flushed && std::fclose(file.stream) == 0;
  if (flushed) {
    file.stream = nullptr;
    if (!closed) file.failure = lastSystemError();
  }
  if (!closed) {
    file.systemFailure = true;
    discardOutputFile(output);
  }
  return closed;
}

// Renames a closed output's temporary over its final file. The rename and
// the end of the guard are one step for the interruption handler: it must
// never remove the path once it names the finished output.
bool placeOutput(OutputFile* output) {
  if (output->mode != OutputMode::kReplace) return true;
  blockInterrupts();
  bool renamed = renameOver(output->temporaryPath, output->finalPath,
                            &output->file.failure);
  if (renamed) {
    releaseGuard(output->guard);
    output->guard = -1;
    output->temporaryPath.clear();
  }
  unblockInterrupts();
  if (!renamed) output->file.systemFailure = true;
  return renamed;
}

}  // namespace

OutputCommit commitOutputFiles(OutputFile* const* outputs, int count,
                               int* failed) {
  for (int index = 0; index < count; ++index) {
    if (!closeOutput(outputs[index])) {
      *failed = index;
      for (int other = 0; other < count; ++other) {
        if (other != index) discardOutputFile(outputs[other]);
      }
      return OutputCommit::kWriteFailed;
    }
  }
  for (int index = 0; index < count; ++index) {
    if (!placeOutput(outputs[index])) {
      *failed = index;
      for (int other = index; other < count; ++other) {
        discardOutputFile(outputs[other]);
      }
      return OutputCommit::kReplaceFailed;
    }
  }
  return OutputCommit::kCommitted;
}

OutputCommit commitOutputFile(OutputFile* output) {
  int failed = 0;
  return commitOutputFiles(&output, 1, &failed);
}

void discardOutputFile(OutputFile* output) {
  FileStream& file = output->file;
  bool overwritten = false;
  if (file.stream != nullptr) {
    overwritten = streamPosition(file.stream) > 0;
    std::fclose(file.stream);
    file.stream = nullptr;
  }
  auto note = [&](const std::string& what) {
    file.failure += (file.failure.empty() ? "" : "; ") + what;
  };
  std::string reason;
  if (output->mode == OutputMode::kReplace && !output->temporaryPath.empty()) {
    if (!removePath(output->temporaryPath, &reason)) {
      note("cannot remove the temporary " + output->temporaryPath + ": " +
           reason);
    }
    releaseGuard(output->guard);
    output->guard = -1;
    output->temporaryPath.clear();
  } else if (output->mode == OutputMode::kInPlace && overwritten &&
             !removePath(output->finalPath, &reason)) {
    // Neither the old content nor a whole new one: an empty file says so
    // more honestly than a header that promises pixels.
    note(emptyPath(output->finalPath)
             ? "the incomplete output could not be removed (" + reason +
                   ") and was emptied"
             : "the incomplete output could not be removed: " + reason);
  }
}
