#include "ModuleFrame.h"

#include <iterator>

namespace corvanta {

std::uint8_t FrameChecksum(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes)
        sum = static_cast<std::uint8_t>(sum + b);
    return static_cast<std::uint8_t>(sum % 255);
}

std::vector<std::uint8_t> BuildModuleFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (payload.size() > kMaxPayload)
        return {};
    std::vector<std::uint8_t> frame;
    frame.reserve(kFrameOverhead + payload.size());
    frame.insert(frame.end(), std::begin(kFrameHeader), std::end(kFrameHeader));
    frame.push_back(command);
    frame.push_back(static_cast<std::uint8_t>(payload.size() & 0xFF));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(FrameChecksum(frame));
    frame.push_back(0x0D);
    frame.push_back(0x0A);
    return frame;
}

void StoreReplyValues(const std::uint8_t *frame, ReplyFields &fields) {
    fields.lastCommand = frame[6];
    switch (frame[6]) {
    case CmdScanRadio:
        fields.scanChannel = frame[8];
        fields.bandCode = frame[10];
        break;
    case CmdComParamSet:
    case CmdComParamRead:
        fields.comBaudCode = frame[8];
        fields.comParity = frame[9];
        break;
    case CmdRfBaudRateSet:
    case CmdRfBaudRateRead:
        fields.rfBaudCode = frame[8];
        break;
    case CmdChannelSet:
    case CmdChannelRead:
        fields.channel = frame[8];
        break;
    case CmdGuestIdSet:
    case CmdGuestIdRead:
        fields.guestIdHigh = frame[8];
        fields.guestIdLow = frame[9];
        break;
    default:
        break;
    }
}

} // namespace corvanta
