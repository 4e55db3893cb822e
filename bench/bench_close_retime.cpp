// Close of a port whose receive thread waits in poll, and a re-time in place.

#include <benchmark/benchmark.h>

#include <sys/ioctl.h>

#include <chrono>
#include <thread>
#include <vector>

#include "BenchSupport.h"

namespace {

using corvanta::bench::Clock;
using corvanta::bench::PtyPort;
using corvanta::bench::ReportSpread;

void BM_Close(benchmark::State &state) {
    PtyPort<> rig;
    std::vector<double> samplesUs;
    for (auto _ : state) {
        // Our own slave descriptor keeps the tty open, so its exclusive flag would outlive Close.
        ::ioctl(rig.pty.slave, TIOCNXCL);
        if (!rig.OpenOrSkip(state))
            return;
        // Give the receive thread time to block in poll.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const auto t0 = Clock::now();
        rig.port.Close();
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        samplesUs.push_back(seconds * 1e6);
    }
    ReportSpread(state, samplesUs);
}

// Alternates 19200 odd and 9600 none; each iteration times one Reconfigure.
void BM_Reconfigure(benchmark::State &state) {
    PtyPort<> rig;
    if (!rig.OpenOrSkip(state))
        return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<double> samplesUs;
    bool fast = true;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const int ok = fast ? rig.port.Reconfigure(19200, 1) : rig.port.Reconfigure(9600, 0);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!ok) {
            state.SkipWithError(("reconfigure failed: " + rig.port.LastError().message).c_str());
            break;
        }
        state.SetIterationTime(seconds);
        samplesUs.push_back(seconds * 1e6);
        fast = !fast;
    }
    rig.port.Close();
    ReportSpread(state, samplesUs);
}

} // namespace

BENCHMARK(BM_Close)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reconfigure)->Iterations(20000)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
