#include "CliApp.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <unistd.h>
#include <variant>

#include "protocol/ChannelPlan.h"
#include "protocol/LineSettings.h"
#include "protocol/ModuleFrame.h"
#include "protocol/Requests.h"
#include "serial/NerloSerial.h"
#include "serial/ReplyWaiter.h"
#include "sim/SimulatedModule.h"

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

std::string JsonString(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
            continue;
        }
        quoted += c;
    }
    return quoted + "\"";
}

// What a command found, printed one value a line or as one JSON object.
class Report {
public:
    void Add(std::string jsonKey, std::string jsonValue, std::string line) {
        entries.push_back({std::move(jsonKey), std::move(jsonValue), std::move(line)});
    }
    void AddNumber(const std::string &key, long value, const std::string &line) {
        Add(key, std::to_string(value), line);
    }
    void Print(std::ostream &out, bool json) const {
        if (!json) {
            for (const auto &e : entries)
                if (!e.line.empty())
                    out << e.line << '\n';
            return;
        }
        out << '{';
        const char *separator = "";
        for (const auto &e : entries) {
            if (e.key.empty())
                continue;
            out << separator << JsonString(e.key) << ": " << e.value;
            separator = ", ";
        }
        out << "}\n";
    }

private:
    struct Entry {
        std::string key, value, line;
    };
    std::vector<Entry> entries;
};

// A value the module reported; codes outside the known ones are shown as
// they came, never mapped to a made-up rate.
void AddRate(Report &report, const std::string &key, const std::string &label, std::uint8_t code) {
    if (const std::uint32_t rate = RateFromBaudCode(code))
        report.AddNumber(key, rate, label + ": " + std::to_string(rate));
    else
        report.Add(key, "null", label + ": unknown rate code " + std::to_string(code));
}

void AddSerial(Report &report, std::uint8_t baudCode, std::uint8_t parityCode) {
    const std::uint32_t rate = RateFromBaudCode(baudCode);
    const std::string_view parity = ParityName(parityCode);
    report.Add("serial_baud", rate ? std::to_string(rate) : "null", "");
    report.Add("parity", parity.empty() ? "null" : JsonString(parity), "");
    std::string line = "serial: ";
    line += rate ? std::to_string(rate) : "unknown rate code " + std::to_string(baudCode);
    line += " ";
    line += parity.empty() ? "unknown parity code " + std::to_string(parityCode) : std::string(parity);
    report.Add("", "", line);
}

void AddChannel(Report &report, std::uint8_t channel, std::optional<std::uint8_t> band) {
    std::string line = "channel: " + std::to_string(channel);
    report.AddNumber("channel", channel, "");
    if (band) {
        if (const auto frequency = ChannelFrequency(*band, channel - 1)) {
            report.Add("frequency", JsonString(*frequency), "");
            line += " (" + std::string(*frequency) + ")";
        }
    }
    report.Add("", "", line);
}

void AddBand(Report &report, std::uint8_t band) { report.AddNumber("band", band, "band: " + std::to_string(band)); }

void AddId(Report &report, std::uint16_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%05u", static_cast<unsigned>(id));
    report.AddNumber("id", id, std::string("id: ") + text);
}

struct GlobalOptions {
    std::string port;
    bool simulate = false;
    std::string baud = "9600";
    std::string parity = "none";
    std::string timeout = "1000";
    bool json = false;
};

// One open port to one module, with its replies.
class Session {
public:
    Session(std::ostream &err) : err(err) {}

    int Open(const CliRequest &request) {
        device = request.port;
        const std::uint32_t baud = request.baud;
        const std::uint8_t parity = request.parity;
        if (request.simulate) {
            simulator = std::make_unique<sim::SimulatedModule>();
            std::string why;
            if (!simulator->Start(&why)) {
                err << "corvanta-cli: cannot start the simulated module: " << why << '\n';
                return kExitPort;
            }
            device = simulator->DevicePath();
        }
        port.SetNotifyWindow(&waiter, 1);
        if (!port.Open(device, baud, parity)) {
            err << "corvanta-cli: cannot open " << device << ": " << DescribeSerialError(port.LastError()) << '\n';
            return kExitPort;
        }
        return kExitOk;
    }

    // Re-times the open port in place.
    int Retime(std::uint32_t baud, std::uint8_t parity) {
        if (port.ApplySettings(device, baud, parity))
            return kExitOk;
        err << "corvanta-cli: cannot set " << device << " to " << baud << " " << ParityName(parity) << ": "
            << DescribeSerialError(port.LastError()) << '\n';
        return kExitPort;
    }

