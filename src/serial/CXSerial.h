#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "../protocol/Requests.h"
#include "SerialError.h"
#include "serial_platform.h"

namespace corvanta {

// One serial port with its receive thread. Received bytes go one by one, in
// order, to OnReceiveByte on the receive thread; every other call is made by
// the owner's thread. Results follow the house rule: nonzero success, 0 failure.
class CXSerial : public FrameWriter {
public:
    // Exit codes of the receive thread.
    static constexpr std::uint32_t kExitStopped = 5;
    static constexpr std::uint32_t kExitWaitFailed = 4;
    static constexpr std::uint32_t kExitPortLost = 6;
    static constexpr std::uint32_t kExitNotOpen = 0xFFFFFFFFu;
    static constexpr std::uint32_t kWriteChunk = 1024;
    static constexpr int kWriteWaitMs = 1000;
    static constexpr int kWriteAttempts = 3;

    CXSerial();
    CXSerial(const CXSerial &) = delete;
    CXSerial &operator=(const CXSerial &) = delete;
    ~CXSerial();

    void Init();

    // Closes whatever is open, then opens device (a path such as /dev/ttyUSB0)
    // at baud (one of kBaudRates) with parity code 0 none, 1 odd, 2 even, and
    // starts the receive thread. 1: open and receiving; 0: failed, port closed,
    // LastError() says why.
    int Open(const std::string &device, std::uint32_t baud, std::uint32_t parity);

    // New rate and parity on the open port: same descriptor, same receive
    // thread, nothing purged. 0 when no port is open or the driver refused;
    // the old settings then stay.
    int Reconfigure(std::uint32_t baud, std::uint32_t parity);

    // Re-times in place when device is the open port, else closes and opens.
    int ApplySettings(const std::string &device, std::uint32_t baud, std::uint32_t parity);

    int IsOpen() const override;

    // Writes the whole block under writeLock, in chunks of kWriteChunk. A chunk
    // may wait kWriteWaitMs for the line to take bytes, kWriteAttempts times;
    // then the unsent output is discarded. 1: all written; 0: not open, the
    // port was lost, or the attempts ran out.
    int Write(const std::uint8_t *data, std::uint32_t count) override;

    // Stops the receive thread and closes the port. When it returns, no
    // OnReceiveByte runs or will run. Always 1.
    int Close();

    platform::Port *GetHandle() const;
    int StartReceiveThread();
    int StopReceiveThread();

    // The receive thread's procedure: waits for bytes and hands them on until
    // stopped or the port is lost. Returns one of the kExit codes.
    static std::uint32_t ReceiveLoop(CXSerial &serial);

    // Called on the receive thread for each byte, in order of arrival.
    virtual void OnReceiveByte(std::uint8_t byte) = 0;

    const std::string &PortName() const { return portName; }
    std::uint32_t BaudRate() const { return baudRate; }
    std::uint32_t Parity() const { return parity; }
    // True once the receive thread has found the device gone; until Close.
    bool IsLost() const { return lost.load(); }
    SerialError LastError() const;
    std::uint32_t ReceiveExitCode() const { return receiveExitCode.load(); }

protected:
    // The line was opened or re-timed: bytes collected before belong to the
    // old setting. Runs with no byte being handed on at the same time.
    virtual void OnLineReset() {}
    // The receive thread found the device gone; it ends right after this.
    virtual void OnPortLost(const SerialError &) {}

private:
    void SetLastError(SerialError error);
    void ResetLine();

    std::string portName;
    std::uint32_t baudRate = 9600;
    std::uint32_t parity = 0;
    platform::PortPtr portHandle;
    std::atomic<bool> open{false};
    std::atomic<bool> lost{false};
    std::mutex writeLock;
    // Held while a chunk of received bytes is handed on, and by a line reset.
    std::mutex receiveLock;
    std::thread receiveThread;
    std::atomic<std::uint32_t> receiveExitCode{0};
    mutable std::mutex errorLock;
    SerialError lastError;
};

// 1 when the device can be opened now, else 0. Opens and closes it at once,
// which pulses DTR/RTS on a real port: only for a port the user names.
int ProbePort(const std::string &device);

// Serial devices present now, in natural order, found without opening any.
std::vector<std::string> ListSerialPorts();

// The same ports with their driver, USB identity and stable alias, opening none.
std::vector<PortInfo> DescribeSerialPorts();

} // namespace corvanta
