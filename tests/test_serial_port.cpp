#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "protocol/LineSettings.h"
#include "protocol/ModuleFrame.h"
#include "protocol/Requests.h"
#include "serial/NerloSerial.h"
#include "serial/ReplyWaiter.h"
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
using test::kWait;
using test::PtyPair;
using test::RecordingTarget;
using test::Reply;
using test::WaitUntil;

const Bytes kSearchRequest = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x00, 0x02, 0x00, 0x00, 0x8F, 0x0D, 0x0A};

// Counts the bytes handed to the assembler, so a test knows they were taken.
class CountingSerial : public NerloSerial {
public:
    ~CountingSerial() { Close(); }
    void OnReceiveByte(std::uint8_t byte) override {
        NerloSerial::OnReceiveByte(byte);
        {
            std::lock_guard lock(mutex);
            ++taken;
        }
        changed.notify_all();
    }
    bool WaitForTaken(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kWait, [&] { return taken >= count; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t taken = 0;
};

// Sets every flag a raw 8-bit line must not have, so configuring has to clear them.
void SpoilSlaveLine(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios tio{};
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    tio.c_iflag |= IXON | IXOFF | IXANY | PARMRK | INPCK | ICRNL;
    tio.c_oflag |= OPOST;
    tio.c_lflag |= ECHO | ICANON | ISIG;
    tio.c_cflag |= CSTOPB | CRTSCTS | HUPCL | PARODD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CLOCAL | CREAD);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 5;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);
    ::close(fd);
}

void ExpectLine(const PtyPair &pty, std::uint32_t baud, std::uint32_t parity) {
    const auto tio = pty.SlaveTermios();
    ASSERT_TRUE(tio.has_value());
    EXPECT_EQ(sim::RateOfSpeed(::cfgetospeed(&*tio)), baud);
    EXPECT_EQ(sim::RateOfSpeed(::cfgetispeed(&*tio)), baud);
    EXPECT_EQ((tio->c_iflag & INPCK) != 0, parity != 0) << "INPCK";
    EXPECT_EQ((tio->c_cflag & PARODD) != 0, parity == 1) << "PARODD";
    EXPECT_EQ(tio->c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio->c_cflag & (CSTOPB | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(tio->c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(tio->c_iflag & (IXON | IXOFF | IXANY | PARMRK | ICRNL), 0u);
    EXPECT_EQ(tio->c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(tio->c_oflag & OPOST, 0u);
    EXPECT_EQ(tio->c_cc[VMIN], 0);
    EXPECT_EQ(tio->c_cc[VTIME], 0);
}

class SerialPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok()) << pty.Error();
        serial.SetNotifyWindow(&target, 1);
    }
    PtyPair pty;
    RecordingTarget target;
    NerloSerial serial;
};

struct Line {
    std::uint32_t baud;
    std::uint32_t parity;
};

void PrintTo(const Line &l, std::ostream *os) { *os << l.baud << "/" << l.parity; }

std::string LineName(const ::testing::TestParamInfo<Line> &info) {
    return std::to_string(info.param.baud) + "_" + std::string(ParityName(info.param.parity));
}

class LineSetting : public SerialPort, public ::testing::WithParamInterface<Line> {};

TEST_P(LineSetting, OpenMakesARawLineWithRateAndParity) {
    ASSERT_NO_FATAL_FAILURE(SpoilSlaveLine(pty.SlavePath()));
    ASSERT_EQ(serial.Open(pty.SlavePath(), GetParam().baud, GetParam().parity), 1) << serial.LastError().message;
    ExpectLine(pty, GetParam().baud, GetParam().parity);
}

TEST_P(LineSetting, ReconfigureReplacesTheOtherSetting) {
    // From the opposite rate and parity, so every part has to change.
    const std::uint32_t fromBaud = GetParam().baud == 115200 ? 1200 : 115200;
    const std::uint32_t fromParity = GetParam().parity == 0 ? 1 : 0;
    ASSERT_EQ(serial.Open(pty.SlavePath(), fromBaud, fromParity), 1);
    ASSERT_EQ(serial.Reconfigure(GetParam().baud, GetParam().parity), 1) << serial.LastError().message;
    ExpectLine(pty, GetParam().baud, GetParam().parity);
    EXPECT_EQ(serial.BaudRate(), GetParam().baud);
    EXPECT_EQ(serial.Parity(), GetParam().parity);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineSetting,
                         ::testing::Values(Line{1200, 0}, Line{2400, 2}, Line{4800, 1}, Line{9600, 1}, Line{19200, 0},
                                           Line{38400, 2}, Line{57600, 0}, Line{115200, 2}),
                         LineName);

class BadLine : public SerialPort, public ::testing::WithParamInterface<Line> {};

TEST_P(BadLine, OpenFailsAndLeavesNoPortOpen) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    EXPECT_EQ(serial.Open(pty.SlavePath(), GetParam().baud, GetParam().parity), 0);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_EQ(serial.LastError().kind, SerialErrorKind::InvalidArgument);
    EXPECT_EQ(ProbePort(pty.SlavePath()), 1) << "the failed Open still holds the device";
}