    // Sends one request and waits for the reply with the same command code;
    // replies to anything else are ignored.
    template <typename Send>
    std::optional<ReplyFields> Request(std::uint8_t command, const std::string &what, milliseconds timeout, Send send,
                                       int &exitCode, bool quietTimeout = false) {
        waiter.Clear();
        if (!send(port)) {
            err << "corvanta-cli: cannot write to " << device << ": " << DescribeSerialError(port.LastError()) << '\n';
            exitCode = kExitPort;
            return std::nullopt;
        }
        auto reply = waiter.WaitFor(command, timeout);
        if (reply)
            return reply;
        if (const auto lost = waiter.Lost()) {
            err << "corvanta-cli: lost " << device << " while waiting for " << what << ": "
                << DescribeSerialError(*lost) << '\n';
            exitCode = kExitPort;
        } else {
            if (!quietTimeout)
                err << "corvanta-cli: no reply to " << what << " within " << timeout.count()
                    << " ms (check the port, its baud rate and parity, and the module's power)\n";
            exitCode = kExitNoReply;
        }
        return std::nullopt;
    }

    const std::string &Device() const { return device; }

private:
    std::ostream &err;
    std::unique_ptr<sim::SimulatedModule> simulator; // outlives the port, which closes first
    ReplyWaiter waiter;
    NerloSerial port;
    std::string device;
};

int RunRead(Session &session, const std::string &what, milliseconds timeout, Report &report) {
    int code = kExitOk;
    std::optional<std::uint8_t> band;
    if (what == "all") {
        const auto scan = session.Request(CmdScanRadio, "the search request", timeout, SendScanRadio, code);
        if (!scan)
            return code;
        band = scan->bandCode;
    }
    auto read = [&](std::uint8_t command, const char *label) {
        return session.Request(
            command, std::string("read ") + label, timeout,
            [command](FrameWriter &port) { return SendReadRequest(port, command); }, code);
    };
    if (what == "channel" || what == "all") {
        const auto reply = read(CmdChannelRead, "channel");
        if (!reply)
            return code;
        AddChannel(report, reply->channel, band);
    }
    if (band)
        AddBand(report, *band);
    if (what == "rf-baud" || what == "all") {
        const auto reply = read(CmdRfBaudRateRead, "air baud rate");
        if (!reply)
            return code;
        AddRate(report, "rf_baud", "rf-baud", reply->rfBaudCode);
    }
    if (what == "serial" || what == "all") {
        const auto reply = read(CmdComParamRead, "serial parameters");
        if (!reply)
            return code;
        AddSerial(report, reply->comBaudCode, reply->comParity);
    }
    if (what == "id" || what == "all") {
        const auto reply = read(CmdGuestIdRead, "ID");
        if (!reply)
            return code;
        AddId(report, reply->GuestId());
    }
    return kExitOk;
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

int RunWrite(Session &session, const ParsedWrite &w, milliseconds timeout, Report &report, std::ostream &err) {
    int code = kExitOk;
    if (w.what == "channel") {
        const auto reply = session.Request(
            CmdChannelSet, "write channel", timeout, [&](FrameWriter &port) { return SendChannel(port, w.value); },
            code);
        if (reply)
            AddChannel(report, reply->channel, std::nullopt);
    } else if (w.what == "rf-baud") {
        const auto reply = session.Request(
            CmdRfBaudRateSet, "write air baud rate", timeout,
            [&](FrameWriter &port) { return SendRfBaudRate(port, BaudCodeFromRate(w.rate)); }, code);
        if (reply)
            AddRate(report, "rf_baud", "rf-baud", reply->rfBaudCode);
    } else if (w.what == "serial") {
        const auto reply = session.Request(
            CmdComParamSet, "write serial parameters", timeout,
            [&](FrameWriter &port) { return SendComParam(port, BaudCodeFromRate(w.rate), w.parity); }, code);
        if (reply) {
            AddSerial(report, reply->comBaudCode, reply->comParity);
            err << "corvanta-cli: the module now talks at " << w.rate << " " << ParityName(w.parity)
                << "; reach it with -b " << w.rate << " --parity " << ParityName(w.parity) << '\n';
        }
    } else if (w.what == "id") {
        const auto reply = session.Request(
            CmdGuestIdSet, "write ID", timeout, [&](FrameWriter &port) { return SendGuestId(port, w.value); }, code);
        if (reply)
            AddId(report, reply->GuestId());
    } else if (w.what == "power") {
        const auto reply = session.Request(
            CmdPowerSet, "write power", timeout, [&](FrameWriter &port) { return SendPower(port, w.value); }, code);
        // The power reply carries no value to rely on: report what was written.
        if (reply)
            report.AddNumber("power", w.value, "power: " + std::to_string(w.value));
    }
    return code;
}

// Every combination from the starting one up to 115200 even, parity fastest.
std::vector<std::pair<std::uint32_t, std::uint8_t>> SearchOrder(std::uint32_t fromRate, std::uint8_t fromParity) {
    std::vector<std::pair<std::uint32_t, std::uint8_t>> order;
    for (std::size_t b = BaudCodeFromRate(fromRate) - 1u; b < kBaudRates.size(); ++b)
        for (std::uint8_t p = (order.empty() ? fromParity : 0); p < kParityNames.size(); ++p)
            order.emplace_back(kBaudRates[b], p);
    return order;
}

int RunSearch(Session &session, const std::vector<std::pair<std::uint32_t, std::uint8_t>> &order, milliseconds interval,
              Report &report, std::ostream &err) {
    const bool progress = ::isatty(STDERR_FILENO) == 1 && &err == &std::cerr;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto [rate, parity] = order[i];
        if (progress)
            err << "\rtrying " << rate << " " << ParityName(parity) << " (" << i + 1 << "/" << order.size() << ")   "
                << std::flush;
        if (const int code = session.Retime(rate, parity))
            return code;
        int code = kExitOk;
        // Silence at a wrong setting is the normal case here.
        const auto reply =
            session.Request(CmdScanRadio, "the search request", interval, SendScanRadio, code, /*quietTimeout=*/true);
        if (code == kExitPort)
            return code;
        if (reply) {
            if (progress)
                err << '\n';
            report.AddNumber("baud", rate, "baud: " + std::to_string(rate));
            report.Add("parity", JsonString(ParityName(parity)), "parity: " + std::string(ParityName(parity)));
            AddChannel(report, reply->scanChannel, reply->bandCode);
            AddBand(report, reply->bandCode);
            return kExitOk;
        }
    }
    if (progress)
        err << '\n';
    err << "corvanta-cli: no module answered on " << session.Device() << " at any of the " << order.size()
        << " settings from " << order.front().first << " " << ParityName(order.front().second) << " to 115200 even\n";
    return kExitNoReply;
}

} // namespace

