#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "protocol/ModuleFrame.h"
#include "protocol/Requests.h"
#include "serial/NerloSerial.h"
#include "serial/ReplyWaiter.h"
#include "sim/SimulatedModule.h"
#include "support/StartModule.h"
#include "support/Wait.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;
using corvanta::ReplyFields;
using corvanta::sim::ModuleState;
using corvanta::sim::SimOptions;
using corvanta::sim::SimulatedModule;
using corvanta::test::StartModule;

constexpr auto kAnswerWait = 2000ms;
// Long enough for an answer that would come: the module replies after 20 ms.
constexpr auto kSilenceWait = 300ms;

// A condition that the module's thread makes true; false when it never does.
bool Eventually(const std::function<bool()> &condition) { return corvanta::test::WaitUntil(condition, kAnswerWait); }

// A port as the configuration tool uses it. The waiter outlives the port,
// which posts to it from its receive thread.
struct Client {
    corvanta::ReplyWaiter waiter;
    corvanta::NerloSerial port;

    bool Open(const std::string &path, std::uint32_t baud, std::uint32_t parity) {
        port.SetNotifyWindow(&waiter, 1);
        return port.Open(path, baud, parity) != 0;
    }
    std::optional<ReplyFields> Read(std::uint8_t command, std::chrono::milliseconds wait = kAnswerWait) {
        waiter.Clear();
        if (!(command == corvanta::CmdScanRadio ? corvanta::SendScanRadio(port)
                                                : corvanta::SendReadRequest(port, command)))
            return std::nullopt;
        return waiter.WaitFor(command, wait);
    }
};

ModuleState Distinct() {
    ModuleState s;
    s.channel = 17;
    s.band = 3;
    s.rfBaud = 57600;
    s.id = 0xBEEF;
    return s;
}

// ---- reads answered from the state -------------------------------------

struct ReadCase {
    std::string name;
    std::uint8_t command;
    std::function<void(const ReplyFields &)> check;
};

void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.name; }

class SimReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(SimReadTest, AnswersWithTheStateValue) {
    SimOptions options;
    options.state = Distinct();
    auto module = StartModule(options);
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0)) << client.port.LastError().message;
    const auto reply = client.Read(GetParam().command);
    ASSERT_TRUE(reply) << "no answer";
    GetParam().check(*reply);
    // Counted once written, so possibly just after the client has the reply.
    EXPECT_TRUE(Eventually([&] { return module->RequestsAnswered() == 1; }));
}

INSTANTIATE_TEST_SUITE_P(Reads, SimReadTest,
                         ::testing::Values(ReadCase{"Channel", corvanta::CmdChannelRead,
                                                    [](const ReplyFields &r) { EXPECT_EQ(r.channel, 17); }},
                                           ReadCase{"Search", corvanta::CmdScanRadio,
                                                    [](const ReplyFields &r) {
                                                        EXPECT_EQ(r.scanChannel, 17);
                                                        EXPECT_EQ(r.bandCode, 3);
                                                    }},
                                           ReadCase{"AirBaud", corvanta::CmdRfBaudRateRead,
                                                    [](const ReplyFields &r) { EXPECT_EQ(r.rfBaudCode, 7); }},
                                           ReadCase{"SerialParams", corvanta::CmdComParamRead,
                                                    [](const ReplyFields &r) {
                                                        EXPECT_EQ(r.comBaudCode, 4);
                                                        EXPECT_EQ(r.comParity, 0);
                                                    }},
                                           ReadCase{"Id", corvanta::CmdGuestIdRead,
                                                    [](const ReplyFields &r) { EXPECT_EQ(r.GuestId(), 0xBEEF); }}),
                         [](const auto &info) { return info.param.name; });

// ---- writes ----------------------------------------------------------------

