// Long runs of the serial port: unplugging, floods, reopening, and closing
// while replies stream in. Every loop has a fixed count; waits are bounded and
// end as soon as the awaited thing happens.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <future>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <termios.h>

#include "protocol/ModuleFrame.h"
#include "serial/NerloSerial.h"
#include "sim/SimulatedModule.h"
#include "support/GateSerial.h"
#include "support/ModuleReply.h"
#include "support/PtyPair.h"
#include "support/RecordingTarget.h"
#include "support/Wait.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using test::GateSerial;
using test::GuestIdReply;
using test::IsCleanGuestIdReply;
using test::kWait;
using test::PtyPair;
using test::RecordingTarget;
using test::Reply;
using test::WaitUntil;

std::size_t CountEntries(const char *directory) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(directory))
        ++n;
    return n;
}

std::size_t ThreadCount() { return CountEntries("/proc/self/task"); }
std::size_t DescriptorCount() { return CountEntries("/proc/self/fd"); }

// A joined thread can stay listed for a moment after join returns, so a count
// is awaited (bounded) rather than read once.
bool ThreadsSettleAtMost(std::size_t limit) {
    return WaitUntil([&] { return ThreadCount() <= limit; });
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        // A sanitizer may start a helper thread at the first thread creation; let that happen before counting.
        std::thread([] {}).join();
    }
};

// ---------------------------------------------------------------------------

TEST_F(Soak, UnplugAHundredTimes) {
    constexpr int kCycles = 100;
    const std::size_t descriptorsBefore = DescriptorCount();
    // One port object for every cycle: a lost port must leave it fit for the next device.
    NerloSerial serial;
    int survived = 0;
    std::size_t maxThreads = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        const std::size_t threadsBefore = ThreadCount();
        RecordingTarget target;
        {
            // Closes the port before the target goes, also when an assertion ends the cycle early.
            struct CloseOnExit {
                NerloSerial &port;
                ~CloseOnExit() { port.Close(); }
            } closeOnExit{serial};
            PtyPair pty;
            ASSERT_TRUE(pty.Ok()) << pty.Error();
            serial.SetNotifyWindow(&target, 1);
            ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, cycle % 3), 1) << serial.LastError().message;
            maxThreads = std::max(maxThreads, ThreadCount());

            for (std::uint8_t i = 0; i < 3; ++i)
                ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, static_cast<std::uint8_t>(cycle + i))));
            ASSERT_TRUE(target.WaitForReplies(3));
            const auto replies = target.Replies();
            ASSERT_EQ(replies.size(), 3u);
            for (std::uint8_t i = 0; i < 3; ++i)
                EXPECT_EQ(replies[i].channel, static_cast<std::uint8_t>(cycle + i));

            // The pair keeps its own slave open; closing the master alone must still hang up the port.
            pty.CloseMaster();
            ASSERT_TRUE(target.WaitForLost());
            EXPECT_EQ(target.Lost()->kind, SerialErrorKind::Lost);
            EXPECT_TRUE(serial.IsLost());
            // The code is stored just after the notification.
            EXPECT_TRUE(WaitUntil([&] { return serial.ReceiveExitCode() == CXSerial::kExitPortLost; }))
                << serial.ReceiveExitCode();
            const std::uint8_t request[] = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x00, 0x8F, 0x0D, 0x0A};
            EXPECT_EQ(serial.Write(request, sizeof request), 0);
            EXPECT_EQ(serial.Close(), 1);
            EXPECT_EQ(serial.IsOpen(), 0);
            EXPECT_FALSE(serial.IsLost());
            EXPECT_EQ(target.LostCount(), 1);
        }
        // The receive thread is gone, so nothing is left to spin on the dead descriptor.
        EXPECT_TRUE(ThreadsSettleAtMost(threadsBefore)) << ThreadCount() << " threads, " << threadsBefore << " before";
        if (::testing::Test::HasFailure())
            break;
        ++survived;
    }
    EXPECT_EQ(DescriptorCount(), descriptorsBefore);
    RecordProperty("cycles_survived", survived);
    RecordProperty("max_threads", static_cast<int>(maxThreads));
    std::printf("unplug: %d cycles survived, max %zu threads, descriptors %zu before, %zu after\n", survived,
                maxThreads, descriptorsBefore, DescriptorCount());
}

// ---------------------------------------------------------------------------

// Every guest ID whose reply can stand anywhere in a stream.
std::vector<std::uint16_t> CleanSequenceValues() {
    std::vector<std::uint16_t> values;
    for (std::uint32_t v = 0; v <= 0xFFFF; ++v)
        if (IsCleanGuestIdReply(static_cast<std::uint16_t>(v)))
            values.push_back(static_cast<std::uint16_t>(v));
    return values;
}

