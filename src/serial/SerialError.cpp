#include "SerialError.h"

namespace corvanta {

std::string DescribeSerialError(const SerialError &error) {
    std::string text;
    switch (error.kind) {
    case SerialErrorKind::None:
        return "no error";
    case SerialErrorKind::NotFound:
        text = "no such device";
        break;
    case SerialErrorKind::PermissionDenied:
        text = "permission denied (add your user to the dialout group, then log in again)";
        break;
    case SerialErrorKind::Busy:
        text = "port busy: held by another program";
        break;
    case SerialErrorKind::InvalidArgument:
        text = "the port does not take these line settings";
        break;
    case SerialErrorKind::Unsupported:
        text = "not a serial port";
        break;
    case SerialErrorKind::Lost:
        text = "the device was unplugged or went away";
        break;
    case SerialErrorKind::TimedOut:
        text = "timed out";
        break;
    case SerialErrorKind::Io:
        text = "input/output error";
        break;
    }
    if (!error.message.empty())
        text += " [" + error.message + "]";
    return text;
}

} // namespace corvanta