TEST(SimulatedModule, WrittenChannelIsKeptAndReadBack) {
    auto module = StartModule();
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    ASSERT_TRUE(corvanta::SendChannel(client.port, 23));
    const auto written = client.waiter.WaitFor(corvanta::CmdChannelSet, kAnswerWait);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->channel, 23);
    EXPECT_EQ(module->State().channel, 23);
    const auto read = client.Read(corvanta::CmdChannelRead);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->channel, 23);
}

// 3338 is 0D 0A: the client's assembler ends that reply at the ID's own CR LF,
// with both ID bytes already in.
TEST(SimulatedModule, IdHoldingCrLfSurvivesBothWays) {
    auto module = StartModule();
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    ASSERT_TRUE(corvanta::SendGuestId(client.port, 3338));
    const auto written = client.waiter.WaitFor(corvanta::CmdGuestIdSet, kAnswerWait);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->GuestId(), 3338);
    EXPECT_EQ(module->State().id, 3338);
    const auto read = client.Read(corvanta::CmdGuestIdRead);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GuestId(), 3338);
}

TEST(SimulatedModule, OutOfRangeWriteIsHeardButNotAnswered) {
    auto module = StartModule();
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    ASSERT_TRUE(corvanta::SendChannel(client.port, 33));
    EXPECT_FALSE(client.waiter.WaitFor(corvanta::CmdChannelSet, kSilenceWait));
    EXPECT_TRUE(Eventually([&] { return module->RequestsHeard() == 1; }));
    EXPECT_EQ(module->State().channel, 5);
    EXPECT_EQ(module->RequestsAnswered(), 0u);
}

// ---- line settings -------------------------------------------------------

struct LineCase {
    std::string name;
    std::uint32_t moduleBaud;
    std::uint8_t moduleParity;
    std::uint32_t portBaud;
    std::uint32_t portParity;
};

void PrintTo(const LineCase &c, std::ostream *os) { *os << c.name; }

class SimLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(SimLineTest, OnlyTheModulesOwnSettingGetsAnswers) {
    const LineCase &c = GetParam();
    SimOptions options;
    options.state.baud = c.moduleBaud;
    options.state.parity = c.moduleParity;
    auto module = StartModule(options);
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), c.portBaud, c.portParity));
    EXPECT_FALSE(client.Read(corvanta::CmdChannelRead, kSilenceWait));
    EXPECT_EQ(module->RequestsHeard(), 0u);

    // Same port, re-timed to match: the module was only deaf, not dead.
    ASSERT_TRUE(client.port.Reconfigure(c.moduleBaud, c.moduleParity));
    EXPECT_TRUE(client.Read(corvanta::CmdChannelRead));
}

INSTANTIATE_TEST_SUITE_P(Mismatches, SimLineTest,
                         ::testing::Values(LineCase{"WrongSpeed", 9600, 0, 19200, 0},
                                           LineCase{"ParityOnModuleWithout", 9600, 0, 9600, 2},
                                           LineCase{"ParityOffModuleOdd", 115200, 1, 115200, 0},
                                           LineCase{"EvenAgainstOdd", 4800, 1, 4800, 2},
                                           LineCase{"OddAgainstEven", 4800, 2, 4800, 1}),
                         [](const auto &info) { return info.param.name; });

TEST(SimulatedModule, SerialParamWriteAnsweredAtOldSettingThenSwitches) {
    auto module = StartModule();
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    ASSERT_TRUE(corvanta::SendComParam(client.port, 5, 2)); // 19200 even
    const auto reply = client.waiter.WaitFor(corvanta::CmdComParamSet, kAnswerWait);
    ASSERT_TRUE(reply) << "the reply must come at the old setting";
    EXPECT_EQ(reply->comBaudCode, 5);
    EXPECT_EQ(reply->comParity, 2);

    EXPECT_FALSE(client.Read(corvanta::CmdChannelRead, kSilenceWait));
    ASSERT_TRUE(client.port.Reconfigure(19200, 2));
    const auto params = client.Read(corvanta::CmdComParamRead);
    ASSERT_TRUE(params);
    EXPECT_EQ(params->comBaudCode, 5);
    EXPECT_EQ(params->comParity, 2);
    EXPECT_EQ(module->State().baud, 19200u);
    EXPECT_EQ(module->State().parity, 2);
}

