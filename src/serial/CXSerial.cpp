#include "CXSerial.h"

#include <algorithm>
#include <system_error>

#include "../protocol/LineSettings.h"

namespace corvanta {
namespace {

bool ValidLine(std::uint32_t baud, std::uint32_t parity, SerialError &error) {
    if (IsSupportedBaudRate(baud) && parity <= ParityEven)
        return true;
    error = {SerialErrorKind::InvalidArgument, 0,
             "unsupported line setting " + std::to_string(baud) + " baud, parity code " + std::to_string(parity)};
    return false;
}

} // namespace

CXSerial::CXSerial() { Init(); }

CXSerial::~CXSerial() { Close(); }

void CXSerial::Init() {
    portName.clear();
    baudRate = 9600;
    parity = 0;
    portHandle.reset();
    open = false;
    lost = false;
}

int CXSerial::Open(const std::string &device, std::uint32_t baud, std::uint32_t parityCode) {
    Close();
    portName = device;
    baudRate = baud;
    parity = parityCode;

    SerialError error;
    if (!ValidLine(baud, parityCode, error)) {
        SetLastError(error);
        return 0;
    }
    platform::PortPtr port = platform::Open(device, error);
    if (!port || !platform::Configure(*port, baud, parityCode, error)) {
        SetLastError(error);
        return 0;
    }
    portHandle = std::move(port);
    lost = false;
    open = true;
    ResetLine();
    if (!StartReceiveThread()) {
        Close();
        return 0;
    }
    SetLastError({});
    return 1;
}

int CXSerial::Reconfigure(std::uint32_t baud, std::uint32_t parityCode) {
    if (!IsOpen())
        return 0;
    SerialError error;
    if (!ValidLine(baud, parityCode, error) || !platform::Configure(*portHandle, baud, parityCode, error)) {
        SetLastError(error);
        return 0;
    }
    baudRate = baud;
    parity = parityCode;
    ResetLine();
    SetLastError({});
    return 1;
}

int CXSerial::ApplySettings(const std::string &device, std::uint32_t baud, std::uint32_t parityCode) {
    if (IsOpen() && device == portName && !lost)
        return Reconfigure(baud, parityCode);
    return Open(device, baud, parityCode);
}

int CXSerial::IsOpen() const { return open.load() ? 1 : 0; }

int CXSerial::Write(const std::uint8_t *data, std::uint32_t count) {
    std::lock_guard lock(writeLock);
    std::uint32_t written = 0;
    do {
        if (!IsOpen() || lost)
            return 0;
        const std::uint32_t chunk = std::min(count - written, kWriteChunk);
        std::uint32_t sent = 0;
        int attempts = 0;
        while (sent < chunk) {
            SerialError error;
            const long n = platform::WriteSome(*portHandle, data + written + sent, chunk - sent, kWriteWaitMs, error);
            if (n > 0) {
                sent += static_cast<std::uint32_t>(n);
                continue;
            }
            // The line took nothing in time, or refused. On POSIX a write only queues: discarding the
            // queue to send again would silently drop bytes already reported as written, so wait
            // again instead, and discard the unsent rest only when giving up.
            if (n == 0)
                error = {SerialErrorKind::TimedOut, 0,
                         "the line took no data for " + std::to_string(kWriteWaitMs) + " ms"};
            SetLastError(error);
            if (error.kind == SerialErrorKind::Lost)
                return 0;
            if (++attempts >= kWriteAttempts) {
                platform::DiscardOutput(*portHandle);
                return 0;
            }
        }
        written += chunk;
    } while (written < count);
    return 1;
}

int CXSerial::Close() {
    if (!portHandle)
        return 1;
    StopReceiveThread();
    open = false;
    {
        // A write from another thread finishes before the descriptor goes.
        std::lock_guard lock(writeLock);
        portHandle.reset();
    }
    lost = false;
    return 1;
}

platform::Port *CXSerial::GetHandle() const { return portHandle.get(); }

int CXSerial::StartReceiveThread() {
    if (!IsOpen())
        return 0;
    try {
        receiveThread = std::thread([this] { receiveExitCode = ReceiveLoop(*this); });
    } catch (const std::system_error &e) {
        SetLastError({SerialErrorKind::Io, e.code().value(), e.what()});
        return 0;
    }
    return 1;
}

int CXSerial::StopReceiveThread() {
    if (receiveThread.joinable()) {
        platform::Wake(*portHandle);
        receiveThread.join();
    }
    return 1;
}

std::uint32_t CXSerial::ReceiveLoop(CXSerial &serial) {
    platform::Port *port = serial.GetHandle();
    if (port == nullptr)
        return kExitNotOpen;
    std::uint8_t buffer[kWriteChunk];
    for (;;) {
        SerialError error;
        const platform::ReadResult r = platform::WaitAndRead(*port, buffer, sizeof buffer, error);
        switch (r.status) {
        case platform::ReadStatus::Data: {
            std::lock_guard lock(serial.receiveLock);
            for (std::size_t i = 0; i < r.count; ++i)
                serial.OnReceiveByte(buffer[i]);
            break;
        }
        case platform::ReadStatus::Stopped:
            return kExitStopped;
        case platform::ReadStatus::Lost:
        case platform::ReadStatus::Failed:
            // Either way nothing more will come: tell the owner instead of spinning on a dead descriptor.
            serial.lost = true;
            serial.SetLastError(error);
            serial.OnPortLost(error);
            return r.status == platform::ReadStatus::Lost ? kExitPortLost : kExitWaitFailed;
        }
    }
}

SerialError CXSerial::LastError() const {
    std::lock_guard lock(errorLock);
    return lastError;
}

void CXSerial::SetLastError(SerialError error) {
    std::lock_guard lock(errorLock);
    lastError = std::move(error);
}

void CXSerial::ResetLine() {
    std::lock_guard lock(receiveLock);
    OnLineReset();
}

int ProbePort(const std::string &device) {
    SerialError error;
    return platform::Open(device, error) ? 1 : 0;
}

std::vector<std::string> ListSerialPorts() { return platform::ListPorts(); }

std::vector<PortInfo> DescribeSerialPorts() { return platform::DescribePorts(); }

} // namespace corvanta
