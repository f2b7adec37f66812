#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstring>

#include "platform/interrupts.h"

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// The guarded paths. A slot is written only while the signals are blocked,
// so the handler sees each one either empty or whole.
char guardedPaths[kMaxGuardedFiles][PATH_MAX + 1];
volatile sig_atomic_t guardedInUse[kMaxGuardedFiles];

// Blocks nest: only the outermost unblock lets the signals through.
int blockDepth = 0;

// Set once every output is in place: the handler then lets the run finish.
volatile sig_atomic_t settled = 0;

sigset_t interruptSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kSignals) sigaddset(&set, number);
  return set;
}

// Only async-signal-safe calls: unlink, signal, raise.
extern "C" void onInterrupt(int number) {
  // The outputs are new and no temporary is left: ending by the signal now
  // would only report a failure that did not happen.
  if (settled) return;
  for (int slot = 0; slot < kMaxGuardedFiles; ++slot) {
    if (guardedInUse[slot]) unlink(guardedPaths[slot]);
  }
  signal(number, SIG_DFL);
  raise(number);
}

}  // namespace

void installInterruptHandlers() {
  settled = 0;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onInterrupt;
  // The signal itself stays blocked in the handler; raise() delivers it
  // again once the handler returns, now with the default action.
  action.sa_mask = interruptSet();
  for (int number : kSignals) {
    struct sigaction previous;
    // A signal ignored by whoever started the tool (nohup) stays ignored.
    if (sigaction(number, nullptr, &previous) == 0 &&
        previous.sa_handler == SIG_IGN && number != SIGPIPE) {
      continue;
    }
    sigaction(number, &action, nullptr);
  }
  signal(SIGXFSZ, SIG_IGN);
}

void blockInterrupts() {
  if (blockDepth++ > 0) return;
  sigset_t set = interruptSet();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void unblockInterrupts() {
  if (blockDepth == 0 || --blockDepth > 0) return;
  sigset_t set = interruptSet();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

int guardTemporaryFile(const char* path) {
  size_t length = std::strlen(path);
  if (length > PATH_MAX) return -1;
  blockInterrupts();
  int guard = -1;
  for (int slot = 0; slot < kMaxGuardedFiles; ++slot) {
    if (!guardedInUse[slot]) {
      std::memcpy(guardedPaths[slot], path, length + 1);
      guardedInUse[slot] = 1;
      guard = slot;
      break;
    }
  }
  unblockInterrupts();
  return guard;
}

void releaseGuard(int guard) {
  if (guard < 0 || guard >= kMaxGuardedFiles) return;
  blockInterrupts();
  guardedInUse[guard] = 0;
  unblockInterrupts();
}

void settleInterrupts() { settled = 1; }
