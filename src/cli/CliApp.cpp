#include "CliApp.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <variant>

#include "Cancel.h"
#include "Console.h"
#include "PortsReport.h"
#include "Simulate.h"
#include "protocol/LineSettings.h"
#include "serial/CXSerial.h"

namespace corvanta::cli {
namespace {

using std::chrono::milliseconds;

// Raised for a bad value, before anything is sent.
struct UsageError {
    std::string message;
};

std::string RateList() {
    std::string text;
    for (std::uint32_t rate : kBaudRates)
        text += (text.empty() ? "" : ", ") + std::to_string(rate);
    return text;
}

// A whole decimal number and nothing else: "12a", " 5", "-3" and "" are refused.
std::optional<long> ParseWhole(const std::string &text) {
    if (text.empty() || text.size() > 9)
        return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

long ParseRange(const std::string &what, const std::string &text, long low, long high) {
    const auto value = ParseWhole(text);
    if (!value || *value < low || *value > high)
        throw UsageError{what + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high) +
                         ", not '" + text + "'"};
    return *value;
}

std::uint32_t ParseRate(const std::string &what, const std::string &text) {
    const auto value = ParseWhole(text);
    if (!value || !IsSupportedBaudRate(static_cast<std::uint32_t>(*value)))
        throw UsageError{what + " must be one of " + RateList() + ", not '" + text + "'"};
    return static_cast<std::uint32_t>(*value);
}

std::uint8_t ParseParity(const std::string &what, const std::string &text) {
    const auto parity = ParityFromName(text);
    if (!parity)
        throw UsageError{what + " must be none, odd or even, not '" + text + "'"};
    return *parity;
}

struct WriteRequest {
    std::string what;
    std::vector<std::string> values;
};

ParsedWrite ParseWrite(const WriteRequest &request) {
    ParsedWrite parsed{request.what};
    const auto &v = request.values;
    if (request.what == "channel")
        parsed.value = static_cast<int>(ParseRange("channel", v.at(0), 1, 32));
    else if (request.what == "rf-baud")
        parsed.rate = ParseRate("air baud rate", v.at(0));
    else if (request.what == "serial") {
        parsed.rate = ParseRate("serial baud rate", v.at(0));
        parsed.parity = ParseParity("parity", v.at(1));
    } else if (request.what == "id")
        parsed.value = static_cast<int>(ParseRange("ID", v.at(0), 0, 65535));
    else if (request.what == "power")
        parsed.value = static_cast<int>(ParseRange("power level", v.at(0), 1, 7));
    return parsed;
}

struct GlobalOptions {
    std::vector<std::string> ports;
    bool allPorts = false;
    bool simulate = false;
    std::string baud = "9600";
    std::string parity = "none";
    std::string timeout = "1000";
    bool json = false;
    bool noVerify = false;
};

// The outcome on one port.
struct PortRun {
    int code = kExitOk;
    Report report;
    std::string messages; // what went to err, in a batch
};

// One module on one port: opens it, runs the command, closes it.
int RunOnPort(const CliRequest &request, const std::string &device, bool showProgress, std::ostream &err,
              Report &report) {
    Session session(err, GlobalCancel());
    if (const int code = session.Open(device, request.baud, request.parity))
        return code;
    switch (request.command) {
    case Command::Read:
    case Command::ProfileSave:
        return RunRead(session, request.command == Command::Read ? request.readWhat : "all", request.timeout, report);
    case Command::Write:
        return RunWrite(session, request.write, request.timeout, request.verify, report);
    case Command::ProfileApply:
        return RunProfileApply(session, request.profile, request.timeout, request.verify, report);
    case Command::Search:
        return RunSearch(session, request.searchOrder, request.interval, showProgress, report);
    case Command::Ports:
        break;
    }
    return kExitUsage;
}

// A batch prints a line (or a JSON object) per port; messages are kept per port.
std::string OneLine(const std::string &text) {
    std::string line;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string part = text.substr(start, end - start);
        if (part.rfind("corvanta-cli: ", 0) == 0)
            part.erase(0, 14);
        if (!part.empty())
            line += (line.empty() ? "" : "; ") + part;
        start = end + 1;
    }
    return line;
}

int RunBatch(const CliRequest &request, const std::vector<std::string> &ports, std::ostream &out) {
    std::vector<PortRun> runs(ports.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < ports.size(); ++i)
            workers.emplace_back([&, i] {
                std::ostringstream messages;
                runs[i].code = RunOnPort(request, ports[i], false, messages, runs[i].report);
                runs[i].messages = messages.str();
            });
    }
    int worst = kExitOk;
    nlohmann::ordered_json all = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const PortRun &run = runs[i];
        worst = std::max(worst, run.code);
        nlohmann::ordered_json entry = {{"port", ports[i]}, {"result", run.code == kExitOk ? "ok" : "error"}};
        if (run.code == kExitOk) {
            entry.update(run.report.Json());
        } else {
            entry["exit_code"] = run.code;
            entry["error"] = OneLine(run.messages);
        }
        all.push_back(entry);
        if (!request.json) {
            std::string values;
            for (const auto &line : run.report.Lines())
                values += (values.empty() ? "" : "; ") + line;
            out << ports[i] << ": "
                << (run.code == kExitOk ? "ok: " + values
                                        : "error " + std::to_string(run.code) + ": " + OneLine(run.messages))
                << '\n';
        }
    }
    if (request.json)
        out << all.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return worst;
}

} // namespace

