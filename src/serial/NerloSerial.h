#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "../protocol/ReplyFields.h"
#include "CXSerial.h"

namespace corvanta {

// Who hears about replies and a lost port. Both calls come on the receive
// thread; an implementation hands them over to its own thread and returns.
class NotifyTarget {
public:
    // One call per complete reply frame, with the values after that frame.
    virtual void PostReplyMessage(std::uint32_t messageId, const ReplyFields &reply) = 0;
    // The device went away; the owner should Close the port.
    virtual void PostPortLost(const SerialError &error) = 0;

protected:
    ~NotifyTarget() = default;
};

// List positions of the port settings: port, baud rate, parity.
struct PortChoice {
    std::uint8_t port = 0;
    std::uint8_t baud = 0;
    std::uint8_t parity = 0;
};

// The serial port that speaks the module's protocol: assembles reply frames
// from the received bytes, keeps their values, and notifies a target.
class NerloSerial : public CXSerial {
public:
    static constexpr std::size_t kRxBufferSize = 1024;

    NerloSerial();
    ~NerloSerial();

    // Set before opening a port; nullptr posts nothing.
    void SetNotifyWindow(NotifyTarget *target, std::uint32_t messageId);

    // The frame assembler: a frame starts with 0xAF and ends at its first
    // CR LF within kMaxReplyLength bytes; anything else is dropped.
    void OnReceiveByte(std::uint8_t byte) override;

    // The values after the latest complete frame, as one copy. Any thread.
    ReplyFields GetReplyFields() const;
    // Bytes of the frame being collected; for tests, from the receiving thread.
    int RxLength() const { return rxLength; }

    // Owned by the user interface; the serial classes never touch them.
    PortChoice portChoice;
    std::vector<std::string> portList;

protected:
    void OnLineReset() override;
    void OnPortLost(const SerialError &error) override;

private:
    void ClearFrame();

    mutable std::mutex fieldsLock;
    ReplyFields replyFields;
    NotifyTarget *notifyWindow = nullptr;
    std::uint32_t notifyMessage = 0;
    std::array<std::uint8_t, kRxBufferSize> rxBuffer{};
    int rxLength = 0;
};

} // namespace corvanta
