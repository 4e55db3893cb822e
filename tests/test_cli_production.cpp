// corvanta-cli on a production bench: verified writes, profiles, many modules
// at once and Ctrl-C, end to end against simulated modules.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "cli/CliApp.h"
#include "sim/SimulatedModule.h"
#include "support/CliRun.h"
#include "support/StartModule.h"
#include "support/Wait.h"

namespace {

using namespace std::chrono_literals;
using corvanta::sim::ModuleState;
using corvanta::sim::SimulatedModule;
using corvanta::test::CliResult;
using corvanta::test::Invoke;
using corvanta::test::WaitUntil;
using Json = nlohmann::json;

std::unique_ptr<SimulatedModule> StartModule(ModuleState state, bool silent = false, bool ignoreWrites = false) {
    return corvanta::test::StartModule({.state = state, .silent = silent, .ignoreWrites = ignoreWrites});
}

ModuleState Module(int channel, int id) {
    ModuleState state;
    state.channel = static_cast<std::uint8_t>(channel);
    state.id = static_cast<std::uint16_t>(id);
    return state;
}

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/corvanta-cli-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string File(const std::string &name, const std::string &text = "") const {
        const std::string file = path + "/" + name;
        if (!text.empty())
            std::ofstream(file) << text;
        return file;
    }

private:
    std::string path;
};

