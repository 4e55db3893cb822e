#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "NerloSerial.h"

namespace corvanta {

// A NotifyTarget for programs that send a request and wait for its answer.
class ReplyWaiter : public NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t messageId, const ReplyFields &reply) override;
    void PostPortLost(const SerialError &error) override;

    // The next reply with this command code; replies with other codes are
    // dropped. Nothing when the timeout passes or the port is lost first.
    std::optional<ReplyFields> WaitFor(std::uint8_t command, std::chrono::milliseconds timeout);

    // Drops replies that arrived before a new request.
    void Clear();
    std::optional<SerialError> Lost() const;

    // Ends the current and every later WaitFor at once, with nothing. Any thread.
    void Cancel();
    bool Cancelled() const;

private:
    mutable std::mutex lock;
    std::condition_variable arrived;
    std::deque<ReplyFields> replies;
    std::optional<SerialError> lostError;
    bool cancelled = false;
};

} // namespace corvanta