TEST_P(BadLine, ReconfigureFailsAndKeepsTheOldSetting) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 19200, 1), 1);
    EXPECT_EQ(serial.Reconfigure(GetParam().baud, GetParam().parity), 0);
    EXPECT_EQ(serial.LastError().kind, SerialErrorKind::InvalidArgument);
    EXPECT_EQ(serial.IsOpen(), 1);
    EXPECT_EQ(serial.BaudRate(), 19200u);
    EXPECT_EQ(serial.Parity(), 1u);
    ExpectLine(pty, 19200, 1);
}

INSTANTIATE_TEST_SUITE_P(Unsupported, BadLine,
                         ::testing::Values(Line{14400, 0}, Line{0, 0}, Line{110, 1}, Line{230400, 0}, Line{9600, 3},
                                           Line{9600, 0xFFFFFFFFu}),
                         [](const ::testing::TestParamInfo<Line> &info) {
                             return std::to_string(info.param.baud) + "_parity" + std::to_string(info.param.parity);
                         });

// A pty drops PARENB, so setting the parity it already has changes nothing, which glibc reports as EINVAL.
TEST_F(SerialPort, RetimeToTheParityTheLineAlreadyHasSucceeds) {
    for (std::uint32_t parity : {1u, 2u}) {
        ASSERT_EQ(serial.Open(pty.SlavePath(), 19200, parity), 1);
        EXPECT_EQ(serial.Reconfigure(19200, parity), 1) << DescribeSerialError(serial.LastError());
        EXPECT_EQ(serial.ApplySettings(pty.SlavePath(), 19200, parity), 1);
        ExpectLine(pty, 19200, parity);
    }
}

TEST_F(SerialPort, OpenOfMissingDeviceFailsWithNotFound) {
    for (const std::string path : {"/dev/corvanta-no-such-tty", "/nonexistent-dir/ttyUSB0"}) {
        EXPECT_EQ(serial.Open(path, 9600, 0), 0) << path;
        EXPECT_EQ(serial.IsOpen(), 0) << path;
        EXPECT_EQ(serial.LastError().kind, SerialErrorKind::NotFound) << path;
    }
}

TEST_F(SerialPort, BytesQueuedBeforeOpenAreNotTakenAsReplies) {
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 3)));
    ASSERT_TRUE(WaitUntil([&] { return pty.SlaveInputQueued() == 13; }));
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 4)));
    ASSERT_TRUE(target.WaitForReplies(1));
    EXPECT_EQ(target.Replies()[0].channel, 4);
}

TEST_F(SerialPort, RequestArrivesExactly) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    ASSERT_TRUE(SendScanRadio(serial));
    // Asks for one byte more than sent: a stray byte would show up.
    EXPECT_EQ(pty.ReadMaster(kSearchRequest.size() + 1, 300ms), kSearchRequest);
}

TEST_F(SerialPort, RequestRightAfterOpenIsNotCut) {
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, round % 3), 1);
        ASSERT_TRUE(SendScanRadio(serial));
        ASSERT_EQ(pty.ReadMaster(kSearchRequest.size()), kSearchRequest) << "round " << round;
        serial.Close();
    }
}

class LargeWrite : public SerialPort, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(LargeWrite, ArrivesCompleteAndInOrder) {
    Bytes block(GetParam());
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, 0), 1);
    auto received = std::async(std::launch::async, [&] { return pty.ReadMaster(block.size(), 20s); });
    EXPECT_EQ(serial.Write(block.data(), static_cast<std::uint32_t>(block.size())), 1);
    const Bytes got = received.get();
    EXPECT_EQ(got.size(), block.size());
    EXPECT_TRUE(got == block) << "bytes differ";
}