// Checks each announcement against the expected sequence as it comes, so the
// receive thread is held up as little as possible.
class SequenceTarget : public NotifyTarget {
public:
    explicit SequenceTarget(const std::vector<std::uint16_t> &sequence) : sequence(sequence) {}
    void PostReplyMessage(std::uint32_t, const ReplyFields &reply) override {
        std::lock_guard lock(mutex);
        if (reply.lastCommand == CmdGuestIdRead) {
            const std::uint16_t expected = sequence[count % sequence.size()];
            if (reply.GuestId() != expected && mismatches++ == 0)
                firstMismatch = "announcement " + std::to_string(count) + ": guest ID " +
                                std::to_string(reply.GuestId()) + ", expected " + std::to_string(expected);
            ++count;
        } else if (reply.lastCommand == CmdChannelRead) {
            markers.push_back(reply.channel);
        } else if (others++ == 0) {
            firstOther = "announcement " + std::to_string(count) + ": command " + std::to_string(reply.lastCommand);
        }
        progress.fetch_add(1, std::memory_order_relaxed);
    }
    void PostPortLost(const SerialError &) override { portLost = true; }

    // Fails only when nothing at all arrives for a while, so a slow build still passes.
    bool WaitForCount(std::size_t wanted) {
        auto lastProgress = progress.load();
        auto lastChange = std::chrono::steady_clock::now();
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (count >= wanted)
                    return true;
            }
            const auto now = std::chrono::steady_clock::now();
            const auto p = progress.load();
            if (p != lastProgress) {
                lastProgress = p;
                lastChange = now;
            } else if (now - lastChange > 10s) {
                return false;
            }
            std::this_thread::sleep_for(5ms);
        }
    }

    const std::vector<std::uint16_t> &sequence;
    mutable std::mutex mutex;
    std::size_t count = 0;
    std::size_t mismatches = 0;
    std::size_t others = 0;
    std::string firstMismatch;
    std::string firstOther;
    std::vector<std::uint8_t> markers;
    std::atomic<std::size_t> progress{0};
    std::atomic<bool> portLost{false};
};

TEST_F(Soak, FloodOfFramesAmidNoiseIsAnnouncedExactlyOnceInOrder) {
    constexpr std::size_t kFrames = 100'000;
    const std::vector<std::uint16_t> sequence = CleanSequenceValues();
    ASSERT_GT(sequence.size(), 60'000u);

    // The whole stream up front, so the writer does nothing but write.
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> noiseLength(0, 6);
    std::uniform_int_distribution<int> noiseByte(0, 254);
    Bytes stream;
    stream.reserve(kFrames * 20);
    for (std::size_t i = 0; i < kFrames; ++i) {
        const std::uint16_t v = sequence[i % sequence.size()];
        const Bytes frame = GuestIdReply(v);
        stream.insert(stream.end(), frame.begin(), frame.end());
        // Noise may hold CR LF and anything else but a start byte.
        for (int n = noiseLength(random); n > 0; --n) {
            const int b = noiseByte(random);
            stream.push_back(static_cast<std::uint8_t>(b >= kFrameStart ? b + 1 : b));
        }
    }

    PtyPair pty;
    ASSERT_TRUE(pty.Ok()) << pty.Error();
    SequenceTarget target(sequence);
    NerloSerial serial;
    serial.SetNotifyWindow(&target, 1);
    ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, 0), 1) << serial.LastError().message;

    std::atomic<bool> writeFailed{false};
    std::thread writer([&] {
        // Odd piece sizes, so frames straddle the reads of the receive thread.
        constexpr std::size_t kPiece = 4093;
        for (std::size_t at = 0; at < stream.size(); at += kPiece) {
            const std::size_t n = std::min(kPiece, stream.size() - at);
            if (!pty.WriteMaster(std::span(stream).subspan(at, n), 10s)) {
                writeFailed = true;
                return;
            }
        }
    });
    const bool allCame = target.WaitForCount(kFrames);
    writer.join();
    ASSERT_FALSE(writeFailed) << "the line stopped taking bytes";

    // A marker behind the flood: whatever was announced before it is all there is.
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 0x42)));
    const bool markerCame = WaitUntil([&] {
        std::lock_guard lock(target.mutex);
        return !target.markers.empty();
    });
    serial.Close();

    std::lock_guard lock(target.mutex);
    EXPECT_TRUE(allCame) << target.count << " of " << kFrames << " announced";
    EXPECT_TRUE(markerCame);
    EXPECT_EQ(target.count, kFrames) << "frames lost or doubled";
    EXPECT_EQ(target.mismatches, 0u) << target.firstMismatch;
    EXPECT_EQ(target.others, 0u) << target.firstOther;
    EXPECT_EQ(target.markers, std::vector<std::uint8_t>{0x42});
    EXPECT_FALSE(target.portLost);
    std::printf("flood: %zu frames, %zu bytes, %zu announced, %zu out of order, %zu foreign\n", kFrames, stream.size(),
                target.count, target.mismatches, target.others);
}