// A module that acknowledges writes but keeps its values: only reading back catches it.
TEST(VerifiedWrite, CatchesAModuleThatDoesNotApplyWrites) {
    auto module = StartModule(Module(7, 1), false, /*ignoreWrites=*/true);
    const struct {
        std::vector<std::string> args;
        const char *message;
    } cases[] = {
        {{"write", "channel", "9"}, "wrote channel 9, the module reads back 7"},
        {{"write", "rf-baud", "38400"}, "wrote air baud rate 38400, the module reads back 9600"},
        {{"write", "id", "513"}, "wrote ID 00513, the module reads back 00001"},
        {{"write", "serial", "38400", "odd"},
         "the module acknowledged the serial parameters but does not answer at 38400 odd"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = {"-p", module->DevicePath(), "--timeout", "400"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = Invoke(args);
        EXPECT_EQ(r.code, 4) << c.args[1];
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.args[1];
    }
    // Unchecked, the same write passes: the failure above came from reading back.
    const CliResult r = Invoke({"-p", module->DevicePath(), "--no-verify", "write", "channel", "9"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "channel: 9\n");
}

TEST(VerifiedWrite, PowerSaysNotVerifiableInJsonToo) {
    auto module = StartModule(Module(7, 1));
    const CliResult r = Invoke({"-p", module->DevicePath(), "--json", "write", "power", "4"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out), Json::parse(R"({"power":4,"verified":false})"));
    EXPECT_EQ(module->State().power, 4);
}

TEST(Profile, SavedFromOneModuleAndAppliedToAnother) {
    TempDir dir;
    ModuleState source = Module(12, 4242);
    source.rfBaud = 57600;
    source.baud = 19200;
    source.parity = 2;
    auto from = StartModule(source);
    const std::string file = dir.File("bench.json");
    CliResult r = Invoke({"-p", from->DevicePath(), "-b", "19200", "--parity", "even", "profile", "save", file});
    ASSERT_EQ(r.code, 0) << r.err;
    std::ifstream saved(file);
    const Json profile = Json::parse(saved);
    EXPECT_EQ(profile, Json::parse(R"({"format":1,"channel":12,"frequency":"431.0622MHz","band":2,"rf_baud":57600,
                                       "serial_baud":19200,"parity":"even","id":4242})"));

    auto to = StartModule(Module(12, 1));
    r = Invoke({"-p", to->DevicePath(), "profile", "apply", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "channel: 12 (unchanged, verified)\n"
                     "rf-baud: 9600 -> 57600 (verified)\n"
                     "id: 00001 -> 04242 (verified)\n"
                     "serial: 9600 none -> 19200 even (verified)\n");
    ModuleState expected = source;
    expected.power = to->State().power;
    EXPECT_EQ(to->State(), expected);
}

TEST(Profile, PowerIsWrittenButNotVerifiable) {
    TempDir dir;
    auto module = StartModule(Module(3, 1));
    const std::string file = dir.File("power.json", R"({"format": 1, "power": 2, "channel": 4})");
    const CliResult r = Invoke({"-p", module->DevicePath(), "--json", "profile", "apply", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out),
              Json::parse(R"({"channel":4,"power":2,"changed":["channel","power"],"verified":false})"));
    EXPECT_EQ(module->State().power, 2);
    EXPECT_EQ(module->State().channel, 4);
}

TEST(Profile, BadFilesAreRejectedBeforeAnythingIsSent) {
    TempDir dir;
    auto module = StartModule(Module(3, 1));
    const struct {
        const char *name;
        const char *text;
        const char *message;
    } cases[] = {
        {"unknown.json", R"({"format":1,"chanel":3})", "unknown key \"chanel\""},
        {"null.json", R"({"format":1,"channel":null})", "\"channel\" has no value"},
        {"range.json", R"({"format":1,"channel":33})", "\"channel\" must be a whole number from 1 to 32, not 33"},
        {"fraction.json", R"({"format":1,"id":2.5})", "\"id\" must be a whole number from 0 to 65535, not 2.5"},
        {"negative.json", R"({"format":1,"id":-1})", "\"id\" must be a whole number"},
        {"text.json", R"({"format":1,"power":"7"})", "\"power\" must be a whole number from 1 to 7"},
        {"rate.json", R"({"format":1,"rf_baud":14400})", "\"rf_baud\" must be one of"},
        {"wide.json", R"({"format":1,"serial_baud":4294976896,"parity":"none"})", "not 4294976896"},
        {"parity.json", R"({"format":1,"serial_baud":9600,"parity":"mark"})", "\"parity\" must be"},
        {"half.json", R"({"format":1,"serial_baud":9600})", "\"serial_baud\" needs \"parity\" too"},
        {"format.json", R"({"format":2,"channel":3})", "\"format\" must be 1, not 2"},
        {"noformat.json", R"({"channel":3})", "missing key \"format\""},
        {"empty.json", R"({"format":1,"band":2})", "nothing to apply"},
        {"array.json", R"([{"format":1}])", "a profile is one JSON object"},
        {"broken.json", R"({"format":1,)", "is not valid JSON"},
    };
    for (const auto &c : cases) {
        const CliResult r = Invoke({"-p", module->DevicePath(), "profile", "apply", dir.File(c.name, c.text)});
        EXPECT_EQ(r.code, 2) << c.name;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    }
    const CliResult missing = Invoke({"-p", module->DevicePath(), "profile", "apply", dir.File("absent.json")});
    EXPECT_EQ(missing.code, 2);
    EXPECT_NE(missing.err.find("cannot read profile"), std::string::npos) << missing.err;
    EXPECT_EQ(module->RequestsHeard(), 0u);
}

// Eight modules on a bench, one silent and one that ignores writes.
class Bench : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 0; i < 8; ++i)
            modules.push_back(StartModule(Module(i + 1, 100 + i), /*silent=*/i == 3, /*ignoreWrites=*/i == 6));
    }
    std::vector<std::string> PortArgs() const {
        std::vector<std::string> args;
        for (const auto &m : modules) {
            args.push_back("-p");
            args.push_back(m->DevicePath());
        }
        return args;
    }
    std::vector<std::unique_ptr<SimulatedModule>> modules;
};

TEST_F(Bench, ProfileAppliedToEveryModuleInParallel) {
    TempDir dir;
    const std::string file = dir.File("line.json", R"({"format":1,"channel":20,"id":777})");
    auto args = PortArgs();
    args.insert(args.end(), {"--timeout", "500", "--json", "profile", "apply", file});
    const CliResult r = Invoke(args);
    EXPECT_EQ(r.code, 4) << "the worst outcome, the module that ignores writes";
    const Json results = Json::parse(r.out);
    ASSERT_EQ(results.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        const Json &entry = results[static_cast<std::size_t>(i)];
        EXPECT_EQ(entry["port"], modules[static_cast<std::size_t>(i)]->DevicePath());
        if (i == 3) {
            EXPECT_EQ(entry["result"], "error");
            EXPECT_EQ(entry["exit_code"], 1);
            EXPECT_NE(entry["error"].get<std::string>().find("no reply"), std::string::npos) << entry;
        } else if (i == 6) {
            EXPECT_EQ(entry["exit_code"], 4);
            EXPECT_NE(entry["error"].get<std::string>().find("wrote channel 20, the module reads back 7"),
                      std::string::npos)
                << entry;
        } else {
            EXPECT_EQ(entry["result"], "ok") << entry;
            EXPECT_EQ(entry["channel"], 20);
            EXPECT_EQ(entry["id"], 777);
            EXPECT_EQ(entry["verified"], true);
            EXPECT_EQ(modules[static_cast<std::size_t>(i)]->State().channel, 20);
            EXPECT_EQ(modules[static_cast<std::size_t>(i)]->State().id, 777);
        }
    }
    // A failing module stops nobody else, and is left as it was.
    EXPECT_EQ(modules[6]->State().channel, 7);
}

TEST_F(Bench, ReadPrintsOneLinePerPortInOrder) {
    auto args = PortArgs();
    args.insert(args.end(), {"--timeout", "400", "read", "id"});
    const CliResult r = Invoke(args);
    EXPECT_EQ(r.code, 1);
    std::istringstream lines(r.out);
    std::string line;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(std::getline(lines, line));
        const std::string port = modules[static_cast<std::size_t>(i)]->DevicePath();
        if (i == 3)
            EXPECT_EQ(line.rfind(port + ": error 1: no reply to read ID within 400 ms", 0), 0u) << line;
        else
            EXPECT_EQ(line, port + ": ok: id: " + corvanta::cli::IdText(static_cast<std::uint16_t>(100 + i)));
    }
    EXPECT_FALSE(std::getline(lines, line));
}

