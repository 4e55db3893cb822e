#pragma once

// The few console matters that differ per OS; CMake picks the file.

namespace corvanta::cli {

// Ctrl-C (and on POSIX SIGTERM) calls RequestCancel once; a second one exits
// at once with kExitCancelled. Call first thing in main, before other threads.
void WatchCancelSignals();

// True when stderr is a terminal, where a progress line may be redrawn.
bool StderrIsTerminal();

} // namespace corvanta::cli
