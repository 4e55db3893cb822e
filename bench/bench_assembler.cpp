// Throughput of the frame assembler alone, fed byte by byte as the receive thread does.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "BenchSupport.h"
#include "protocol/ModuleFrame.h"
#include "serial/NerloSerial.h"

namespace {

using corvanta::bench::ChannelReadReply;

constexpr std::size_t kStreamBytes = 1 << 20;
constexpr std::uint32_t kSeed = 20261211;

class CountingTarget : public corvanta::NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t, const corvanta::ReplyFields &reply) override {
        ++frames;
        channelSum += reply.channel;
    }
    void PostPortLost(const corvanta::SerialError &) override {}

    std::uint64_t frames = 0;
    std::uint64_t channelSum = 0;
};

std::vector<std::uint8_t> Noise(unsigned startOneIn) {
    std::mt19937 rng(kSeed);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> data(kStreamBytes);
    for (auto &b : data) {
        b = static_cast<std::uint8_t>(byte(rng));
        if (startOneIn != 0 && rng() % startOneIn == 0)
            b = corvanta::kFrameStart;
    }
    return data;
}

std::vector<std::uint8_t> ValidFrames(std::size_t &frameCount) {
    std::mt19937 rng(kSeed);
    std::vector<std::uint8_t> data;
    data.reserve(kStreamBytes + 32);
    frameCount = 0;
    while (data.size() < kStreamBytes) {
        const auto channel = static_cast<std::uint8_t>(rng() % 100);
        const auto frame = ChannelReadReply(channel);
        data.insert(data.end(), frame.begin(), frame.end());
        ++frameCount;
    }
    return data;
}

void Feed(benchmark::State &state, const std::vector<std::uint8_t> &data) {
    CountingTarget target;
    corvanta::NerloSerial assembler;
    assembler.SetNotifyWindow(&target, 1);
    for (auto _ : state) {
        for (std::uint8_t b : data)
            assembler.OnReceiveByte(b);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
    state.counters["frames_per_s"] =
        benchmark::Counter(static_cast<double>(target.frames), benchmark::Counter::kIsRate);
    state.counters["frames_per_pass"] = static_cast<double>(target.frames) /
                                        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    benchmark::DoNotOptimize(target.channelSum);
}

void BM_Assembler_Noise(benchmark::State &state) { Feed(state, Noise(0)); }

void BM_Assembler_NoiseFrameStarts(benchmark::State &state) { Feed(state, Noise(16)); }

void BM_Assembler_ValidFrames(benchmark::State &state) {
    std::size_t frameCount = 0;
    const auto data = ValidFrames(frameCount);
    Feed(state, data);
    state.counters["frames_expected_per_pass"] = static_cast<double>(frameCount);
}

} // namespace

BENCHMARK(BM_Assembler_Noise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assembler_NoiseFrameStarts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Assembler_ValidFrames)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
