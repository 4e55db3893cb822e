#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace corvanta::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitNoReply = 1, // no reply in time, or a search without answer
    kExitUsage = 2,   // bad arguments or values; nothing was sent
    kExitPort = 3,    // the port cannot be opened or written
};

// Runs corvanta-cli with args (without the program name), writing results
// to out and messages to err. Returns the exit code.
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace corvanta::cli
