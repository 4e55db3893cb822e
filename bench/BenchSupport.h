// Helpers the bench programs share. Each bench is its own program, so all of it is inline.
#pragma once

#include <benchmark/benchmark.h>

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/ModuleFrame.h"
#include "serial/NerloSerial.h"

namespace corvanta::bench {

using Clock = std::chrono::steady_clock;

// A raw pty pair: the port under test opens the slave by name, the bench plays
// the module on the master. Raw, so no line discipline alters the bytes.
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
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;
};

// For benches that time the port itself, not what it reports.
class NullTarget : public NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t, const ReplyFields &) override {}
    void PostPortLost(const SerialError &) override {}
};

// A port on its own pty, notifying target. Members in this order so the port
// (and its receive thread) goes before the target and the pty it uses.
template <class Target = NullTarget> struct PtyPort {
    Pty pty;
    Target target;
    NerloSerial port;

    PtyPort() { port.SetNotifyWindow(&target, 1); }

    // Opens at 9600, no parity; on failure the benchmark is skipped with the reason.
    bool OpenOrSkip(benchmark::State &state) {
        if (port.Open(pty.name, 9600, 0))
            return true;
        state.SkipWithError(("open failed: " + port.LastError().message).c_str());
        return false;
    }
};

// A valid 13-byte channel-read reply, as the module sends it.
inline std::vector<std::uint8_t> ChannelReadReply(std::uint8_t channel) {
    return BuildModuleFrame(CmdChannelRead, std::vector<std::uint8_t>{channel, 0});
}

// The sample at fraction p of the way through sorted, non-empty samples, rounded to the nearest index.
inline double Percentile(const std::vector<double> &sorted, double p) {
    const auto index = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

// Sorts the samples and reports median_us, p99_us and max_us; nothing when there are none.
inline void ReportSpread(benchmark::State &state, std::vector<double> &samplesUs) {
    if (samplesUs.empty())
        return;
    std::sort(samplesUs.begin(), samplesUs.end());
    state.counters["median_us"] = Percentile(samplesUs, 0.50);
    state.counters["p99_us"] = Percentile(samplesUs, 0.99);
    state.counters["max_us"] = samplesUs.back();
}

} // namespace corvanta::bench
