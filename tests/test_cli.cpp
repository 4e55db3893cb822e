// corvanta-cli end to end against the simulated module.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "serial/NerloSerial.h"
#include "sim/SimulatedModule.h"
#include "support/CliRun.h"

namespace {

using corvanta::test::CliResult;
using corvanta::test::Invoke;

class CliAgainstModule : public ::testing::Test {
protected:
    void StartModule(corvanta::sim::ModuleState state, bool silent = false) {
        module = std::make_unique<corvanta::sim::SimulatedModule>(
            corvanta::sim::SimOptions{.state = state, .silent = silent});
        std::string why;
        ASSERT_TRUE(module->Start(&why)) << why;
    }
    // The module's own settings plus the PC side's, then the command.
    CliResult RunOn(std::vector<std::string> args) {
        args.insert(args.begin(), {"-p", module->DevicePath()});
        return Invoke(args);
    }
    std::unique_ptr<corvanta::sim::SimulatedModule> module;
};

corvanta::sim::ModuleState SampleModule() {
    corvanta::sim::ModuleState state;
    state.channel = 7;
    state.band = 2;
    state.rfBaud = 19200;
    state.baud = 9600;
    state.parity = 0;
    state.id = 3338; // 0x0D0A: the ID reply is cut at its own CR LF and must still read right
    state.power = 5;
    return state;
}

TEST_F(CliAgainstModule, ReadAllPrintsEveryValueOneALine) {
    StartModule(SampleModule());
    const CliResult r = RunOn({"read", "all"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "channel: 7 (433.0761MHz)\n"
                     "band: 2\n"
                     "rf-baud: 19200\n"
                     "serial: 9600 none\n"
                     "id: 03338\n");
}

TEST_F(CliAgainstModule, ReadAllAsJsonUsesTheDocumentedKeys) {
    auto state = SampleModule();
    state.band = 3;
    state.channel = 8;
    state.baud = 57600;
    state.parity = 2;
    StartModule(state);
    const CliResult r = RunOn({"-b", "57600", "--parity", "even", "--json", "read", "all"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, R"({"channel":8,"frequency":"492.4388MHz","band":3,"rf_baud":19200,"serial_baud":57600,)"
                     R"("parity":"even","id":3338})"
                     "\n");
}

TEST_F(CliAgainstModule, SingleReadsPrintOnlyTheirValue) {
    StartModule(SampleModule());
    const struct {
        const char *what;
        const char *out;
    } cases[] = {
        {"channel", "channel: 7\n"},
        {"rf-baud", "rf-baud: 19200\n"},
        {"serial", "serial: 9600 none\n"},
        {"id", "id: 03338\n"},
    };
    for (const auto &c : cases) {
        const CliResult r = RunOn({"read", c.what});
        EXPECT_EQ(r.code, 0) << c.what << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.what;
    }
}

TEST_F(CliAgainstModule, EachWriteChangesTheModuleAndPrintsItsAnswer) {
    StartModule(SampleModule());
    const struct {
        std::vector<std::string> args;
        const char *out;
    } cases[] = {
        {{"write", "channel", "32"}, "channel: 32 (verified)\n"},
        {{"write", "rf-baud", "115200"}, "rf-baud: 115200 (verified)\n"},
        {{"write", "id", "65535"}, "id: 65535 (verified)\n"},
        {{"write", "id", "0"}, "id: 00000 (verified)\n"},
        {{"write", "power", "1"}, "power: 1 (not verifiable: the module has no request to read it)\n"},
        {{"--no-verify", "write", "channel", "31"}, "channel: 31\n"},
    };
    for (const auto &c : cases) {
        const CliResult r = RunOn(c.args);
        EXPECT_EQ(r.code, 0) << c.out << ": " << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    const auto state = module->State();
    EXPECT_EQ(state.channel, 31);
    EXPECT_EQ(state.rfBaud, 115200u);
    EXPECT_EQ(state.id, 0);
    EXPECT_EQ(state.power, 1);
}

TEST_F(CliAgainstModule, SerialWriteMovesTheModuleToTheNewSetting) {
    StartModule(SampleModule());
    const CliResult w = RunOn({"write", "serial", "38400", "odd"});
    ASSERT_EQ(w.code, 0) << w.err;
    EXPECT_EQ(w.out, "serial: 38400 odd (verified)\n");
    EXPECT_NE(w.err.find("-b 38400 --parity odd"), std::string::npos) << w.err;

    EXPECT_EQ(RunOn({"--timeout", "300", "read", "channel"}).code, 1);
    const CliResult r = RunOn({"-b", "38400", "--parity", "odd", "read", "serial"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "serial: 38400 odd\n");
}

TEST_F(CliAgainstModule, SearchFromNineSixHundredFindsNineteenTwoOddOnTheFifthTry) {
    auto state = SampleModule();
    state.baud = 19200;
    state.parity = 1;
    StartModule(state);
    const CliResult r = RunOn({"--json", "search", "--from", "9600,none", "--interval", "400"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, R"({"baud":19200,"parity":"odd","channel":7,"frequency":"433.0761MHz","band":2})"
                     "\n");
    EXPECT_EQ(r.err, "") << "silence at a wrong setting is no error";
    // The four settings before it reached the module as noise; only the fifth was heard.
    EXPECT_EQ(module->RequestsHeard(), 1u);
}

TEST_F(CliAgainstModule, SearchThatNobodyAnswersEndsWithExitOne) {
    auto state = SampleModule();
    state.baud = 4800;
    StartModule(state);
    const CliResult r = RunOn({"search", "--from", "9600,none", "--interval", "60"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("any of the 15 settings from 9600 none to 115200 even"), std::string::npos) << r.err;
    EXPECT_EQ(module->RequestsHeard(), 0u);
}

TEST_F(CliAgainstModule, ModuleAtAnotherSpeedOrSilentGivesNoReply) {
    StartModule(SampleModule());
    CliResult r = RunOn({"-b", "19200", "--timeout", "300", "read", "channel"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no reply to read channel within 300 ms"), std::string::npos) << r.err;
    r = RunOn({"--parity", "even", "--timeout", "300", "read", "id"});
    EXPECT_EQ(r.code, 1);

    StartModule(SampleModule(), /*silent=*/true);
    r = RunOn({"--timeout", "300", "write", "channel", "3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(module->State().channel, 7);
}

TEST_F(CliAgainstModule, BadValuesAreRefusedBeforeAnythingIsSent) {
    StartModule(SampleModule());
    const struct {
        std::vector<std::string> args;
        const char *message; // part of the message on stderr
    } cases[] = {
        {{"write", "channel", "0"}, "channel must be a whole number from 1 to 32, not '0'"},
        {{"write", "channel", "33"}, "from 1 to 32"},
        {{"write", "channel", "12a"}, "not '12a'"},
        {{"write", "id", "65536"}, "ID must be a whole number from 0 to 65535, not '65536'"},
        {{"write", "id", "99999"}, "not '99999'"},
        {{"write", "id", "-3"}, ""},
        {{"write", "id", "-"}, ""},
        {{"write", "id", " 5"}, "not ' 5'"},
        {{"write", "id", ""}, "not ''"},
        {{"write", "power", "8"}, "power level must be a whole number from 1 to 7"},
        {{"write", "rf-baud", "14400"},
         "air baud rate must be one of 1200, 2400, 4800, 9600, 19200, 38400, 57600, "
         "115200, not '14400'"},
        {{"write", "serial", "9600", "mark"}, "parity must be none, odd or even, not 'mark'"},
        {{"write", "serial", "9600"}, ""},
        {{"-b", "14400", "read", "channel"}, "baud rate must be one of"},
        {{"--parity", "space", "read", "channel"}, "not 'space'"},
        {{"--timeout", "soon", "read", "channel"}, "timeout must be a whole number"},
        {{"read", "power"}, ""},
        {{"read"}, ""},
        {{"erase"}, ""},
        {{"search", "--from", "9600"}, "--from must be RATE,PARITY"},
        {{"search", "--from", "9601,none"}, "search start rate must be one of"},
        {{"search", "--interval", "0"}, "interval must be a whole number"},
    };
    for (const auto &c : cases) {
        const CliResult r = RunOn(c.args);
        EXPECT_EQ(r.code, 2) << c.args.back();
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.args.back();
    }
    EXPECT_EQ(module->RequestsHeard(), 0u);
    EXPECT_EQ(module->State(), SampleModule());
}

TEST(Cli, NeedsExactlyOnePortSource) {
    CliResult r = Invoke({"read", "channel"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no port given: use -p PORT"), std::string::npos) << r.err;
    r = Invoke({"-p", "/dev/ttyUSB0", "--simulate", "read", "channel"});
    EXPECT_EQ(r.code, 2);
}

TEST(Cli, PortThatCannotBeOpenedSaysWhy) {
    CliResult r = Invoke({"-p", "/dev/corvanta-no-such-port", "read", "channel"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("cannot open /dev/corvanta-no-such-port: no such device"), std::string::npos) << r.err;

    r = Invoke({"-p", "/dev/null", "read", "channel"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("not a serial port"), std::string::npos) << r.err;

    corvanta::sim::SimulatedModule module;
    ASSERT_TRUE(module.Start());
    corvanta::NerloSerial holder;
    ASSERT_TRUE(holder.Open(module.DevicePath(), 9600, 0));
    r = Invoke({"-p", module.DevicePath(), "read", "channel"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("held by another program"), std::string::npos) << r.err;
}

TEST(Cli, SimulateReadsTheBuiltInModule) {
    const CliResult r = Invoke({"--simulate", "read", "all"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("channel: 5 (433.0682MHz)\nband: 2\n", 0), 0u) << r.out;
}

TEST(Cli, ProgramOptionsMayFollowTheCommand) {
    const CliResult r = Invoke({"--simulate", "read", "channel", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "{\"channel\":5}\n");
}

TEST(Cli, HelpExitsZeroAndNamesTheCommands) {
    const CliResult r = Invoke({"--help"});
    EXPECT_EQ(r.code, 0);
    for (const char *word : {"ports", "read", "write", "search", "--simulate", "--json"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

TEST(Cli, PortsListsWithoutOpeningAndAsJsonArray) {
    const CliResult r = Invoke({"--json", "ports"});
    EXPECT_EQ(r.code, 0);
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(r.out.front(), '[');
    EXPECT_EQ(r.out.substr(r.out.size() - 2), "]\n");
}

// The real programs, as a user runs them: corvanta-sim in one process, corvanta-cli in another.
std::string CommandOutput(const std::string &command, int &status) {
    FILE *pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe))
        text += buffer;
    status = pipe ? ::pclose(pipe) : -1;
    return text;
}

TEST(CliProgram, TalksToTheSimulatorProgram) {
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t sim = ::fork();
    ASSERT_GE(sim, 0);
    if (sim == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::execl(CORVANTA_SIM_PATH, "corvanta-sim", "--channel", "17", "--baud", "115200", "--parity", "odd",
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    FILE *simOut = ::fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, simOut), nullptr);
    std::string device(line);
    device.erase(device.find_last_not_of('\n') + 1);

    int status = 0;
    const std::string text = CommandOutput(
        std::string(CORVANTA_CLI_PATH) + " -p " + device + " -b 115200 --parity odd --json read channel", status);
    EXPECT_EQ(text, "{\"channel\":17}\n");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    CommandOutput(std::string(CORVANTA_CLI_PATH) + " -p " + device + " --timeout 200 read channel 2>/dev/null", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;

    ::kill(sim, SIGTERM);
    int simStatus = 0;
    ASSERT_EQ(::waitpid(sim, &simStatus, 0), sim);
    EXPECT_TRUE(WIFEXITED(simStatus) && WEXITSTATUS(simStatus) == 0) << simStatus;
    std::fclose(simOut);
}

TEST(CliProgram, BadArgumentExitsTwo) {
    int status = 0;
    CommandOutput(std::string(CORVANTA_CLI_PATH) + " --bogus read channel 2>/dev/null", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
}

} // namespace
