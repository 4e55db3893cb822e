// Win32 backend: overlapped I/O on the COM handle, and an event that wakes
// the receive thread.

#include <algorithm>
#include <cctype>
#include <string>
#include <windows.h>

#include "PortNames.h"
#include "serial_platform.h"

namespace corvanta::platform {

struct Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE stopEvent = nullptr; // manual reset, set by Wake and never reset
    HANDLE readEvent = nullptr;
    HANDLE writeEvent = nullptr;
};

namespace {

// Whether the handle was still being opened: the same code means another thing then.
enum class Stage { Opening, Open };

std::string SystemMessage(DWORD code) {
    char *text = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = length != 0 ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (std::isspace(static_cast<unsigned char>(message.back())) || message.back() == '.'))
        message.pop_back();
    return message;
}

// The one place where a Win32 error code becomes an error kind.
SerialErrorKind KindOf(DWORD code, Stage stage) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return SerialErrorKind::NotFound;
    case ERROR_ACCESS_DENIED:
        // Windows answers so for a port another program holds; on an open handle it means
        // the USB adapter was pulled.
        return stage == Stage::Opening ? SerialErrorKind::Busy : SerialErrorKind::Lost;
    case ERROR_SHARING_VIOLATION:
        return SerialErrorKind::Busy;
    case ERROR_INVALID_PARAMETER:
        return SerialErrorKind::InvalidArgument;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return SerialErrorKind::Unsupported;
    case ERROR_OPERATION_ABORTED:
    case ERROR_BAD_COMMAND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    // Wine's answers on a pseudo-terminal whose other side has gone.
    case ERROR_BROKEN_PIPE:
    case ERROR_NOT_READY:
        return SerialErrorKind::Lost;
    default:
        return SerialErrorKind::Io;
    }
}

SerialError FromWin32(DWORD code, const std::string &what, Stage stage) {
    return {KindOf(code, stage), static_cast<int>(code), what + ": " + SystemMessage(code)};
}

// "COM7" in any case names port 7, which from COM10 on is only reachable as
// "\\.\COM10"; anything else is taken as the device's own name.
std::string DeviceName(const std::string &device) {
    if (device.size() < 4 || device.size() > 9)
        return device;
    unsigned number = 0;
    for (std::size_t i = 3; i < device.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(device[i])))
            return device;
        number = number * 10 + static_cast<unsigned>(device[i] - '0');
    }
    const auto upper = [&](std::size_t i) { return std::toupper(static_cast<unsigned char>(device[i])); };
    if (upper(0) != 'C' || upper(1) != 'O' || upper(2) != 'M' || number == 0)
        return device;
    return ComDeviceName(number);
}

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

bool IsSet(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

} // namespace

void PortCloser::operator()(Port *port) const noexcept {
    // Every read and write has finished by now: each waits for its own completion.
    if (port->handle != INVALID_HANDLE_VALUE)
        CloseHandle(port->handle);
    for (HANDLE event : {port->stopEvent, port->readEvent, port->writeEvent})
        if (event != nullptr)
            CloseHandle(event);
    delete port;
}

PortPtr Open(const std::string &device, SerialError &error) {
    PortPtr port(new Port);
    port->handle = CreateFileA(DeviceName(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port->handle == INVALID_HANDLE_VALUE) {
        error = FromWin32(GetLastError(), device, Stage::Opening);
        return nullptr;
    }
    // What an earlier program left queued is not ours to send or read.
    PurgeComm(port->handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    // Nothing waits for these events (WaitCommEvent fails under Wine on a pty),
    // so a driver that refuses the mask is no reason to give up.
    SetCommMask(port->handle, EV_RXCHAR | EV_CTS | EV_RLSD | EV_BREAK);
    // All zero: a read waits until its bytes are there, a write until it is done.
    // A device that refuses time-outs is no serial port.
    COMMTIMEOUTS timeouts{};
    if (!SetCommTimeouts(port->handle, &timeouts)) {
        error = FromWin32(GetLastError(), device, Stage::Opening);
        return nullptr;
    }
    // Queue sizes are a recommendation the driver may ignore.
    SetupComm(port->handle, 1024, 1024);
    // DTR and RTS down before anything else: many boards reset on them. A
    // pseudo-terminal under Wine, like some virtual ports, has no modem lines.
    for (DWORD function : {CLRDTR, CLRRTS}) {
        if (!EscapeCommFunction(port->handle, function)) {
            const DWORD code = GetLastError();
            if (code != ERROR_NOT_SUPPORTED && code != ERROR_INVALID_FUNCTION && code != ERROR_INVALID_PARAMETER) {
                error = FromWin32(code, device, Stage::Opening);
                return nullptr;
            }
        }
    }
    port->stopEvent = NewEvent();
    port->readEvent = NewEvent();
    port->writeEvent = NewEvent();
    if (port->stopEvent == nullptr || port->readEvent == nullptr || port->writeEvent == nullptr) {
        error = FromWin32(GetLastError(), "CreateEvent", Stage::Open);
        return nullptr;
    }
    return port;
}

bool Configure(Port &port, std::uint32_t baud, std::uint32_t parity, SerialError &error) {
    if (baud == 0 || parity > 2) {
        error = FromWin32(ERROR_INVALID_PARAMETER, "line settings", Stage::Open);
        return false;
    }
    // Built from zero rather than from GetCommState, which under Wine on a pty
    // reads parity back wrong.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = 2;
    dcb.XoffLim = 4;
    dcb.ByteSize = 8;
    dcb.Parity = static_cast<BYTE>(parity == 0 ? NOPARITY : parity == 1 ? ODDPARITY : EVENPARITY);
    dcb.StopBits = ONESTOPBIT;
    // Unused with flow control off, but SetCommState refuses equal characters.
    dcb.XonChar = 0x13;
    dcb.XoffChar = 0x19;
    if (SetCommState(port.handle, &dcb))
        return true;
    const DWORD code = GetLastError();
    // Under Wine on a pseudo-terminal, asking again for the parity the line
    // already has fails: the pty drops PARENB, so the request changes nothing
    // and glibc's tcsetattr calls that EINVAL. By way of no parity it is a change.
    if (code == ERROR_INVALID_PARAMETER && parity != 0) {
        DCB none = dcb;
        none.Parity = NOPARITY;
        if (SetCommState(port.handle, &none) && SetCommState(port.handle, &dcb))
            return true;
    }
    error = FromWin32(code, "SetCommState", Stage::Open);
    return false;
}

long WriteSome(Port &port, const std::uint8_t *data, std::size_t count, int timeoutMs, SerialError &error) {
    if (count == 0)
        return 0;
    // A line error left standing would stop every later transfer on some drivers.
    DWORD lineErrors = 0;
    ClearCommError(port.handle, &lineErrors, nullptr);
    OVERLAPPED overlapped{};
    overlapped.hEvent = port.writeEvent;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, MAXDWORD));
    bool cancelled = false;
    if (!WriteFile(port.handle, data, chunk, nullptr, &overlapped)) {
        const DWORD code = GetLastError();
        if (code != ERROR_IO_PENDING) {
            error = FromWin32(code, "WriteFile", Stage::Open);
            return -1;
        }
        const DWORD wait = WaitForSingleObject(port.writeEvent, static_cast<DWORD>(std::max(timeoutMs, 0)));
        if (wait != WAIT_OBJECT_0) {
            // No room in time: take back what is still queued, so the caller decides what to resend.
            CancelIoEx(port.handle, &overlapped);
            cancelled = true;
        }
    }
    DWORD written = 0;
    // Waits for the write, or for the cancel to take effect: the OVERLAPPED must outlive it.
    if (!GetOverlappedResult(port.handle, &overlapped, &written, TRUE)) {
        const DWORD code = GetLastError();
        if (cancelled && code == ERROR_OPERATION_ABORTED)
            return static_cast<long>(written);
        error = FromWin32(code, "WriteFile", Stage::Open);
        return -1;
    }
    return static_cast<long>(written);
}

