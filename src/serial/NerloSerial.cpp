#include "NerloSerial.h"

#include <algorithm>
#include <cstring>

#include "../protocol/ModuleFrame.h"

namespace corvanta {

NerloSerial::NerloSerial() = default;

// The port goes first, so no byte reaches the assembler while it is torn down.
NerloSerial::~NerloSerial() { Close(); }

void NerloSerial::SetNotifyWindow(NotifyTarget *target, std::uint32_t messageId) {
    std::lock_guard lock(fieldsLock);
    notifyWindow = target;
    notifyMessage = messageId;
}

void NerloSerial::OnReceiveByte(std::uint8_t byte) {
    rxBuffer[static_cast<std::size_t>(rxLength)] = byte;
    if (rxBuffer[0] != kFrameStart) {
        ClearFrame();
        return;
    }
    ++rxLength;
    if (rxBuffer[static_cast<std::size_t>(rxLength - 1)] == 0x0A && rxLength >= 2 &&
        rxBuffer[static_cast<std::size_t>(rxLength - 2)] == 0x0D) {
        ReplyFields copy;
        NotifyTarget *target;
        std::uint32_t message;
        {
            std::lock_guard lock(fieldsLock);
            StoreReplyValues(rxBuffer.data(), replyFields);
            copy = replyFields;
            target = notifyWindow;
            message = notifyMessage;
        }
        if (target != nullptr)
            target->PostReplyMessage(message, copy);
        ClearFrame();
        return;
    }
    if (rxLength >= static_cast<int>(kMaxReplyLength))
        ClearFrame();
}

ReplyFields NerloSerial::GetReplyFields() const {
    std::lock_guard lock(fieldsLock);
    return replyFields;
}

void NerloSerial::OnLineReset() { ClearFrame(); }

void NerloSerial::OnPortLost(const SerialError &error) {
    NotifyTarget *target;
    {
        std::lock_guard lock(fieldsLock);
        target = notifyWindow;
    }
    if (target != nullptr)
        target->PostPortLost(error);
}

// Bytes past the collected ones are always 0, so only the used part needs zeroing.
void NerloSerial::ClearFrame() {
    std::memset(rxBuffer.data(), 0, std::min<std::size_t>(static_cast<std::size_t>(rxLength) + 1, rxBuffer.size()));
    rxLength = 0;
}

} // namespace corvanta