TEST(PortChoice, OneSourceOfPortsAndOneModuleToSave) {
    const struct {
        std::vector<std::string> args;
        const char *message;
    } cases[] = {
        {{"-p", "/dev/a", "--all-ports", "read", "id"}, "give one of -p PORT, --all-ports or --simulate"},
        {{"-p", "/dev/a", "--simulate", "read", "id"}, "give one of"},
        {{"-p", "/dev/a", "-p", "/dev/b", "profile", "save", "x.json"}, "profile save reads one module"},
        {{"-p", "", "read", "id"}, "a port cannot be an empty name"},
    };
    for (const auto &c : cases) {
        const CliResult r = Invoke(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(Cancel, SearchEndsWith130AndSaysWhatWasTried) {
    auto module = StartModule(Module(3, 1), /*silent=*/true);
    auto run = std::async(std::launch::async, [&] {
        return Invoke({"-p", module->DevicePath(), "search", "--from", "9600,none", "--interval", "200"});
    });
    // The module hears only the first setting; once it has, the search is under way.
    WaitUntil([&] { return module->RequestsHeard() >= 1; }, 4s);
    corvanta::cli::RequestCancel();
    ASSERT_EQ(run.wait_for(10s), std::future_status::ready);
    const CliResult r = run.get();
    EXPECT_EQ(r.code, 130);
    EXPECT_NE(r.err.find("search cancelled on " + module->DevicePath() + " after trying "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(" of 15 settings: 9600 none"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Cancel, CtrlCEndsTheProgramWith130) {
    auto module = StartModule(Module(3, 1), /*silent=*/true);
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(errPipe[0]);
        ::execl(CORVANTA_CLI_PATH, "corvanta-cli", "-p", module->DevicePath().c_str(), "search", "--interval", "200",
                static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    WaitUntil([&] { return module->RequestsHeard() >= 1; }, 4s);
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    std::string err;
    char buffer[512];
    for (ssize_t n; (n = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
        err.append(buffer, static_cast<std::size_t>(n));
    ::close(errPipe[0]);
    EXPECT_NE(err.find("search cancelled"), std::string::npos) << err;
    // The port was closed on the way out: another program can take it at once.
    const CliResult r = Invoke({"-p", module->DevicePath(), "--no-verify", "--timeout", "100", "read", "id"});
    EXPECT_EQ(r.code, 1) << r.err;
}

} // namespace
