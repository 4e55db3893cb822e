#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"

namespace corvanta::test {

// What one run of the command line program gave back.
struct CliResult {
    int code;
    std::string out;
    std::string err;
};

// Runs the command line program in this process, as main would with these arguments.
inline CliResult Invoke(const std::vector<std::string> &args) {
    std::ostringstream out, err;
    const int code = cli::RunCli(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace corvanta::test
