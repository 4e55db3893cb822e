#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "serial/NerloSerial.h"
#include "support/Wait.h"

namespace corvanta::test {

// Keeps what a port announces from its receive thread, for the test's thread
// to wait for and read.
class RecordingTarget : public NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t, const ReplyFields &reply) override {
        {
            std::lock_guard lock(mutex);
            replies.push_back(reply);
        }
        changed.notify_all();
    }
    void PostPortLost(const SerialError &error) override {
        {
            std::lock_guard lock(mutex);
            lost = error;
            ++lostCount;
        }
        changed.notify_all();
    }
    bool WaitForReplies(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kWait, [&] { return replies.size() >= count; });
    }
    bool WaitForLost() {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kWait, [&] { return lostCount > 0; });
    }
    std::vector<ReplyFields> Replies() const {
        std::lock_guard lock(mutex);
        return replies;
    }
    std::size_t Count() const {
        std::lock_guard lock(mutex);
        return replies.size();
    }
    // The latest loss announced, if any.
    std::optional<SerialError> Lost() const {
        std::lock_guard lock(mutex);
        return lost;
    }
    int LostCount() const {
        std::lock_guard lock(mutex);
        return lostCount;
    }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<ReplyFields> replies;
    std::optional<SerialError> lost;
    int lostCount = 0;
};

} // namespace corvanta::test
