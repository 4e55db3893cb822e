// Close of a port whose receive thread waits in poll, and a re-time in place.

#include <benchmark/benchmark.h>

#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "serial/NerloSerial.h"

namespace {

using Clock = std::chrono::steady_clock;

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

void ReportSpread(benchmark::State &state, std::vector<double> &samplesUs) {
    if (samplesUs.empty())
        return;
    std::sort(samplesUs.begin(), samplesUs.end());
    const auto at = [&](double p) {
        return samplesUs[std::min(samplesUs.size() - 1,
                                  static_cast<std::size_t>(p * static_cast<double>(samplesUs.size() - 1) + 0.5))];
    };
    state.counters["median_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = samplesUs.back();
}

void BM_Close(benchmark::State &state) {
    Pty pty;
    NullTarget target;
    corvanta::NerloSerial port;
    port.SetNotifyWindow(&target, 1);
    std::vector<double> samplesUs;
    for (auto _ : state) {
        // Our own slave descriptor keeps the tty open, so its exclusive flag would outlive Close.
        ::ioctl(pty.slave, TIOCNXCL);
        if (!port.Open(pty.name, 9600, 0)) {
            state.SkipWithError(("open failed: " + port.LastError().message).c_str());
            return;
        }
        // Give the receive thread time to block in poll.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const auto t0 = Clock::now();
        port.Close();
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        samplesUs.push_back(seconds * 1e6);
    }
    ReportSpread(state, samplesUs);
}

// Alternates 19200 odd and 9600 none; each iteration times one Reconfigure.
void BM_Reconfigure(benchmark::State &state) {
    Pty pty;
    NullTarget target;
    corvanta::NerloSerial port;
    port.SetNotifyWindow(&target, 1);
    if (!port.Open(pty.name, 9600, 0)) {
        state.SkipWithError(("open failed: " + port.LastError().message).c_str());
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<double> samplesUs;
    bool fast = true;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const int ok = fast ? port.Reconfigure(19200, 1) : port.Reconfigure(9600, 0);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!ok) {
            state.SkipWithError(("reconfigure failed: " + port.LastError().message).c_str());
            break;
        }
        state.SetIterationTime(seconds);
        samplesUs.push_back(seconds * 1e6);
        fast = !fast;
    }
    port.Close();
    ReportSpread(state, samplesUs);
}

} // namespace

BENCHMARK(BM_Close)->Iterations(300)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Reconfigure)->Iterations(20000)->UseManualTime()->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