std::variant<CliRequest, int> ParseCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    CLI::App app{"Configures wireless serial (RF) transceiver modules on a serial port.", "corvanta-cli"};
    app.require_subcommand(1);
    // Options of the whole program may also come after the command ("read all --json").
    app.fallthrough();
    GlobalOptions options;
    app.add_option("-p,--port", options.ports,
                   "Serial device of a module, e.g. /dev/ttyUSB0; repeat it to run on several modules at once")
        ->allow_extra_args(false);
    app.add_flag("--all-ports", options.allPorts, "Run on every serial port found");
    app.add_flag("--simulate", options.simulate, "Talk to a simulated module instead of a real one");
    app.add_option("-b,--baud", options.baud, "Baud rate of the PC side: " + RateList())->capture_default_str();
    app.add_option("--parity", options.parity, "Parity of the PC side: none, odd or even")->capture_default_str();
    app.add_option("--timeout", options.timeout, "How long to wait for each reply, in ms")->capture_default_str();
    app.add_flag("--json", options.json, "Print the result as one JSON object (an array for several ports)");
    app.add_flag("--no-verify", options.noVerify, "Do not read a written value back to check it");

    auto *ports = app.add_subcommand("ports", "List the serial ports present (none is opened)");

    std::string readWhat;
    auto *read = app.add_subcommand("read", "Read values from the module");
    read->add_option("what", readWhat, "channel, rf-baud, serial, id or all")
        ->required()
        ->check(CLI::IsMember({"channel", "rf-baud", "serial", "id", "all"}));

    WriteRequest writeRequest;
    auto *write = app.add_subcommand("write", "Write a value to the module");
    write->require_subcommand(1);
    struct WriteForm {
        const char *name;
        const char *help;
        std::vector<const char *> values;
    };
    const WriteForm writeForms[] = {
        {"channel", "Radio channel, 1 to 32", {"N"}},
        {"rf-baud", "Air baud rate", {"RATE"}},
        {"serial", "The module's own UART: rate and parity (none, odd, even)", {"RATE", "PARITY"}},
        {"id", "Factory ID, 0 to 65535", {"N"}},
        {"power", "Transmit power level, 1 to 7", {"N"}},
    };
    std::vector<std::vector<std::string>> writeValues(std::size(writeForms));
    for (std::size_t i = 0; i < std::size(writeForms); ++i) {
        auto *form = write->add_subcommand(writeForms[i].name, writeForms[i].help);
        writeValues[i].resize(writeForms[i].values.size());
        for (std::size_t k = 0; k < writeForms[i].values.size(); ++k)
            form->add_option(writeForms[i].values[k], writeValues[i][k])->required();
        form->callback([&, i] {
            writeRequest.what = writeForms[i].name;
            writeRequest.values = writeValues[i];
        });
    }

    std::string from = "1200,none";
    std::string interval = "800";
    auto *search = app.add_subcommand("search", "Find the module's baud rate and parity by trying each in turn");
    search->add_option("--from", from, "First combination to try, RATE,PARITY")->capture_default_str();
    search->add_option("--interval", interval, "How long to wait at each combination, in ms")->capture_default_str();

    std::string profileFile;
    auto *profile = app.add_subcommand("profile", "Save a module's settings to a file, or apply a file to modules");
    profile->require_subcommand(1);
    auto *save = profile->add_subcommand("save", "Read everything and write it to FILE as JSON");
    save->add_option("FILE", profileFile)->required();
    auto *apply = profile->add_subcommand("apply", "Write every value in FILE, serial parameters last, and check each");
    apply->add_option("FILE", profileFile)->required();

    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e, out, err);
        return code == 0 ? kExitOk : kExitUsage;
    }

    try {
        CliRequest request;
        request.json = options.json;
        if (ports->parsed()) {
            request.command = Command::Ports;
            return request;
        }
        // Every value is checked before the port is touched.
        request.baud = ParseRate("baud rate", options.baud);
        request.parity = ParseParity("parity", options.parity);
        request.timeout = milliseconds{ParseRange("timeout", options.timeout, 1, 600000)};
        request.verify = !options.noVerify;
        if (read->parsed()) {
            request.command = Command::Read;
            request.readWhat = readWhat;
        } else if (write->parsed()) {
            request.command = Command::Write;
            request.write = ParseWrite(writeRequest);
        } else if (save->parsed()) {
            if (profileFile.empty())
                throw UsageError{"profile save needs a file name"};
            request.command = Command::ProfileSave;
            request.profilePath = profileFile;
        } else if (apply->parsed()) {
            request.command = Command::ProfileApply;
            request.profilePath = profileFile;
            try {
                request.profile = LoadProfile(profileFile);
            } catch (const ProfileError &e) {
                throw UsageError{e.what()};
            }
        } else {
            request.command = Command::Search;
            const auto comma = from.find(',');
            if (comma == std::string::npos)
                throw UsageError{"--from must be RATE,PARITY, e.g. 9600,none, not '" + from + "'"};
            request.searchOrder = SearchOrderFrom(ParseRate("search start rate", from.substr(0, comma)),
                                                  ParseParity("search start parity", from.substr(comma + 1)));
            request.interval = milliseconds{ParseRange("interval", interval, 1, 600000)};
            request.baud = request.searchOrder.front().first;
            request.parity = request.searchOrder.front().second;
        }
        if (options.simulate)
            if (const std::string why = SimulateUnavailable(); !why.empty())
                throw UsageError{why};
        const int sources = (options.simulate ? 1 : 0) + (options.ports.empty() ? 0 : 1) + (options.allPorts ? 1 : 0);
        if (sources == 0)
            throw UsageError{"no port given: use -p PORT (see corvanta-cli ports), --all-ports or --simulate"};
        if (sources > 1)
            throw UsageError{"give one of -p PORT, --all-ports or --simulate"};
        request.ports = options.ports;
        if (options.allPorts) {
            request.ports = ListSerialPorts();
            if (request.ports.empty())
                throw UsageError{"--all-ports: no serial ports found"};
        }
        for (const auto &port : request.ports)
            if (port.empty())
                throw UsageError{"a port cannot be an empty name"};
        request.simulate = options.simulate;
        if (request.command == Command::ProfileSave && request.ports.size() > 1)
            throw UsageError{"profile save reads one module: give one -p PORT"};
        return request;
    } catch (const UsageError &e) {
        err << "corvanta-cli: " << e.message << '\n';
        return kExitUsage;
    }
}