// 10000 and more do not fit the pty's buffers at once.
INSTANTIATE_TEST_SUITE_P(Sizes, LargeWrite, ::testing::Values(1023, 1025, 2500, 10000, 200000));

// A peer that never reads: the line stalls once the pty's buffers are full.
TEST_F(SerialPort, StalledLineGivesUpWithZeroAndRecoversOnceDrained) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, 0), 1);
    Bytes block(256 * 1024, 0x55);
    EXPECT_EQ(serial.Write(block.data(), static_cast<std::uint32_t>(block.size())), 0);
    EXPECT_EQ(serial.LastError().kind, SerialErrorKind::TimedOut);
    EXPECT_EQ(serial.IsOpen(), 1);

    // What the line took before the stall may still arrive; none of it may look like a request.
    while (!pty.ReadMaster(64 * 1024, 300ms).empty()) {
    }
    ASSERT_TRUE(SendScanRadio(serial));
    EXPECT_EQ(pty.ReadMaster(kSearchRequest.size() + 1, 1s), kSearchRequest);
}

TEST_F(SerialPort, WriteAndCloseOnNeverOpenedPort) {
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(serial.Write(&byte, 1), 0);
    EXPECT_EQ(serial.Close(), 1);
    EXPECT_EQ(serial.IsOpen(), 0);
}

TEST_F(SerialPort, EmptyWriteOnOpenPortSucceedsAndSendsNothing) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(serial.Write(&byte, 0), 1);
    EXPECT_TRUE(pty.ReadMaster(1, 200ms).empty());
}

TEST_F(SerialPort, SecondOpenerOfAHeldPortIsBusy) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    NerloSerial other;
    EXPECT_EQ(other.Open(pty.SlavePath(), 9600, 0), 0);
    EXPECT_EQ(other.IsOpen(), 0);
    EXPECT_EQ(other.LastError().kind, SerialErrorKind::Busy);
    EXPECT_EQ(ProbePort(pty.SlavePath()), 0);

    // The holder is undisturbed.
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 5)));
    ASSERT_TRUE(target.WaitForReplies(1));
    EXPECT_EQ(target.Replies()[0].channel, 5);

    serial.Close();
    EXPECT_EQ(other.Open(pty.SlavePath(), 9600, 0), 1) << other.LastError().message;
}

TEST_F(SerialPort, ProbeTellsFreeFromHeldOrMissing) {
    EXPECT_EQ(ProbePort(pty.SlavePath()), 1);
    EXPECT_EQ(ProbePort("/dev/corvanta-no-such-tty"), 0);
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    EXPECT_EQ(ProbePort(pty.SlavePath()), 0);
    serial.Close();
    EXPECT_EQ(ProbePort(pty.SlavePath()), 1);
}

TEST_F(SerialPort, ReplyReachesTheWaiter) {
    ReplyWaiter waiter;
    // Declared after the waiter, so the port stops before the waiter goes.
    NerloSerial port;
    port.SetNotifyWindow(&waiter, 7);
    ASSERT_EQ(port.Open(pty.SlavePath(), 9600, 0), 1);
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdGuestIdRead, 0x12, 0x34)));
    const auto reply = waiter.WaitFor(CmdGuestIdRead, kWait);
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->GuestId(), 0x1234);
    EXPECT_EQ(port.GetReplyFields().GuestId(), 0x1234);
}

TEST_F(SerialPort, FrameSplitAcrossWritesIsAssembled) {
    const Bytes frame = Reply(CmdComParamRead, 4, 2);
    ASSERT_EQ(frame.size(), 13u);
    const std::vector<std::vector<std::size_t>> splits = {
        {1, 12}, {6, 7}, {12, 1}, {11, 2}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}};
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    for (std::size_t n = 0; n < splits.size(); ++n) {
        std::size_t at = 0;
        for (const std::size_t piece : splits[n]) {
            ASSERT_TRUE(pty.WriteMaster(std::span(frame).subspan(at, piece)));
            at += piece;
            std::this_thread::sleep_for(15ms);
        }
        ASSERT_TRUE(target.WaitForReplies(n + 1)) << "split " << n;
    }
    for (const auto &reply : target.Replies()) {
        EXPECT_EQ(reply.comBaudCode, 4);
        EXPECT_EQ(reply.comParity, 2);
    }
    EXPECT_EQ(target.Count(), splits.size());
}

