#include "platform/outputs.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/interrupts.h"
#include "platform/outputs_system.h"
#include "platform/replacement_lock.h"

// What both systems share: the order of closing, renaming and putting back.

char nameLetter(uint64_t* seed) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  *seed = *seed * 6364136223846793005ull + 1442695040888963407ull;
  return kLetters[(*seed >> 33) % 36];
}

namespace {

// Flushes and closes an output (in place, cutting it to what was written);
// on failure it is discarded.
bool closeOutput(OutputFile* output) {
  if (output->closed) return true;
  FileStream& file = output->file;
  output->wroteBytes = positionOf(&file) > 0;
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
  output->closed = closed;
  return closed;
}

// Renames a closed output's temporary over its final file; called with
// interruptions held back, so that the handler never removes the path once
// it names the finished output.
bool placeOutput(OutputFile* output) {
  if (output->mode != OutputMode::kReplace) return true;
  if (!renameOver(output->temporaryPath, output->finalPath,
                  &output->file.failure)) {
    output->file.systemFailure = true;
    return false;
  }
  releaseGuard(output->guard);
  output->guard = -1;
  output->temporaryPath.clear();
  return true;
}

// Keeps the file an output is about to replace reachable under a hidden
// hard link, in case a later output fails.
void keepOldContent(OutputFile* output, std::string* reason) {
  if (output->mode != OutputMode::kReplace || !output->replacesFile) return;
  if (!linkAside(output->finalPath, &output->backupPath, reason)) {
    output->backupPath.clear();
  }
}

// Undoes placeOutput after a later output failed: the old content goes back
// under the final name, or a file that was new goes. keepReason says why
// no old content was kept, where none was.
void putBack(OutputFile* output, const std::string& keepReason) {
  // A device has no old content to put back.
  if (output->mode == OutputMode::kDevice) return;
  std::string reason;
  FileStream& file = output->file;
  auto note = [&](const std::string& what) {
    file.failure += (file.failure.empty() ? "" : "; ") + what;
    file.systemFailure = true;
  };
  if (output->mode == OutputMode::kInPlace) {
    note("rewritten in place, it keeps its new content");
  } else if (!output->backupPath.empty()) {
    if (renameOver(output->backupPath, output->finalPath, &reason)) {
      output->backupPath.clear();
    } else {
      note("the old content could not be put back (" + reason +
           "); it is kept as " + output->backupPath);
    }
  } else if (!output->replacesFile) {
    if (!removePath(output->finalPath, &reason)) {
      note("the new file could not be removed: " + reason);
    }
  } else {
    note("replaced, as its old content could not be kept (" + keepReason + ")");
  }
}

// Drops the hard link to an old content once every output is in place.
void dropBackup(OutputFile* output) {
  std::string reason;
  if (!output->backupPath.empty() && !removePath(output->backupPath, &reason)) {
    output->file.failure = "cannot remove the old content's link " +
                           output->backupPath + ": " + reason;
  }
  output->backupPath.clear();
}

}  // namespace

void (*beforeLaterReplacement)(int index) = nullptr;

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
  // Another run replacing the same names waits for these renames to end,
  // and these for its: the files replaced together come from one run. Taken
  // before the block, so that an interruption can end the wait.
  ReplacementLock lock;
  for (int index = 0; index < count; ++index) {
    if (outputs[index]->mode == OutputMode::kReplace) {
      lockReplacement(outputs[index]->finalPath, &lock);
      break;
    }
  }
  // One block around every rename: an interruption is delivered once all
  // outputs are in place, or all are put back.
  blockInterrupts();
  std::vector<std::string> keepReasons(static_cast<size_t>(count));
  int placed = 0;
  for (; placed < count; ++placed) {
    if (placed > 0 && beforeLaterReplacement != nullptr) {
      beforeLaterReplacement(placed);
    }
    // The last output has none after it that could fail.
    if (placed + 1 < count) {
      keepOldContent(outputs[placed],
                     &keepReasons[static_cast<size_t>(placed)]);
    }
    if (!placeOutput(outputs[placed])) break;
  }
  if (placed == count) {
    for (int index = 0; index < count; ++index) dropBackup(outputs[index]);
    // All new: what was held back, or comes now, cannot undo that.
    settleInterrupts();
  } else {
    *failed = placed;
    // The failed output's own file was never replaced.
    dropBackup(outputs[placed]);
    for (int other = placed; other < count; ++other) {
      discardOutputFile(outputs[other]);
    }
    for (int other = placed - 1; other >= 0; --other) {
      putBack(outputs[other], keepReasons[static_cast<size_t>(other)]);
    }
  }
  unblockInterrupts();
  unlockReplacement(&lock);
  return placed < count ? OutputCommit::kReplaceFailed
                        : OutputCommit::kCommitted;
}

bool closeOutputFile(OutputFile* output) { return closeOutput(output); }

OutputCommit commitOutputFile(OutputFile* output) {
  int failed = 0;
  return commitOutputFiles(&output, 1, &failed);
}

void discardOutputFile(OutputFile* output) {
  FileStream& file = output->file;
  bool overwritten = output->closed && output->wroteBytes;
  if (file.stream != nullptr) {
    overwritten = positionOf(&file) > 0;
    std::fclose(file.stream);
    file.stream = nullptr;
  }
  output->closed = false;
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
