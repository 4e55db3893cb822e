#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace corvanta::sim {

// What a module remembers. Rates are in bit/s.
struct ModuleState {
    std::uint32_t baud = 9600; // its own UART
    std::uint8_t parity = 0;   // 0 none, 1 odd, 2 even
    std::uint8_t channel = 5;  // 1..32
    std::uint8_t band = 2;     // 2: 32-channel plan, 3: 8-channel plan
    std::uint32_t rfBaud = 9600;
    std::uint16_t id = 1;
    std::uint8_t power = 7; // 1..7
    bool operator==(const ModuleState &) const = default;
};

// Collects well-formed request frames from a byte stream: the six header
// bytes, command, length, payload, checksum and CR LF. Anything else is
// skipped byte by byte until a header lines up again.
class RequestParser {
public:
    // A complete, well-formed request once its last byte arrives.
    std::optional<std::vector<std::uint8_t>> Feed(std::uint8_t byte);
    void Reset() { pending.clear(); }

private:
    std::vector<std::uint8_t> pending;
};

struct Answer {
    std::vector<std::uint8_t> reply; // the frame to send back
    // Set when the request moved the module's UART: reply at the old
    // setting first, then switch.
    std::optional<std::uint32_t> newBaud;
    std::optional<std::uint8_t> newParity;
};

// The module's answer to one well-formed request, applying writes to state
// (except the UART switch, left to the caller). Nothing for a command the
// module does not know or a value it would refuse.
std::optional<Answer> AnswerRequest(ModuleState &state, const std::vector<std::uint8_t> &request);

} // namespace corvanta::sim
