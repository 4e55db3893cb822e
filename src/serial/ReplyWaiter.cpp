#include "ReplyWaiter.h"

namespace corvanta {

void ReplyWaiter::PostReplyMessage(std::uint32_t, const ReplyFields &reply) {
    {
        std::lock_guard guard(lock);
        replies.push_back(reply);
    }
    arrived.notify_all();
}

void ReplyWaiter::PostPortLost(const SerialError &error) {
    {
        std::lock_guard guard(lock);
        lostError = error;
    }
    arrived.notify_all();
}

std::optional<ReplyFields> ReplyWaiter::WaitFor(std::uint8_t command, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock guard(lock);
    for (;;) {
        if (cancelled)
            return std::nullopt;
        while (!replies.empty()) {
            const ReplyFields reply = replies.front();
            replies.pop_front();
            if (reply.lastCommand == command)
                return reply;
        }
        if (lostError)
            return std::nullopt;
        if (arrived.wait_until(guard, deadline) == std::cv_status::timeout && replies.empty())
            return std::nullopt;
    }
}

void ReplyWaiter::Cancel() {
    {
        std::lock_guard guard(lock);
        cancelled = true;
    }
    arrived.notify_all();
}

bool ReplyWaiter::Cancelled() const {
    std::lock_guard guard(lock);
    return cancelled;
}

void ReplyWaiter::Clear() {
    std::lock_guard guard(lock);
    replies.clear();
}

std::optional<SerialError> ReplyWaiter::Lost() const {
    std::lock_guard guard(lock);
    return lostError;
}

} // namespace corvanta