std::variant<CliRequest, int> ParseCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    CLI::App app{"Configures wireless serial (RF) transceiver modules on a serial port.", "corvanta-cli"};
    app.require_subcommand(1);
    GlobalOptions options;
    app.add_option("-p,--port", options.port, "Serial device of the module, e.g. /dev/ttyUSB0");
    app.add_flag("--simulate", options.simulate, "Talk to a simulated module instead of a real one");
    app.add_option("-b,--baud", options.baud, "Baud rate of the PC side: " + RateList())->capture_default_str();
    app.add_option("--parity", options.parity, "Parity of the PC side: none, odd or even")->capture_default_str();
    app.add_option("--timeout", options.timeout, "How long to wait for each reply, in ms")->capture_default_str();
    app.add_flag("--json", options.json, "Print the result as one JSON object");

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
        if (read->parsed()) {
            request.command = Command::Read;
            request.readWhat = readWhat;
        } else if (write->parsed()) {
            request.command = Command::Write;
            request.write = ParseWrite(writeRequest);
        } else {
            request.command = Command::Search;
            const auto comma = from.find(',');
            if (comma == std::string::npos)
                throw UsageError{"--from must be RATE,PARITY, e.g. 9600,none, not '" + from + "'"};
            request.searchOrder = SearchOrder(ParseRate("search start rate", from.substr(0, comma)),
                                              ParseParity("search start parity", from.substr(comma + 1)));
            request.interval = milliseconds{ParseRange("interval", interval, 1, 600000)};
            request.baud = request.searchOrder.front().first;
            request.parity = request.searchOrder.front().second;
        }
        if (options.simulate == !options.port.empty())
            throw UsageError{options.simulate ? "give either -p PORT or --simulate, not both"
                                              : "no port given: use -p PORT (see corvanta-cli ports) or --simulate"};
        request.port = options.port;
        request.simulate = options.simulate;
        return request;
    } catch (const UsageError &e) {
        err << "corvanta-cli: " << e.message << '\n';
        return kExitUsage;
    }
}

int ExecuteCli(const CliRequest &request, std::ostream &out, std::ostream &err) {
    if (request.command == Command::Ports) {
        const auto list = ListSerialPorts();
        if (request.json) {
            out << '[';
            for (std::size_t i = 0; i < list.size(); ++i)
                out << (i ? ", " : "") << JsonString(list[i]);
            out << "]\n";
        } else if (list.empty()) {
            err << "corvanta-cli: no serial ports found\n";
        } else {
            for (const auto &name : list)
                out << name << '\n';
        }
        return kExitOk;
    }
    Session session(err);
    if (const int code = session.Open(request))
        return code;
    Report report;
    int code = kExitOk;
    switch (request.command) {
    case Command::Read:
        code = RunRead(session, request.readWhat, request.timeout, report);
        break;
    case Command::Write:
        code = RunWrite(session, request.write, request.timeout, report, err);
        break;
    default:
        code = RunSearch(session, request.searchOrder, request.interval, report, err);
        break;
    }
    if (code == kExitOk)
        report.Print(out, request.json);
    return code;
}

int RunCli(const std::vector<std::string> &args, std::ostream &out, std::ostream &err) {
    auto parsed = ParseCli(args, out, err);
    if (const int *code = std::get_if<int>(&parsed))
        return *code;
    return ExecuteCli(std::get<CliRequest>(parsed), out, err);
}

} // namespace corvanta::cli
