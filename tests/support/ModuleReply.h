#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/ModuleFrame.h"

namespace corvanta::test {

// A reply frame as the module sends it, with its two payload bytes.
inline std::vector<std::uint8_t> Reply(std::uint8_t command, std::uint8_t first, std::uint8_t second = 0) {
    const std::uint8_t payload[] = {first, second};
    return BuildModuleFrame(command, payload);
}

// The reply to a guest ID read, carrying this ID.
inline std::vector<std::uint8_t> GuestIdReply(std::uint16_t id) {
    return Reply(CmdGuestIdRead, static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id));
}

// Whether that reply holds no 0x0D, 0x0A or start byte past its header, so in a
// stream it can neither end early nor look like the start of another frame.
inline bool IsCleanGuestIdReply(std::uint16_t id) {
    const auto frame = GuestIdReply(id);
    for (std::size_t i = 8; i <= 10; ++i)
        if (frame[i] == 0x0D || frame[i] == 0x0A || frame[i] == kFrameStart)
            return false;
    return true;
}

} // namespace corvanta::test
