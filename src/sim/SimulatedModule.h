#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <string>
#include <termios.h>
#include <thread>

#include "ModuleBehaviour.h"

namespace corvanta::sim {

struct SimOptions {
    ModuleState state;
    int replyDelayMs = 20;
    bool silent = false;         // hears requests, never answers
    bool ignoreWrites = false;   // answers writes as if done, but keeps its values
    std::ostream *log = nullptr; // each request and reply in hex, when set
};

// A module on the master side of a pseudo-terminal. Programs open
// DevicePath(), the slave side, as they would a USB-UART adapter. It answers
// only while the line settings of the slave match its own UART.
class SimulatedModule {
public:
    explicit SimulatedModule(SimOptions options = {});
    ~SimulatedModule();
    SimulatedModule(const SimulatedModule &) = delete;
    SimulatedModule &operator=(const SimulatedModule &) = delete;

    // Opens the pty and starts answering. False with a reason in error.
    bool Start(std::string *error = nullptr);
    // Stops answering and closes the pty. Idempotent.
    void Stop();

    const std::string &DevicePath() const { return devicePath; }
    ModuleState State() const;
    // Requests received (well-formed, at matching line settings) and answered.
    std::uint64_t RequestsHeard() const { return heard.load(); }
    std::uint64_t RequestsAnswered() const { return answered.load(); }

private:
    void Run();
    void Log(const std::string &line);
    // The whole reply to the master; false when it was dropped.
    bool WriteAll(const std::vector<std::uint8_t> &bytes);

    SimOptions options;
    mutable std::mutex stateLock;
    ModuleState state;
    std::string devicePath;
    int masterFd = -1;
    int slaveFd = -1; // kept open so the line settings survive the client's close
    int wakeFd = -1;
    int inotifyFd = -1; // reports closes of the slave by clients
    std::thread worker;
    std::atomic<std::uint64_t> heard{0};
    std::atomic<std::uint64_t> answered{0};
};

// The line settings that the program on the slave side has set, read from
// the master. Linux clears PARENB on a pty slave, but PARODD and INPCK
// survive: INPCK tells that parity is on, PARODD which one. False when the
// settings cannot be read.
bool ReadPeerLine(int masterFd, std::uint32_t &baud, std::uint8_t &parity);

// The rate in bit/s of a termios speed from the supported list, else 0.
std::uint32_t RateOfSpeed(speed_t speed);

} // namespace corvanta::sim
