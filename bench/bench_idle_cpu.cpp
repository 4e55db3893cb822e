// CPU cost of an open but silent port: the receive thread must sleep, not poll in a loop.

#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <thread>

#include "BenchSupport.h"

namespace {

using corvanta::bench::Clock;
using corvanta::bench::PtyPort;

double ProcessCpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct CpuShare {
    double wallSeconds = 0;
    double cpuSeconds = 0;
    double Percent() const { return wallSeconds > 0 ? 100.0 * cpuSeconds / wallSeconds : 0; }
};

// The bench thread sleeps too, so all CPU time in the window is the port's (plus the runtime's).
CpuShare WatchFor(double seconds) {
    const auto wall0 = Clock::now();
    const double cpu0 = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu1 = ProcessCpuSeconds();
    return {std::chrono::duration<double>(Clock::now() - wall0).count(), cpu1 - cpu0};
}

// One window per iteration; the argument is its length in seconds.
void WatchAndReport(benchmark::State &state) {
    CpuShare share;
    for (auto _ : state) {
        share = WatchFor(static_cast<double>(state.range(0)));
        state.SetIterationTime(share.wallSeconds);
    }
    state.counters["cpu_pct"] = share.Percent();
    state.counters["cpu_us_in_window"] = share.cpuSeconds * 1e6;
}

void BM_IdleCpu_PortOpen(benchmark::State &state) {
    PtyPort<> rig;
    if (!rig.OpenOrSkip(state))
        return;
    // Let the receive thread reach its wait before measuring.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WatchAndReport(state);
    state.counters["still_open"] = rig.port.IsOpen() && !rig.port.IsLost() ? 1 : 0;
    rig.port.Close();
}

// Baseline: the same port opened once and closed again, so no receive thread remains.
void BM_IdleCpu_PortClosed(benchmark::State &state) {
    PtyPort<> rig;
    if (!rig.OpenOrSkip(state))
        return;
    rig.port.Close();
    WatchAndReport(state);
}

} // namespace

// Argument: seconds of wall time to watch.
BENCHMARK(BM_IdleCpu_PortOpen)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleCpu_PortClosed)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
