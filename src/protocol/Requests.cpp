#include "Requests.h"

#include "ModuleFrame.h"

namespace corvanta {
namespace {

std::uint8_t Low8(int value) { return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFFu); }

bool SendPair(FrameWriter &port, std::uint8_t command, int first, int second) {
    const std::uint8_t payload[2] = {Low8(first), Low8(second)};
    return SendModuleFrame(port, command, payload);
}

} // namespace

bool SendModuleFrame(FrameWriter &port, std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (!port.IsOpen())
        return false;
    const auto frame = BuildModuleFrame(command, payload);
    if (frame.empty())
        return false;
    return port.Write(frame.data(), static_cast<std::uint32_t>(frame.size())) != 0;
}

bool SendScanRadio(FrameWriter &port) { return SendPair(port, CmdScanRadio, 0, 0); }
bool SendReadRequest(FrameWriter &port, std::uint8_t command) { return SendPair(port, command, 0, 0); }
bool SendComParam(FrameWriter &port, int baudCode, int parityCode) {
    return SendPair(port, CmdComParamSet, baudCode, parityCode);
}
bool SendRfBaudRate(FrameWriter &port, int baudCode) { return SendPair(port, CmdRfBaudRateSet, baudCode, 0); }
bool SendChannel(FrameWriter &port, int channel) { return SendPair(port, CmdChannelSet, channel, 0); }
bool SendGuestId(FrameWriter &port, int id) {
    const unsigned u = static_cast<unsigned>(id);
    return SendPair(port, CmdGuestIdSet, static_cast<int>((u >> 8) & 0xFFu), static_cast<int>(u & 0xFFu));
}
bool SendPower(FrameWriter &port, int powerLevel) { return SendPair(port, CmdPowerSet, powerLevel, 0); }

} // namespace corvanta