// ---------------------------------------------------------------------------

TEST_F(Soak, ApplySettingsAThousandTimesAcrossTwoDevices) {
    constexpr int kCalls = 1000;
    struct Setting {
        std::uint32_t baud;
        std::uint32_t parity;
    };
    static constexpr Setting kSettings[] = {{9600, 0}, {115200, 2}, {19200, 1}, {57600, 0},
                                            {1200, 2}, {38400, 1},  {4800, 0},  {2400, 2}};

    PtyPair a;
    PtyPair b;
    ASSERT_TRUE(a.Ok()) << a.Error();
    ASSERT_TRUE(b.Ok()) << b.Error();
    RecordingTarget target;
    const std::size_t descriptorsBefore = DescriptorCount();
    const std::size_t threadsBefore = ThreadCount();
    std::size_t maxThreads = threadsBefore;
    PtyPair *current = nullptr;
    {
        NerloSerial serial;
        serial.SetNotifyWindow(&target, 1);
        for (int call = 0; call < kCalls; ++call) {
            // Even calls move to the other device, odd ones re-time the device just opened.
            if (call % 2 == 0)
                current = (call / 2) % 2 == 0 ? &a : &b;
            const Setting s = kSettings[static_cast<std::size_t>(call) % std::size(kSettings)];
            ASSERT_EQ(serial.ApplySettings(current->SlavePath(), s.baud, s.parity), 1)
                << "call " << call << ": " << serial.LastError().message;
            ASSERT_EQ(serial.PortName(), current->SlavePath()) << "call " << call;
            const auto tio = current->SlaveTermios();
            ASSERT_TRUE(tio.has_value());
            ASSERT_EQ(sim::RateOfSpeed(::cfgetospeed(&*tio)), s.baud) << "call " << call;
            ASSERT_EQ((tio->c_cflag & PARODD) != 0, s.parity == 1) << "call " << call;
            ASSERT_EQ((tio->c_iflag & INPCK) != 0, s.parity != 0) << "call " << call;
            maxThreads = std::max(maxThreads, ThreadCount());
            ASSERT_TRUE(ThreadsSettleAtMost(threadsBefore + 1))
                << "call " << call << ": " << ThreadCount() << " threads, baseline " << threadsBefore;
        }

        // The port still works after all of it.
        ASSERT_TRUE(current->WriteMaster(Reply(CmdChannelRead, 0x33)));
        ASSERT_TRUE(target.WaitForReplies(1));
        const auto replies = target.Replies();
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0].channel, 0x33);
        EXPECT_EQ(serial.Close(), 1);
        EXPECT_EQ(serial.IsOpen(), 0);
    }
    EXPECT_EQ(DescriptorCount(), descriptorsBefore);
    EXPECT_TRUE(ThreadsSettleAtMost(threadsBefore)) << ThreadCount() << " threads, baseline " << threadsBefore;
    EXPECT_EQ(target.LostCount(), 0);
    RecordProperty("max_threads", static_cast<int>(maxThreads));
    std::printf("reopen: %d calls, max %zu threads (baseline %zu), descriptors %zu before, %zu after\n", kCalls,
                maxThreads, threadsBefore, descriptorsBefore, DescriptorCount());
}

// ---------------------------------------------------------------------------

// Counts announcements and notes any that comes while the port is closed.
class ClosedWatchTarget : public NotifyTarget {
public:
    void PostReplyMessage(std::uint32_t, const ReplyFields &) override {
        if (closed.load())
            violations.fetch_add(1);
        count.fetch_add(1);
    }
    void PostPortLost(const SerialError &) override { lost.fetch_add(1); }

    std::atomic<bool> closed{true};
    std::atomic<std::size_t> count{0};
    std::atomic<std::size_t> violations{0};
    std::atomic<int> lost{0};
};

