// An advisory lock around the replacement of a run's outputs, so that runs
// writing the same names at once never leave a set of tiles mixed from two
// of them: each run's renames happen while no other run's do.
#ifndef QUILLORN_PLATFORM_REPLACEMENT_LOCK_H_
#define QUILLORN_PLATFORM_REPLACEMENT_LOCK_H_

#include <cstdint>
#include <string>

// A held lock, or none (handle -1).
struct ReplacementLock {
  intptr_t handle = -1;
};

// Waits for, then takes, the lock of the folder that holds path, shared by
// every run of the tool on this machine that replaces files there (an
// interruption ends the wait as it ends the run). False, holding nothing,
// where the folder takes no lock (one that cannot be opened, a file system
// without locks): the replacement then goes on unlocked, as it always may.
bool lockReplacement(const std::string& path, ReplacementLock* lock);

// Releases a lock taken by lockReplacement; safe with none held.
void unlockReplacement(ReplacementLock* lock);

#endif  // QUILLORN_PLATFORM_REPLACEMENT_LOCK_H_
