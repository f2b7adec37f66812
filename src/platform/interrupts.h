// Interruption: Ctrl+C, a terminal closed, a kill, a reader gone from the
// pipe. The tool's temporaries are removed and the process then ends as the
// interruption asked, so that shells, make and xargs see it.
#ifndef QUILLORN_PLATFORM_INTERRUPTS_H_
#define QUILLORN_PLATFORM_INTERRUPTS_H_

// How many temporaries can be guarded at once: every tile of the largest
// tiling (1024) and its world file, the picture, and one to spare (the
// size file of an untiled run).
constexpr int kMaxGuardedFiles = 2050;

// Installs the handlers, once per process, and ends what settleInterrupts
// began: on POSIX SIGINT, SIGTERM, SIGHUP and SIGPIPE remove every guarded
// temporary and end the process by the same signal, and SIGXFSZ is ignored
// (an over-limit write then fails like any other); on Windows a console
// control handler removes them and exits with status -1.
void installInterruptHandlers();

// Guards path (a temporary file the tool created): an interruption removes
// it. Returns the guard, or -1 when every slot is taken or the path is too
// long to keep (then the path is simply not guarded).
int guardTemporaryFile(const char* path);

// Stops guarding: from now on an interruption leaves the path alone. Safe
// with -1.
void releaseGuard(int guard);

// Holds interruptions back while a few calls complete as one step (the
// renames of every output and the release of their guards); they are
// delivered at the outermost unblockInterrupts.
void blockInterrupts();
void unblockInterrupts();

// Every output is in place: from now until the next installInterruptHandlers
// an interruption, held back or new, no longer ends the process, so that a
// run whose outputs are all new ends with its own status. Call it inside a
// block, before the outermost unblock delivers what was held.
void settleInterrupts();

#endif  // QUILLORN_PLATFORM_INTERRUPTS_H_