TEST(SimulatedModule, SilentModuleHearsButNeverAnswers) {
    SimOptions options;
    options.silent = true;
    auto module = StartModule(options);
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    EXPECT_FALSE(client.Read(corvanta::CmdChannelRead, kSilenceWait));
    ASSERT_TRUE(corvanta::SendChannel(client.port, 9));
    EXPECT_FALSE(client.waiter.WaitFor(corvanta::CmdChannelSet, kSilenceWait));
    EXPECT_TRUE(Eventually([&] { return module->RequestsHeard() == 2; }));
    EXPECT_EQ(module->RequestsAnswered(), 0u);
    EXPECT_EQ(module->State(), ModuleState{});
}

TEST(SimulatedModule, LogShowsTrafficAndDroppedBytesInHex) {
    std::ostringstream log;
    SimOptions options;
    options.log = &log;
    auto module = StartModule(options);
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 19200, 1));
    EXPECT_FALSE(client.Read(corvanta::CmdChannelRead, kSilenceWait));
    ASSERT_TRUE(client.port.Reconfigure(9600, 0));
    ASSERT_TRUE(client.Read(corvanta::CmdChannelRead));
    module->Stop(); // the log is written by the module's thread

    const std::string text = log.str();
    EXPECT_NE(text.find("line is 19200 odd, module is 9600 none"), std::string::npos) << text;
    EXPECT_NE(text.find("rx AF AF 00 00 AF 80 06 02 00 00 95 0D 0A\n"), std::string::npos) << text;
    EXPECT_NE(text.find("tx AF AF 00 00 AF 80 06 02 05 00 9A 0D 0A\n"), std::string::npos) << text;
}

// ---- lifetime ------------------------------------------------------------

TEST(SimulatedModule, StopWithClientConnectedEndsTheConversation) {
    auto module = StartModule();
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    ASSERT_TRUE(client.Read(corvanta::CmdChannelRead));
    module->Stop();
    module->Stop();
    EXPECT_FALSE(client.Read(corvanta::CmdChannelRead, kSilenceWait));
}

// Stop must not sit out the reply delay; were it to, the test would run into ctest's timeout.
TEST(SimulatedModule, StopInterruptsAPendingReply) {
    SimOptions options;
    options.replyDelayMs = 600000;
    auto module = StartModule(options);
    Client client;
    ASSERT_TRUE(client.Open(module->DevicePath(), 9600, 0));
    ASSERT_TRUE(corvanta::SendReadRequest(client.port, corvanta::CmdChannelRead));
    ASSERT_TRUE(Eventually([&] { return module->RequestsHeard() == 1; }));
    module->Stop();
    EXPECT_EQ(module->RequestsAnswered(), 0u);
}

// The module keeps the slave open, so an exclusive flag left by a client
// that never cleared it (killed, or another program) would outlive that
// client and lock every later non-root user out.
TEST(SimulatedModule, ExclusiveUseEndsWithTheClientThatSetIt) {
    auto module = StartModule();
    const std::string &path = module->DevicePath();
    const int careless = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(careless, 0) << std::strerror(errno);
    ASSERT_EQ(::ioctl(careless, TIOCEXCL), 0);
    ::close(careless);

    const int probe = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); // root passes the flag
    ASSERT_GE(probe, 0) << std::strerror(errno);
    EXPECT_TRUE(Eventually([&] {
        int exclusive = 1;
        return ::ioctl(probe, TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
    }));
    ::close(probe);

    Client next;
    ASSERT_TRUE(next.Open(path, 9600, 0)) << next.port.LastError().message;
    EXPECT_TRUE(next.Read(corvanta::CmdChannelRead));
}

