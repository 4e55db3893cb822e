// Port discovery from the registry. No port is opened: opening one may pulse
// DTR and RTS, which resets boards attached to it.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

#include "PortNames.h"
#include "serial_platform.h"

namespace corvanta::platform {
namespace {

// The values under SERIALCOMM: name the driver's device, data the port ("COM7").
std::vector<PortInfo> ReadSerialComm() {
    std::vector<PortInfo> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        // A name or port too long for these buffers is no COM port.
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        // Registry strings need not end in a NUL, or may carry several.
        std::string device(reinterpret_cast<const char *>(data), dataLength);
        device.erase(std::find(device.begin(), device.end(), '\0'), device.end());
        if (device.empty())
            continue;
        PortInfo info;
        info.device = std::move(device);
        info.driver.assign(name, nameLength);
        ports.push_back(std::move(info));
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo &a, const PortInfo &b) { return NaturalLess(a.device, b.device); });
    return ports;
}

} // namespace

std::vector<std::string> ListPorts() {
    std::vector<std::string> names;
    for (auto &info : ReadSerialComm())
        names.push_back(std::move(info.device));
    return names;
}

std::vector<PortInfo> DescribePorts() { return ReadSerialComm(); }

} // namespace corvanta::platform
