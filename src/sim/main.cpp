// corvanta-sim: a simulated module on a pseudo-terminal, for trying the
// configuration tools without hardware.

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdint>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "protocol/LineSettings.h"
#include "sim/SimulatedModule.h"

namespace {

constexpr int kExitBadArguments = 2;
constexpr int kExitNoPty = 1;

constexpr const char *kFooter =
    "The module answers only while the PC side's line settings (rate and parity) match its UART.\n"
    "On Linux it reads them from the pty master. The pty driver clears PARENB there, so parity is\n"
    "told by INPCK, which a client sets exactly when it uses parity, and PARODD picks odd or even.\n"
    "Bytes sent at other settings are garbage to the module and are dropped.";

std::vector<std::uint32_t> Rates() { return {corvanta::kBaudRates.begin(), corvanta::kBaudRates.end()}; }

} // namespace

int main(int argc, char **argv) {
    corvanta::sim::SimOptions options;
    std::uint32_t baud = options.state.baud;
    std::uint32_t rfBaud = options.state.rfBaud;
    std::string parity = "none";
    int channel = options.state.channel;
    int band = options.state.band;
    int id = options.state.id;
    int power = options.state.power;
    bool log = false;

    CLI::App app{"A simulated wireless serial module on a pseudo-terminal. Prints the device path "
                 "to open, then answers requests until SIGINT or SIGTERM.",
                 "corvanta-sim"};
    app.footer(kFooter);
    app.add_option("--baud", baud, "The module's UART rate")->check(CLI::IsMember(Rates()))->capture_default_str();
    app.add_option("--parity", parity, "The module's UART parity")
        ->check(CLI::IsMember({"none", "odd", "even"}))
        ->capture_default_str();
    app.add_option("--channel", channel, "Radio channel")->check(CLI::Range(1, 32))->capture_default_str();
    app.add_option("--band", band, "Band code: 2 for the 32-channel plan, 3 for the 8-channel plan")
        ->check(CLI::IsMember({2, 3}))
        ->capture_default_str();
    app.add_option("--rf-baud", rfBaud, "Air baud rate")->check(CLI::IsMember(Rates()))->capture_default_str();
    app.add_option("--id", id, "Module ID")->check(CLI::Range(0, 65535))->capture_default_str();
    app.add_option("--power", power, "Transmit power level")->check(CLI::Range(1, 7))->capture_default_str();
    app.add_option("--reply-delay", options.replyDelayMs, "Milliseconds between a request and its reply")
        ->check(CLI::Range(0, 60000))
        ->capture_default_str();
    app.add_flag("--silent", options.silent, "Hear requests but never answer");
    app.add_flag("--ignore-writes", options.ignoreWrites,
                 "Answer writes as if they were done, but keep the old values (a faulty module)");
    app.add_flag("--log", log, "Each request and reply in hex on stderr");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        const int code = app.exit(e);
        return code == 0 ? 0 : kExitBadArguments;
    }

    options.state.baud = baud;
    options.state.parity = *corvanta::ParityFromName(parity);
    options.state.channel = static_cast<std::uint8_t>(channel);
    options.state.band = static_cast<std::uint8_t>(band);
    options.state.rfBaud = rfBaud;
    options.state.id = static_cast<std::uint16_t>(id);
    options.state.power = static_cast<std::uint8_t>(power);
    if (log)
        options.log = &std::cerr;

    // Blocked before the worker thread starts, so it inherits the mask and sigwait gets them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    corvanta::sim::SimulatedModule module(options);
    std::string error;
    if (!module.Start(&error)) {
        std::cerr << "corvanta-sim: cannot create the pseudo-terminal: " << error << '\n';
        return kExitNoPty;
    }
    std::cout << module.DevicePath() << std::endl;

    int signal = 0;
    while (sigwait(&stopSignals, &signal) != 0) {
    }
    module.Stop();
    return 0;
}
