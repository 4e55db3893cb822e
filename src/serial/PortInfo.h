#pragma once

#include <string>

namespace corvanta {

// What the system tells about a serial port without opening it. Fields it
// does not know stay empty.
struct PortInfo {
    std::string device;       // /dev/ttyUSB0
    std::string byId;         // stable alias, e.g. /dev/serial/by-id/usb-...-if00-port0
    std::string driver;       // cp210x, ch341-uart, ftdi_sio, cdc_acm, serial8250
    std::string usbId;        // "vvvv:pppp" for a USB adapter
    std::string manufacturer; // USB strings, as the adapter reports them
    std::string product;
    std::string serial;

    friend bool operator==(const PortInfo &, const PortInfo &) = default;
};

} // namespace corvanta
