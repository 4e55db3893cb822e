#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ReplyFields.h"

namespace corvanta {

enum ModuleCommand : std::uint8_t {
    CmdScanRadio = 0x00,
    CmdComParamSet = 0x01,
    CmdComParamRead = 0x02,
    CmdRfBaudRateSet = 0x03,
    CmdRfBaudRateRead = 0x04,
    CmdChannelSet = 0x05,
    CmdChannelRead = 0x06,
    CmdGuestIdSet = 0x0C,
    CmdGuestIdRead = 0x0D,
    CmdPowerSet = 0x13,
};

inline constexpr std::uint8_t kFrameStart = 0xAF;
inline constexpr std::uint8_t kFrameHeader[6] = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80};
// Header, command, length, checksum, CR LF.
inline constexpr std::size_t kFrameOverhead = 11;
// The request builder works in a buffer of this size.
inline constexpr std::size_t kFrameBufferSize = 1024;
inline constexpr std::size_t kMaxPayload = kFrameBufferSize - kFrameOverhead;
// A reply is complete at its first CR LF, and dropped if none came within this many bytes.
inline constexpr std::size_t kMaxReplyLength = 21;

// 8-bit wrapping sum of the bytes, modulo 255: never 0xFF.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> bytes);

// The whole frame for a command and payload. The length byte holds the low
// 8 bits of the payload size; payloads above kMaxPayload give an empty vector.
std::vector<std::uint8_t> BuildModuleFrame(std::uint8_t command, std::span<const std::uint8_t> payload);

// Stores the values of a complete reply frame (start byte at index 0, bytes
// never received read as 0) into fields: lastCommand and the members of
// that command's row, nothing else.
void StoreReplyValues(const std::uint8_t *frame, ReplyFields &fields);

} // namespace corvanta