void DiscardOutput(Port &port) { PurgeComm(port.handle, PURGE_TXABORT | PURGE_TXCLEAR); }

ReadResult WaitAndRead(Port &port, std::uint8_t *buffer, std::size_t capacity, SerialError &error) {
    if (IsSet(port.stopEvent))
        return {ReadStatus::Stopped, 0};
    // Read what is queued, or else one byte, which completes when a byte comes
    // (zero time-outs): a wait without spinning, where WaitCommEvent is not usable.
    DWORD want = 1;
    DWORD lineErrors = 0;
    COMSTAT status{};
    if (ClearCommError(port.handle, &lineErrors, &status)) {
        if (status.cbInQue > 0)
            want = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, capacity));
    } else if (const DWORD code = GetLastError(); KindOf(code, Stage::Open) == SerialErrorKind::Lost) {
        error = FromWin32(code, "ClearCommError", Stage::Open);
        return {ReadStatus::Lost, 0};
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = port.readEvent;
    if (!ReadFile(port.handle, buffer, want, nullptr, &overlapped)) {
        const DWORD code = GetLastError();
        if (code != ERROR_IO_PENDING) {
            error = FromWin32(code, "ReadFile", Stage::Open);
            return {error.kind == SerialErrorKind::Lost ? ReadStatus::Lost : ReadStatus::Failed, 0};
        }
    }
    // The stop event comes first, so a stop wins over a read that is done too;
    // the read is then cancelled here, by the thread that owns it.
    const HANDLE events[2] = {port.stopEvent, port.readEvent};
    const DWORD wait = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    const DWORD waitError = wait == WAIT_FAILED ? GetLastError() : ERROR_SUCCESS;
    const bool stopped = wait == WAIT_OBJECT_0;
    if (wait != WAIT_OBJECT_0 + 1)
        CancelIoEx(port.handle, &overlapped);
    DWORD got = 0;
    // Also after a cancel: the read must be over before its OVERLAPPED and buffer go.
    const bool done = GetOverlappedResult(port.handle, &overlapped, &got, TRUE) != 0;
    const DWORD code = done ? ERROR_SUCCESS : GetLastError();
    if (stopped || (code == ERROR_OPERATION_ABORTED && IsSet(port.stopEvent)))
        return {ReadStatus::Stopped, 0};
    if (wait == WAIT_FAILED) {
        error = FromWin32(waitError, "WaitForMultipleObjects", Stage::Open);
        return {ReadStatus::Failed, 0};
    }
    if (!done) {
        // An abort we did not ask for: the driver gave up on the device.
        error = FromWin32(code, "ReadFile", Stage::Open);
        return {error.kind == SerialErrorKind::Lost ? ReadStatus::Lost : ReadStatus::Failed, 0};
    }
    if (got == 0) {
        // A read without time-outs ends empty only when the device has.
        error = {SerialErrorKind::Lost, 0, "ReadFile: end of file"};
        return {ReadStatus::Lost, 0};
    }
    return {ReadStatus::Data, static_cast<std::size_t>(got)};
}

// No TerminateThread and no cancel from here: the receive thread sees the
// event, cancels its own read and waits for it to end.
void Wake(Port &port) { SetEvent(port.stopEvent); }

} // namespace corvanta::platform
