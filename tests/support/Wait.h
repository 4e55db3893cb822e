#pragma once

#include <chrono>
#include <thread>

namespace corvanta::test {

// Bounded waits only: they end as soon as the awaited thing happens.
inline constexpr std::chrono::seconds kWait{5};

// Polls a condition that another thread makes true; false when it still is
// not once the bound has passed.
template <typename Predicate> bool WaitUntil(Predicate predicate, std::chrono::milliseconds bound = kWait) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace corvanta::test
