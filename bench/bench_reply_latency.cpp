// Time from the last byte of a reply reaching the pty until the target hears of it.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "BenchSupport.h"

namespace {

using corvanta::bench::ChannelReadReply;
using corvanta::bench::Clock;
using corvanta::bench::Percentile;
using corvanta::bench::PtyPort;
using corvanta::bench::ReportSpread;

bool WriteAll(int fd, const std::uint8_t *data, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n <= 0)
            return false;
        data += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

// Stamps the time on the receive thread; the bench thread sleeps on the counter.
class StampingTarget : public corvanta::NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t, const corvanta::ReplyFields &) override {
        stampNs.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        replies.fetch_add(1, std::memory_order_release);
        replies.notify_one();
    }
    void PostPortLost(const corvanta::SerialError &) override {
        lost.store(true);
        replies.fetch_add(1, std::memory_order_release);
        replies.notify_one();
    }

    std::atomic<std::int64_t> stampNs{0};
    std::atomic<std::uint32_t> replies{0};
    std::atomic<bool> lost{false};
};

// Argument 0: replies to time. Argument 1: 0 writes each frame whole, 1 writes all but
// the last byte first and lets the receive thread take them before the last byte goes.
void BM_ReplyLatency(benchmark::State &state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    const bool split = state.range(1) != 0;
    PtyPort<StampingTarget> rig;
    auto &target = rig.target;
    const int master = rig.pty.master;
    if (!rig.OpenOrSkip(state))
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    std::vector<std::vector<std::uint8_t>> frames;
    for (std::uint8_t ch = 0; ch < 100; ++ch)
        frames.push_back(ChannelReadReply(ch));

    std::vector<double> latencyUs;
    latencyUs.reserve(count);
    std::size_t early = 0;
    for (auto _ : state) {
        latencyUs.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const auto &frame = frames[i % frames.size()];
            const std::uint32_t before = target.replies.load(std::memory_order_acquire);
            if (split) {
                if (!WriteAll(master, frame.data(), frame.size() - 1)) {
                    state.SkipWithError("write to master failed");
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
            const std::size_t offset = split ? frame.size() - 1 : 0;
            if (!WriteAll(master, frame.data() + offset, frame.size() - offset)) {
                state.SkipWithError("write to master failed");
                return;
            }
            const std::int64_t sentNs = Clock::now().time_since_epoch().count();
            target.replies.wait(before, std::memory_order_acquire);
            if (target.lost.load()) {
                state.SkipWithError("port lost");
                return;
            }
            const std::int64_t deltaNs = target.stampNs.load(std::memory_order_relaxed) - sentNs;
            // The reader on the other core can finish before write() returns here.
            if (deltaNs < 0)
                ++early;
            latencyUs.push_back(static_cast<double>(std::max<std::int64_t>(deltaNs, 0)) / 1000.0);
        }
    }
    rig.port.Close();

    state.counters["replies"] = static_cast<double>(latencyUs.size());
    state.counters["delivered_before_write_returned"] = static_cast<double>(early);
    ReportSpread(state, latencyUs);
    if (!latencyUs.empty())
        state.counters["p90_us"] = Percentile(latencyUs, 0.90);
}

} // namespace

BENCHMARK(BM_ReplyLatency)
    ->ArgNames({"replies", "split"})
    ->Args({2000, 0})
    ->Args({1000, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