TEST(SimulatedModule, RefusesAnUnsupportedUart) {
    SimOptions options;
    options.state.baud = 14400;
    SimulatedModule module(options);
    std::string error;
    EXPECT_FALSE(module.Start(&error));
    EXPECT_FALSE(error.empty());
}

// ---- the corvanta-sim program --------------------------------------------

struct Child {
    pid_t pid = -1;
    int out = -1; // its stdout
    int err = -1; // its stderr

    ~Child() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        if (out >= 0)
            ::close(out);
        if (err >= 0)
            ::close(err);
    }

    bool Spawn(std::vector<std::string> args) {
        int outPipe[2];
        int errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
        args.insert(args.begin(), CORVANTA_SIM_PATH);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid, CORVANTA_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        out = outPipe[0];
        err = errPipe[0];
        if (rc != 0)
            pid = -1;
        return rc == 0;
    }

    // Up to the first newline; empty when none comes in time.
    std::string FirstLine() {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        char c;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            if (::read(out, &c, 1) != 1)
                return {};
            if (c == '\n')
                return line;
            line += c;
        }
        return {};
    }

    std::string ReadAll(int fd) {
        std::string text;
        char buf[512];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            text.append(buf, static_cast<std::size_t>(n));
        return text;
    }

    // The exit status once it ends; -1 when it ended otherwise.
    int Wait() {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, 0);
        pid = -1;
        if (done < 0 || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    }
};

TEST(SimProgram, ServesItsPtyAndExitsCleanlyOnSigterm) {
    Child sim;
    ASSERT_TRUE(sim.Spawn({"--channel", "9", "--parity", "odd", "--baud", "38400", "--log"}));
    const std::string path = sim.FirstLine();
    ASSERT_FALSE(path.empty()) << "no device path on stdout";
    {
        Client client;
        ASSERT_TRUE(client.Open(path, 38400, 1)) << client.port.LastError().message;
        const auto reply = client.Read(corvanta::CmdChannelRead);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->channel, 9);
    }
    ASSERT_EQ(::kill(sim.pid, SIGTERM), 0);
    EXPECT_EQ(sim.Wait(), 0);
    const std::string log = sim.ReadAll(sim.err);
    EXPECT_NE(log.find("tx AF AF 00 00 AF 80 06 02 09 00"), std::string::npos) << log;
}

class SimProgramBadArgs : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(SimProgramBadArgs, ExitsWithTwo) {
    Child sim;
    ASSERT_TRUE(sim.Spawn(GetParam()));
    EXPECT_EQ(sim.Wait(), 2);
    EXPECT_FALSE(sim.ReadAll(sim.err).empty());
    EXPECT_TRUE(sim.ReadAll(sim.out).empty()) << "no device path for bad arguments";
}

INSTANTIATE_TEST_SUITE_P(
    Values, SimProgramBadArgs,
    ::testing::Values(std::vector<std::string>{"--baud", "14400"}, std::vector<std::string>{"--parity", "mark"},
                      std::vector<std::string>{"--channel", "0"}, std::vector<std::string>{"--channel", "33"},
                      std::vector<std::string>{"--band", "4"}, std::vector<std::string>{"--rf-baud", "300"},
                      std::vector<std::string>{"--id", "65536"}, std::vector<std::string>{"--power", "8"},
                      std::vector<std::string>{"--reply-delay", "-1"}, std::vector<std::string>{"stray"}));

TEST(SimProgram, HelpExplainsHowLineSettingsAreRead) {
    Child sim;
    ASSERT_TRUE(sim.Spawn({"--help"}));
    const std::string help = sim.ReadAll(sim.out);
    EXPECT_EQ(sim.Wait(), 0);
    for (const char *word : {"INPCK", "PARENB", "PARODD", "match"})
        EXPECT_NE(help.find(word), std::string::npos) << word;
}

} // namespace
