#include "Session.h"

#include "protocol/LineSettings.h"

namespace corvanta::cli {

Session::Session(std::ostream &err, CancelSignal &cancel) : err(err), cancel(cancel) {
    cancel.Register(waiter);
    port.SetNotifyWindow(&waiter, 1);
}

Session::~Session() {
    port.Close();
    cancel.Unregister(waiter);
}

int Session::Open(const std::string &path, std::uint32_t baud, std::uint8_t parity) {
    device = path;
    if (device.empty()) {
        std::string why;
        simulator = StartLocalModule(why);
        if (!simulator) {
            err << "corvanta-cli: cannot start the simulated module: " << why << '\n';
            return kExitPort;
        }
        device = simulator->DevicePath();
    }
    if (!port.Open(device, baud, parity)) {
        err << "corvanta-cli: cannot open " << device << ": " << DescribeSerialError(port.LastError()) << '\n';
        return kExitPort;
    }
    return kExitOk;
}

int Session::Retime(std::uint32_t baud, std::uint8_t parity) {
    if (port.ApplySettings(device, baud, parity))
        return kExitOk;
    err << "corvanta-cli: cannot set " << device << " to " << baud << " " << ParityName(parity) << ": "
        << DescribeSerialError(port.LastError()) << '\n';
    return kExitPort;
}

std::optional<ReplyFields> Session::Read(std::uint8_t command, const std::string &what,
                                         std::chrono::milliseconds timeout, int &code) {
    return Request(
        command, what, timeout, [command](FrameWriter &writer) { return SendReadRequest(writer, command); }, code);
}

int Session::WriteFailed() {
    err << "corvanta-cli: cannot write to " << device << ": " << DescribeSerialError(port.LastError()) << '\n';
    return kExitPort;
}

int Session::NoReply(const std::string &what, std::chrono::milliseconds timeout, bool quiet) {
    if (waiter.Cancelled())
        return kExitCancelled;
    if (const auto lost = waiter.Lost()) {
        err << "corvanta-cli: lost " << device << " while waiting for " << what << ": " << DescribeSerialError(*lost)
            << '\n';
        return kExitPort;
    }
    if (!quiet)
        err << "corvanta-cli: no reply to " << what << " within " << timeout.count()
            << " ms (check the port, its baud rate and parity, and the module's power)\n";
    return kExitNoReply;
}

} // namespace corvanta::cli
