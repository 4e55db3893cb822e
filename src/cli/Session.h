#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "Cancel.h"
#include "Simulate.h"
#include "protocol/ReplyFields.h"
#include "protocol/Requests.h"
#include "serial/NerloSerial.h"
#include "serial/ReplyWaiter.h"

namespace corvanta::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitNoReply = 1,     // no reply in time, or a search without answer
    kExitUsage = 2,       // bad arguments or values; nothing was sent
    kExitPort = 3,        // the port cannot be opened or written
    kExitVerify = 4,      // a write was answered but the module reads back something else
    kExitCancelled = 130, // Ctrl-C
};

// One open port to one module: requests and their replies. Messages go to
// err, each a line starting with "corvanta-cli: ".
class Session {
public:
    Session(std::ostream &err, CancelSignal &cancel);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Opens device, or a simulated module of its own when device is empty.
    int Open(const std::string &device, std::uint32_t baud, std::uint8_t parity);
    // Re-times the open port in place.
    int Retime(std::uint32_t baud, std::uint8_t parity);

    // Sends one request and waits for the reply with the same command code;
    // replies to anything else are ignored. On failure code says why.
    template <typename SendRequest>
    std::optional<ReplyFields> Request(std::uint8_t command, const std::string &what, std::chrono::milliseconds timeout,
                                       SendRequest send, int &code, bool quietTimeout = false) {
        waiter.Clear();
        if (waiter.Cancelled()) {
            code = kExitCancelled;
            return std::nullopt;
        }
        if (!send(static_cast<FrameWriter &>(port))) {
            code = WriteFailed();
            return std::nullopt;
        }
        auto reply = waiter.WaitFor(command, timeout);
        if (!reply)
            code = NoReply(what, timeout, quietTimeout);
        return reply;
    }
    std::optional<ReplyFields> Read(std::uint8_t command, const std::string &what, std::chrono::milliseconds timeout,
                                    int &code);

    const std::string &Device() const { return device; }
    std::ostream &Err() { return err; }

private:
    int WriteFailed();
    int NoReply(const std::string &what, std::chrono::milliseconds timeout, bool quiet);

    std::ostream &err;
    CancelSignal &cancel;
    std::unique_ptr<LocalModule> simulator; // outlives the port, which closes first
    ReplyWaiter waiter;
    NerloSerial port;
    std::string device;
};

} // namespace corvanta::cli
