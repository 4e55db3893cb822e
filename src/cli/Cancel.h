#pragma once

#include <mutex>
#include <set>

#include "serial/ReplyWaiter.h"

namespace corvanta::cli {

// Ctrl-C for every module being talked to: cancels each registered waiter,
// and every waiter registered later.
class CancelSignal {
public:
    void Cancel();
    bool Cancelled() const;
    void Reset();
    void Register(ReplyWaiter &waiter);
    void Unregister(ReplyWaiter &waiter);

private:
    mutable std::mutex lock;
    bool cancelled = false;
    std::set<ReplyWaiter *> waiters;
};

CancelSignal &GlobalCancel();

} // namespace corvanta::cli
