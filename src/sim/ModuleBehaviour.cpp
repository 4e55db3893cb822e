#include "ModuleBehaviour.h"

#include <algorithm>
#include <span>

#include "protocol/LineSettings.h"
#include "protocol/ModuleFrame.h"

namespace corvanta::sim {
namespace {

constexpr std::size_t kHeaderSize = std::size(kFrameHeader);
constexpr std::size_t kLengthIndex = kHeaderSize + 1;
constexpr std::size_t kPayloadIndex = kLengthIndex + 1;
// Every request the PC sends carries two payload bytes.
constexpr std::size_t kRequestPayload = 2;
constexpr std::uint8_t kMaxChannel = 32;
constexpr std::uint8_t kMaxPower = 7;

enum class Match { Prefix, Complete, Broken };

// How bytes[from..to) stands against the frame layout.
Match Check(const std::vector<std::uint8_t> &bytes, std::size_t from, std::size_t to) {
    const std::size_t size = to - from;
    const std::uint8_t *b = bytes.data() + from;
    for (std::size_t i = 0; i < std::min(size, kHeaderSize); ++i)
        if (b[i] != kFrameHeader[i])
            return Match::Broken;
    if (size <= kLengthIndex)
        return Match::Prefix;
    const std::size_t checksumIndex = kPayloadIndex + b[kLengthIndex];
    if (size > checksumIndex && b[checksumIndex] != FrameChecksum({b, checksumIndex}))
        return Match::Broken;
    if (size > checksumIndex + 1 && b[checksumIndex + 1] != 0x0D)
        return Match::Broken;
    if (size > checksumIndex + 2 && b[checksumIndex + 2] != 0x0A)
        return Match::Broken;
    if (size == checksumIndex + 3)
        return Match::Complete;
    return size < checksumIndex + 3 ? Match::Prefix : Match::Broken;
}

std::optional<Answer> Reply(std::uint8_t command, std::uint8_t first, std::uint8_t second) {
    const std::uint8_t payload[2] = {first, second};
    return Answer{BuildModuleFrame(command, payload), std::nullopt, std::nullopt};
}

} // namespace

std::optional<std::vector<std::uint8_t>> RequestParser::Feed(std::uint8_t byte) {
    pending.push_back(byte);
    // A frame that ends here wins even when it started inside an earlier,
    // longer candidate: that one was most likely a truncated frame whose
    // length byte swallowed the real request.
    for (std::size_t start = 0; start < pending.size(); ++start) {
        if (pending[start] == kFrameStart && Check(pending, start, pending.size()) == Match::Complete) {
            std::vector<std::uint8_t> frame(pending.begin() + static_cast<std::ptrdiff_t>(start), pending.end());
            pending.clear();
            return frame;
        }
    }
    std::size_t start = 0;
    while (start < pending.size() && Check(pending, start, pending.size()) == Match::Broken)
        ++start;
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
    return std::nullopt;
}

std::optional<Answer> AnswerRequest(ModuleState &state, const std::vector<std::uint8_t> &request) {
    if (request.size() != kFrameOverhead + kRequestPayload || request[kLengthIndex] != kRequestPayload)
        return std::nullopt;
    const std::uint8_t command = request[kHeaderSize];
    const std::uint8_t first = request[kPayloadIndex];
    const std::uint8_t second = request[kPayloadIndex + 1];

    switch (command) {
    case CmdScanRadio: {
        const std::uint8_t payload[4] = {state.channel, 0, state.band, 0};
        return Answer{BuildModuleFrame(command, payload), std::nullopt, std::nullopt};
    }
    case CmdComParamSet: {
        if (RateFromBaudCode(first) == 0 || second > ParityEven)
            return std::nullopt;
        auto answer = Reply(command, first, second);
        answer->newBaud = RateFromBaudCode(first);
        answer->newParity = second;
        return answer;
    }
    case CmdComParamRead:
        return Reply(command, BaudCodeFromRate(state.baud), state.parity);
    case CmdRfBaudRateSet:
        if (RateFromBaudCode(first) == 0)
            return std::nullopt;
        state.rfBaud = RateFromBaudCode(first);
        return Reply(command, first, 0);
    case CmdRfBaudRateRead:
        return Reply(command, BaudCodeFromRate(state.rfBaud), 0);
    case CmdChannelSet:
        if (first < 1 || first > kMaxChannel)
            return std::nullopt;
        state.channel = first;
        return Reply(command, first, 0);
    case CmdChannelRead:
        return Reply(command, state.channel, 0);
    case CmdGuestIdSet:
        state.id = static_cast<std::uint16_t>(first << 8 | second);
        return Reply(command, first, second);
    case CmdGuestIdRead:
        return Reply(command, static_cast<std::uint8_t>(state.id >> 8), static_cast<std::uint8_t>(state.id & 0xFF));
    case CmdPowerSet:
        if (first < 1 || first > kMaxPower)
            return std::nullopt;
        state.power = first;
        return Reply(command, first, 0);
    default:
        return std::nullopt;
    }
}

} // namespace corvanta::sim
