#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace corvanta::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitNoReply = 1, // no reply in time, or a search without answer
    kExitUsage = 2,   // bad arguments or values; nothing was sent
    kExitPort = 3,    // the port cannot be opened or written
};

enum class Command { Ports, Read, Write, Search };

// A write with its values checked.
struct ParsedWrite {
    std::string what;        // channel, rf-baud, serial, id, power
    int value = 0;           // channel, ID or power level
    std::uint32_t rate = 0;  // air or serial baud rate
    std::uint8_t parity = 0; // serial parity
};

// A command line with every argument and value checked.
struct CliRequest {
    Command command = Command::Ports;
    std::string port;
    bool simulate = false;
    std::uint32_t baud = 9600; // the PC side's line
    std::uint8_t parity = 0;
    std::chrono::milliseconds timeout{1000};
    bool json = false;
    std::string readWhat;
    ParsedWrite write;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> searchOrder;
    std::chrono::milliseconds interval{800};
};

// Parses and checks the arguments (without the program name); opens and
// sends nothing. A request, or the exit code when there is nothing to run
// (help, or bad arguments, whose message went to err).
std::variant<CliRequest, int> ParseCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// Runs a checked request against its port and prints the result.
int ExecuteCli(const CliRequest &request, std::ostream &out, std::ostream &err);

// Runs corvanta-cli with args (without the program name), writing results
// to out and messages to err. Returns the exit code.
int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace corvanta::cli
