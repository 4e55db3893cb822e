#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Profile.h"
#include "Report.h"
#include "Session.h"

namespace corvanta::cli {

// A write with its value checked.
struct ParsedWrite {
    std::string what;        // channel, rf-baud, serial, id, power
    int value = 0;           // channel, ID or power level
    std::uint32_t rate = 0;  // air or serial baud rate
    std::uint8_t parity = 0; // serial parity
};

using SearchOrder = std::vector<std::pair<std::uint32_t, std::uint8_t>>;

// Each returns an exit code; what it found goes into report, what went wrong
// to the session's err.
int RunRead(Session &session, const std::string &what, std::chrono::milliseconds timeout, Report &report);
int RunWrite(Session &session, const ParsedWrite &write, std::chrono::milliseconds timeout, bool verify,
             Report &report);
int RunSearch(Session &session, const SearchOrder &order, std::chrono::milliseconds interval, bool showProgress,
              Report &report);
int RunProfileApply(Session &session, const Profile &profile, std::chrono::milliseconds timeout, bool verify,
                    Report &report);

// Every combination from the starting one up to 115200 even, parity fastest.
SearchOrder SearchOrderFrom(std::uint32_t rate, std::uint8_t parity);

} // namespace corvanta::cli
