#pragma once

// The few calls that differ per OS. The shared serial classes use only these;
// each OS has one file that implements them, and CMake picks the file.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PortInfo.h"
#include "SerialError.h"

namespace corvanta::platform {

struct Port; // an open port with its wake-up channel; defined per OS

struct PortCloser {
    void operator()(Port *port) const noexcept;
};
using PortPtr = std::unique_ptr<Port, PortCloser>;

// Opens the device for exclusive use, raw, handshake off, DTR and RTS off,
// both directions purged. Line speed and parity are set by Configure.
PortPtr Open(const std::string &device, SerialError &error);

// 8 data bits, one stop bit, the given rate and parity code (0 none, 1 odd,
// 2 even). Takes effect at once, without purging.
bool Configure(Port &port, std::uint32_t baud, std::uint32_t parity, SerialError &error);

// Writes what the line takes now; waits up to timeoutMs for room first.
// Returns bytes written (> 0), 0 when no room came in time, -1 on error.
long WriteSome(Port &port, const std::uint8_t *data, std::size_t count, int timeoutMs, SerialError &error);

// Drops output not yet sent.
void DiscardOutput(Port &port);

enum class ReadStatus { Data, Stopped, Lost, Failed };
struct ReadResult {
    ReadStatus status;
    std::size_t count; // bytes in the buffer when status is Data
};

// Blocks until bytes are queued (then reads up to capacity), until Wake is
// called, or until the device is gone. Runs on the receive thread only.
ReadResult WaitAndRead(Port &port, std::uint8_t *buffer, std::size_t capacity, SerialError &error);

// Makes the current and every later WaitAndRead return Stopped. Any thread.
void Wake(Port &port);

// Serial devices present now, found without opening any of them.
std::vector<std::string> ListPorts();

// The same devices with what sysfs (or the OS) tells about each, opening none.
std::vector<PortInfo> DescribePorts();

} // namespace corvanta::platform
