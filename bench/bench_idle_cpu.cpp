// CPU cost of an open but silent port: the receive thread must sleep, not poll in a loop.

#include <benchmark/benchmark.h>

#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "serial/NerloSerial.h"

namespace {

struct Pty {
    int master = -1;
    int slave = -1;
    std::string name;

    Pty() {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        name = ::ptsname(master);
    }
    ~Pty() {
        ::close(slave);
        ::close(master);
    }
};

class NullTarget : public corvanta::NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t, const corvanta::ReplyFields &) override {}
    void PostPortLost(const corvanta::SerialError &) override {}
};

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
    const auto wall0 = std::chrono::steady_clock::now();
    const double cpu0 = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu1 = ProcessCpuSeconds();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count(), cpu1 - cpu0};
}

void Report(benchmark::State &state, const CpuShare &share) {
    state.counters["cpu_pct"] = share.Percent();
    state.counters["cpu_us_in_window"] = share.cpuSeconds * 1e6;
}

void BM_IdleCpu_PortOpen(benchmark::State &state) {
    Pty pty;
    NullTarget target;
    corvanta::NerloSerial port;
    port.SetNotifyWindow(&target, 1);
    if (!port.Open(pty.name, 9600, 0)) {
        state.SkipWithError(("open failed: " + port.LastError().message).c_str());
        return;
    }
    // Let the receive thread reach its wait before measuring.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CpuShare share;
    for (auto _ : state) {
        share = WatchFor(static_cast<double>(state.range(0)));
        state.SetIterationTime(share.wallSeconds);
    }
    Report(state, share);
    state.counters["still_open"] = port.IsOpen() && !port.IsLost() ? 1 : 0;
    port.Close();
}

// Baseline: the same port opened once and closed again, so no receive thread remains.
void BM_IdleCpu_PortClosed(benchmark::State &state) {
    Pty pty;
    NullTarget target;
    corvanta::NerloSerial port;
    port.SetNotifyWindow(&target, 1);
    if (!port.Open(pty.name, 9600, 0)) {
        state.SkipWithError(("open failed: " + port.LastError().message).c_str());
        return;
    }
    port.Close();
    CpuShare share;
    for (auto _ : state) {
        share = WatchFor(static_cast<double>(state.range(0)));
        state.SetIterationTime(share.wallSeconds);
    }
    Report(state, share);
}

} // namespace

// Argument: seconds of wall time to watch.
BENCHMARK(BM_IdleCpu_PortOpen)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_IdleCpu_PortClosed)->Arg(5)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
