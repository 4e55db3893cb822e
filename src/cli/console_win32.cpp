#include <atomic>
#include <cstdlib>
#include <windows.h>

#include "CliApp.h"
#include "Console.h"

namespace corvanta::cli {
namespace {

std::atomic<int> interrupts{0};

// Windows runs this on a thread of its own, where ending the waits is safe:
// the command then closes its ports and exits with 130. A second Ctrl-C
// does not wait for that.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    if (interrupts.fetch_add(1) == 0)
        RequestCancel();
    else
        std::_Exit(kExitCancelled);
    return TRUE;
}

} // namespace

void WatchCancelSignals() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

// A redirected stderr is a file or pipe, which has no console mode.
bool StderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace corvanta::cli
