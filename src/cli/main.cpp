#include <csignal>
#include <iostream>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "CliApp.h"

// Ctrl-C and SIGTERM are taken on a thread of their own, where ending the
// waits is safe: the command then closes its ports and exits with 130. A
// second signal does not wait for that.
static void WatchSignals(sigset_t signals) {
    std::thread([signals] {
        int received = 0;
        sigwait(&signals, &received);
        corvanta::cli::RequestCancel();
        sigwait(&signals, &received);
        _exit(corvanta::cli::kExitCancelled);
    }).detach();
}

int main(int argc, char **argv) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    // Blocked before any other thread starts, so all of them inherit it.
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    WatchSignals(signals);
    std::vector<std::string> args(argv + 1, argv + argc);
    return corvanta::cli::RunCli(args, std::cout, std::cerr);
}
