#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvanta {

// The rates offered for both the PC's line and the module's settings; a
// rate's baud code is its position here plus one.
inline constexpr std::array<std::uint32_t, 8> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Parity codes: the position in the "No", "ODD", "Even" list.
enum ParityCode : std::uint8_t { ParityNone = 0, ParityOdd = 1, ParityEven = 2 };
inline constexpr std::array<std::string_view, 3> kParityNames = {"none", "odd", "even"};

// 1..8 for a rate of kBaudRates, else 0.
std::uint8_t BaudCodeFromRate(std::uint32_t rate);
// The rate for codes 1..8, else 0.
std::uint32_t RateFromBaudCode(std::uint8_t code);
bool IsSupportedBaudRate(std::uint32_t rate);

// "none", "odd", "even" for codes 0..2, else empty.
std::string_view ParityName(std::uint32_t code);
std::optional<std::uint8_t> ParityFromName(std::string_view name);

} // namespace corvanta