TEST_F(SerialPort, BackToBackFramesAreEachAnnouncedOnceInOrder) {
    Bytes stream;
    for (int channel = 0; channel < 256; ++channel) {
        const Bytes frame = Reply(CmdChannelSet, static_cast<std::uint8_t>(channel));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, 0), 1);
    ASSERT_TRUE(pty.WriteMaster(stream));
    ASSERT_TRUE(target.WaitForReplies(256)) << target.Count();
    const auto replies = target.Replies();
    ASSERT_EQ(replies.size(), 256u);
    for (int channel = 0; channel < 256; ++channel) {
        EXPECT_EQ(replies[channel].lastCommand, CmdChannelSet);
        EXPECT_EQ(replies[channel].channel, channel);
    }
}

TEST_F(SerialPort, NoNotificationAfterCloseReturns) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 115200, 0), 1);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const Bytes frame = Reply(CmdChannelRead, 9);
        while (!stop)
            if (!pty.WriteMaster(frame, 50ms))
                std::this_thread::sleep_for(1ms);
    });
    const bool streaming = target.WaitForReplies(20);
    serial.Close();
    const std::size_t atClose = target.Count();
    // The writer keeps sending for a while; none of it may be announced.
    std::this_thread::sleep_for(200ms);
    stop = true;
    writer.join();
    EXPECT_TRUE(streaming);
    EXPECT_EQ(target.Count(), atClose);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_EQ(serial.ReceiveExitCode(), CXSerial::kExitStopped);
}

enum class Retime { Reconfigure, ApplySettingsSameDevice };
void PrintTo(Retime r, std::ostream *os) { *os << static_cast<int>(r); }

class RetimeInPlace : public SerialPort, public ::testing::WithParamInterface<Retime> {
protected:
    int Apply(NerloSerial &port, std::uint32_t baud, std::uint32_t parity) {
        return GetParam() == Retime::Reconfigure ? port.Reconfigure(baud, parity)
                                                 : port.ApplySettings(pty.SlavePath(), baud, parity);
    }
};

// Reopening the device would purge what waits in the line; re-timing must not.
TEST_P(RetimeInPlace, KeepsBytesQueuedInTheLineAndGoesOnReceiving) {
    GateSerial gated;
    gated.ShutGate();
    gated.SetNotifyWindow(&target, 1);
    ASSERT_EQ(gated.Open(pty.SlavePath(), 9600, 0), 1);

    // The receive thread stops inside the first byte; the reply then waits in the line.
    ASSERT_TRUE(pty.WriteMaster(Bytes{0x00}));
    ASSERT_TRUE(gated.WaitUntilHeld());
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 5)));
    ASSERT_TRUE(WaitUntil([&] { return pty.SlaveInputQueued() == 13; }));

    auto retimed = std::async(std::launch::async, [&] { return Apply(gated, 57600, 2); });
    // The new setting reaches the line before the held byte is let go.
    const bool applied = WaitUntil([&] {
        const auto tio = pty.SlaveTermios();
        return tio && sim::RateOfSpeed(::cfgetospeed(&*tio)) == 57600;
    });
    gated.OpenGate();
    EXPECT_TRUE(applied);
    EXPECT_EQ(retimed.get(), 1);
    EXPECT_EQ(gated.IsOpen(), 1);

    ASSERT_TRUE(target.WaitForReplies(1)) << "queued reply purged by the re-time";
    EXPECT_EQ(target.Replies()[0].channel, 5);

    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 6)));
    ASSERT_TRUE(target.WaitForReplies(2));
    EXPECT_EQ(target.Replies()[1].channel, 6);
    ExpectLine(pty, 57600, 2);
}

INSTANTIATE_TEST_SUITE_P(Ways, RetimeInPlace, ::testing::Values(Retime::Reconfigure, Retime::ApplySettingsSameDevice),
                         [](const ::testing::TestParamInfo<Retime> &info) {
                             return info.param == Retime::Reconfigure ? "Reconfigure" : "ApplySettingsSameDevice";
                         });

TEST_F(SerialPort, ApplySettingsOnOtherDeviceMovesThePort) {
    PtyPair second;
    ASSERT_TRUE(second.Ok()) << second.Error();
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    ASSERT_EQ(serial.ApplySettings(second.SlavePath(), 19200, 2), 1) << serial.LastError().message;
    EXPECT_EQ(serial.PortName(), second.SlavePath());
    EXPECT_EQ(ProbePort(pty.SlavePath()), 1) << "first device still held";
    EXPECT_EQ(ProbePort(second.SlavePath()), 0);
    ExpectLine(second, 19200, 2);

    ASSERT_TRUE(SendScanRadio(serial));
    EXPECT_EQ(second.ReadMaster(kSearchRequest.size()), kSearchRequest);
    EXPECT_TRUE(pty.ReadMaster(1, 100ms).empty());
    ASSERT_TRUE(second.WriteMaster(Reply(CmdChannelRead, 8)));
    ASSERT_TRUE(target.WaitForReplies(1));
    EXPECT_EQ(target.Replies()[0].channel, 8);
}

