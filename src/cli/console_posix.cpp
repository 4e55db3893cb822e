#include <csignal>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "CliApp.h"
#include "Console.h"

namespace corvanta::cli {

// Ctrl-C and SIGTERM are taken on a thread of their own, where ending the
// waits is safe: the command then closes its ports and exits with 130. A
// second signal does not wait for that.
void WatchCancelSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Blocked before any other thread starts, so all of them inherit it.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals] {
        int received = 0;
        sigwait(&signals, &received);
        RequestCancel();
        sigwait(&signals, &received);
        _exit(kExitCancelled);
    }).detach();
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

} // namespace corvanta::cli