int ExecuteCli(const CliRequest &request, std::ostream &out, std::ostream &err) {
    if (request.command == Command::Ports) {
        PrintPorts(DescribeSerialPorts(), request.json, out, err);
        return kExitOk;
    }
    std::vector<std::string> ports = request.ports;
    if (request.simulate)
        ports = {""};
    if (ports.size() != 1)
        return RunBatch(request, ports, out);

    Report report;
    const bool progress = StderrIsTerminal() && &err == &std::cerr;
    const int code = RunOnPort(request, ports.front(), progress, err, report);
    if (code != kExitOk)
        return code;
    if (request.command == Command::ProfileSave) {
        std::ofstream file(request.profilePath);
        file << ProfileText(report.Json());
        file.close();
        if (!file) {
            err << "corvanta-cli: cannot write profile " << request.profilePath << '\n';
            return kExitUsage;
        }
        err << "corvanta-cli: profile saved to " << request.profilePath << '\n';
    }
    report.Print(out, request.json);
    return kExitOk;
}

int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    GlobalCancel().Reset();
    auto parsed = ParseCli(args, out, err);
    if (const int *code = std::get_if<int>(&parsed))
        return *code;
    return ExecuteCli(std::get<CliRequest>(parsed), out, err);
}

void RequestCancel() { GlobalCancel().Cancel(); }

} // namespace corvanta::cli