TEST_F(SerialPort, ApplySettingsOnMissingDeviceLeavesNoPortOpen) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    EXPECT_EQ(serial.ApplySettings("/dev/corvanta-no-such-tty", 9600, 0), 0);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_EQ(serial.LastError().kind, SerialErrorKind::NotFound);
    EXPECT_EQ(ProbePort(pty.SlavePath()), 1);
}

TEST_F(SerialPort, ReconfigureWithoutOpenPortFails) { EXPECT_EQ(serial.Reconfigure(9600, 0), 0); }

enum class Interruption { Reconfigure, ApplySettingsSameDevice, CloseAndOpen, OpenAgain };
void PrintTo(Interruption i, std::ostream *os) { *os << static_cast<int>(i); }

class HalfFrame : public ::testing::TestWithParam<Interruption> {};

TEST_P(HalfFrame, IsDroppedWhenTheLineIsResetOrReopened) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok()) << pty.Error();
    RecordingTarget target;
    CountingSerial serial;
    serial.SetNotifyWindow(&target, 1);
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);

    const Bytes half = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02};
    ASSERT_TRUE(pty.WriteMaster(half));
    ASSERT_TRUE(serial.WaitForTaken(half.size()));

    switch (GetParam()) {
    case Interruption::Reconfigure:
        ASSERT_EQ(serial.Reconfigure(19200, 0), 1);
        break;
    case Interruption::ApplySettingsSameDevice:
        ASSERT_EQ(serial.ApplySettings(pty.SlavePath(), 9600, 2), 1);
        break;
    case Interruption::CloseAndOpen:
        serial.Close();
        ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
        break;
    case Interruption::OpenAgain:
        ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
        break;
    }

    // Glued to the half frame, this reply would make one 21-byte frame with channel 0xAF.
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 5)));
    ASSERT_TRUE(target.WaitForReplies(1));
    // A marker frame: whatever was announced before it is all there is.
    ASSERT_TRUE(pty.WriteMaster(Reply(CmdChannelRead, 7)));
    ASSERT_TRUE(target.WaitForReplies(2));
    const auto replies = target.Replies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].channel, 5);
    EXPECT_EQ(replies[1].channel, 7);
}

INSTANTIATE_TEST_SUITE_P(Resets, HalfFrame,
                         ::testing::Values(Interruption::Reconfigure, Interruption::ApplySettingsSameDevice,
                                           Interruption::CloseAndOpen, Interruption::OpenAgain),
                         [](const ::testing::TestParamInfo<Interruption> &info) {
                             switch (info.param) {
                             case Interruption::Reconfigure:
                                 return "Reconfigure";
                             case Interruption::ApplySettingsSameDevice:
                                 return "ApplySettingsSameDevice";
                             case Interruption::CloseAndOpen:
                                 return "CloseAndOpen";
                             case Interruption::OpenAgain:
                                 return "OpenAgain";
                             }
                             return "Unknown";
                         });

TEST_F(SerialPort, UnplugIsReportedAndThePortCanBeClosed) {
    ASSERT_EQ(serial.Open(pty.SlavePath(), 9600, 0), 1);
    pty.CloseMaster();

    ASSERT_TRUE(target.WaitForLost());
    EXPECT_EQ(target.Lost()->kind, SerialErrorKind::Lost);
    EXPECT_TRUE(serial.IsLost());
    EXPECT_EQ(serial.LastError().kind, SerialErrorKind::Lost);
    EXPECT_TRUE(WaitUntil([&] { return serial.ReceiveExitCode() == CXSerial::kExitPortLost; }))
        << serial.ReceiveExitCode();
    EXPECT_FALSE(SendScanRadio(serial));
    const std::uint8_t byte = 0x55;
    EXPECT_EQ(serial.Write(&byte, 1), 0);

    EXPECT_EQ(serial.Close(), 1);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_FALSE(serial.IsLost());
}

} // namespace
} // namespace corvanta
