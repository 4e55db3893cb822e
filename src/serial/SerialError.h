#pragma once

#include <string>

namespace corvanta {

// Why a serial operation failed, mapped from the OS error in one place per OS.
enum class SerialErrorKind {
    None,
    NotFound,         // no such port
    PermissionDenied, // the user may not open it
    Busy,             // held by another program
    InvalidArgument,  // a rate or parity the port does not take
    Unsupported,      // the device is no serial port
    Lost,             // the device went away while open
    TimedOut,
    Io, // anything else
};

struct SerialError {
    SerialErrorKind kind = SerialErrorKind::None;
    int osCode = 0;      // errno or GetLastError(), 0 when none
    std::string message; // the OS's own words

    explicit operator bool() const { return kind != SerialErrorKind::None; }
};

// A sentence for users: what went wrong and what to do about it.
std::string DescribeSerialError(const SerialError &error);

} // namespace corvanta