TEST_F(Soak, CloseRacingAStreamOfReplies) {
    constexpr int kRounds = 200;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok()) << pty.Error();
    ClosedWatchTarget target;
    NerloSerial serial;
    serial.SetNotifyWindow(&target, 1);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const Bytes frame = Reply(CmdChannelRead, 9);
        Bytes burst;
        for (int i = 0; i < 16; ++i)
            burst.insert(burst.end(), frame.begin(), frame.end());
        // While the port is closed nobody reads the line: writes then time out and are tried again.
        while (!stop)
            if (!pty.WriteMaster(burst, 20ms))
                std::this_thread::sleep_for(1ms);
    });

    int rounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        const std::size_t before = target.count.load();
        target.closed = false;
        if (serial.Open(pty.SlavePath(), 115200, 0) != 1) {
            ADD_FAILURE() << "round " << round << ": " << serial.LastError().message;
            break;
        }
        const bool arrived = WaitUntil([&] { return target.count.load() > before; });
        serial.Close();
        target.closed = true;
        const std::size_t atClose = target.count.load();
        if (!arrived) {
            ADD_FAILURE() << "round " << round << ": no reply while open";
            break;
        }
        // The writer goes on meanwhile; nothing of it may be announced.
        std::this_thread::sleep_for(5ms);
        if (target.count.load() != atClose) {
            ADD_FAILURE() << "round " << round << ": announced after Close returned";
            break;
        }
        ++rounds;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(rounds, kRounds);
    EXPECT_EQ(target.violations.load(), 0u);
    EXPECT_EQ(target.lost.load(), 0);
    EXPECT_EQ(serial.ReceiveExitCode(), CXSerial::kExitStopped);
    std::printf("close race: %d rounds, %zu replies announced, %zu after Close\n", rounds, target.count.load(),
                target.violations.load());
}

// ---------------------------------------------------------------------------

// A gate that also keeps count of who is inside OnReceiveByte and of calls
// after Close returned.
class WatchedGateSerial : public GateSerial {
public:
    // Closes here, while this class's OnReceiveByte is still the one called.
    ~WatchedGateSerial() {
        OpenGate();
        Close();
    }
    void OnReceiveByte(std::uint8_t byte) override {
        inside.fetch_add(1);
        if (closeReturned.load())
            lateCalls.fetch_add(1);
        GateSerial::OnReceiveByte(byte);
        inside.fetch_sub(1);
    }

    std::atomic<int> inside{0};
    std::atomic<bool> closeReturned{false};
    std::atomic<int> lateCalls{0};
};

TEST_F(Soak, CloseWaitsForTheByteBeingHandledAndNoneFollows) {
    constexpr int kRounds = 50;
    PtyPair pty;
    ASSERT_TRUE(pty.Ok()) << pty.Error();
    RecordingTarget target;
    WatchedGateSerial serial;
    serial.SetNotifyWindow(&target, 1);
    int rounds = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        serial.closeReturned = false;
        serial.ShutGate();
        ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, 0), 1) << serial.LastError().message;
        // A whole reply: the receive thread stops inside its first byte, the rest may sit in the same read.
        ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, static_cast<std::uint8_t>(round))));
        ASSERT_TRUE(serial.WaitUntilHeld());

        std::atomic<bool> gateOpened{false};
        std::atomic<int> insideAtReturn{-1};
        std::atomic<bool> openedBeforeReturn{false};
        auto closing = std::async(std::launch::async, [&] {
            serial.Close();
            insideAtReturn = serial.inside.load();
            openedBeforeReturn = gateOpened.load();
            serial.closeReturned = true;
        });
        // Close may not come back while a byte is being handled; a correct one never does, however long this is.
        const bool returnedEarly = closing.wait_for(20ms) == std::future_status::ready;
        // More bytes after Close began; none of them may be handed on once it returns.
        pty.WriteMaster(Reply(CmdChannelRead, 0xEE), 100ms);
        gateOpened = true;
        serial.OpenGate();
        ASSERT_EQ(closing.wait_for(kWait), std::future_status::ready) << "Close did not return after the gate opened";
        closing.get();

        EXPECT_FALSE(returnedEarly) << "Close returned while the receive thread was inside a byte";
        EXPECT_TRUE(openedBeforeReturn);
        EXPECT_EQ(insideAtReturn.load(), 0);
        EXPECT_EQ(serial.IsOpen(), 0);
        EXPECT_EQ(serial.ReceiveExitCode(), CXSerial::kExitStopped);
        // Whatever still sits in the line stays there.
        pty.WriteMaster(Reply(CmdChannelRead, 0xEF), 100ms);
        std::this_thread::sleep_for(2ms);
        EXPECT_EQ(serial.lateCalls.load(), 0);
        EXPECT_EQ(serial.inside.load(), 0);
        if (::testing::Test::HasFailure())
            break;
        ++rounds;
    }
    EXPECT_EQ(rounds, kRounds);
    std::printf("close during a byte: %d rounds, %d calls after Close\n", rounds, serial.lateCalls.load());
}

} // namespace
} // namespace corvanta
