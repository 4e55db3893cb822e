#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <variant>
#include <vector>

#include "Commands.h"
#include "Profile.h"
#include "Session.h"

namespace corvanta::cli {

enum class Command { Ports, Read, Write, Search, ProfileSave, ProfileApply };

// A command line with every argument and value checked.
struct CliRequest {
    Command command = Command::Ports;
    std::vector<std::string> ports; // one module per port, run side by side
    bool simulate = false;
    std::uint32_t baud = 9600; // the PC side's line
    std::uint8_t parity = 0;
    std::chrono::milliseconds timeout{1000};
    bool json = false;
    bool verify = true;
    std::string readWhat;
    ParsedWrite write;
    SearchOrder searchOrder;
    std::chrono::milliseconds interval{800};
    std::string profilePath;
    Profile profile;
};

// Parses and checks the arguments (without the program name), a profile to
// apply included; opens and sends nothing. A request, or the exit code when
// there is nothing to run (help, or bad arguments, whose message went to err).
std::variant<CliRequest, int> ParseCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// Runs a checked request against its port or ports and prints the result.
int ExecuteCli(const CliRequest &request, std::ostream &out, std::ostream &err);

// Runs corvanta-cli with args (without the program name), writing results
// to out and messages to err. Returns the exit code.
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// Ctrl-C: every wait ends, ports close, the command exits with 130. Any thread.
void RequestCancel();

} // namespace corvanta::cli
