#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/interrupts.h"
#include "platform/wide_text_windows.h"

namespace {

// The guarded paths; the handler runs on a thread of its own, so every
// access is under the lock.
struct GuardLock {
  GuardLock() { InitializeCriticalSection(&section); }
  CRITICAL_SECTION section;
};
GuardLock lock;
CRITICAL_SECTION& guardLock = lock.section;
std::wstring guardedPaths[kMaxGuardedFiles];
bool guardedInUse[kMaxGuardedFiles];
bool settled = false;  // every output in place: the run ends by itself

BOOL WINAPI onControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  EnterCriticalSection(&guardLock);
  // The outputs are new: exiting with -1 would report a failure that did
  // not happen, so the run finishes with its own status.
  if (settled) {
    LeaveCriticalSection(&guardLock);
    return TRUE;
  }
  for (int slot = 0; slot < kMaxGuardedFiles; ++slot) {
    // The temporaries are opened for shared deletion: they go once the
    // process's handles close.
    if (guardedInUse[slot]) DeleteFileW(guardedPaths[slot].c_str());
  }
  // Holding the lock, no rename can follow the removal.
  ExitProcess(static_cast<UINT>(-1));
}

}  // namespace

void installInterruptHandlers() {
  EnterCriticalSection(&guardLock);
  settled = false;
  LeaveCriticalSection(&guardLock);
  static bool installed = false;
  if (installed) return;
  installed = true;
  SetConsoleCtrlHandler(onControl, TRUE);
}

int guardTemporaryFile(const char* path) {
  std::wstring wide = widePath(path);
  EnterCriticalSection(&guardLock);
  int guard = -1;
  for (int slot = 0; slot < kMaxGuardedFiles; ++slot) {
    if (!guardedInUse[slot]) {
      guardedPaths[slot] = wide;
      guardedInUse[slot] = true;
      guard = slot;
      break;
    }
  }
  LeaveCriticalSection(&guardLock);
  return guard;
}

void releaseGuard(int guard) {
  if (guard < 0 || guard >= kMaxGuardedFiles) return;
  EnterCriticalSection(&guardLock);
  guardedInUse[guard] = false;
  LeaveCriticalSection(&guardLock);
}

// The lock is re-entrant for its owner, so a release inside a block works.
void blockInterrupts() { EnterCriticalSection(&guardLock); }

void unblockInterrupts() { LeaveCriticalSection(&guardLock); }

void settleInterrupts() {
  EnterCriticalSection(&guardLock);
  settled = true;
  LeaveCriticalSection(&guardLock);
}
