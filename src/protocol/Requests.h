#pragma once

#include <cstdint>
#include <span>

namespace corvanta {

// Where request frames go: the serial object, or a test's recorder.
class FrameWriter {
public:
    // 1 when a port is open, else 0.
    virtual int IsOpen() const = 0;
    // 1 when all count bytes were written, else 0.
    virtual int Write(const std::uint8_t *data, std::uint32_t count) = 0;

protected:
    ~FrameWriter() = default;
};

// Each request returns true when its whole frame was written. Nothing waits
// for the reply: replies arrive through the receive side on their own.
// A payload byte takes the low 8 bits of its value.
bool SendModuleFrame(FrameWriter &port, std::uint8_t command, std::span<const std::uint8_t> payload);
bool SendScanRadio(FrameWriter &port);
// command: CmdChannelRead, CmdRfBaudRateRead, CmdComParamRead or CmdGuestIdRead.
bool SendReadRequest(FrameWriter &port, std::uint8_t command);
bool SendComParam(FrameWriter &port, int baudCode, int parityCode);
bool SendRfBaudRate(FrameWriter &port, int baudCode);
bool SendChannel(FrameWriter &port, int channel);
// The ID goes out high byte first, reduced to its low 16 bits.
bool SendGuestId(FrameWriter &port, int id);
bool SendPower(FrameWriter &port, int powerLevel);

} // namespace corvanta
