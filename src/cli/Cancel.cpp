#include "Cancel.h"

namespace corvanta::cli {

void CancelSignal::Cancel() {
    std::lock_guard guard(lock);
    cancelled = true;
    for (ReplyWaiter *waiter : waiters)
        waiter->Cancel();
}

bool CancelSignal::Cancelled() const {
    std::lock_guard guard(lock);
    return cancelled;
}

void CancelSignal::Reset() {
    std::lock_guard guard(lock);
    cancelled = false;
}

void CancelSignal::Register(ReplyWaiter &waiter) {
    std::lock_guard guard(lock);
    waiters.insert(&waiter);
    if (cancelled)
        waiter.Cancel();
}

void CancelSignal::Unregister(ReplyWaiter &waiter) {
    std::lock_guard guard(lock);
    waiters.erase(&waiter);
}

CancelSignal &GlobalCancel() {
    static CancelSignal signal;
    return signal;
}

} // namespace corvanta::cli
