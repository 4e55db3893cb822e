#pragma once

#include <cstdint>

namespace corvanta {

// Values kept from the module's latest replies. A reply sets lastCommand and
// the members of its own command, nothing else.
struct ReplyFields {
    std::uint8_t lastCommand = 0;
    std::uint8_t scanChannel = 0;
    std::uint8_t bandCode = 0;
    std::uint8_t comBaudCode = 0;
    std::uint8_t comParity = 0;
    std::uint8_t rfBaudCode = 0;
    std::uint8_t channel = 0;
    std::uint8_t guestIdHigh = 0;
    std::uint8_t guestIdLow = 0;

    std::uint16_t GuestId() const { return static_cast<std::uint16_t>(guestIdHigh << 8 | guestIdLow); }
    bool operator==(const ReplyFields &) const = default;
};

} // namespace corvanta
