// Port discovery from sysfs. No port is opened: opening a tty raises DTR and
// RTS, which resets boards attached to it.

#include "ports_linux.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "PortNames.h"
#include "serial_platform.h"

namespace corvanta {

std::vector<std::string> ListSysfsTtyPorts(const std::string &classDir, const std::string &devDir) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(classDir, ec)) {
        const fs::path tty = entry.path();
        // Virtual terminals and pseudo-terminals have no device, or a device without a driver.
        if (!fs::exists(tty / "device" / "driver", ec))
            continue;
        // 8250 drivers register placeholder ports for UARTs that are not there; their type is 0 (unknown).
        std::ifstream type(tty / "type");
        int uartType = -1;
        if (type >> uartType && uartType == 0)
            continue;
        names.push_back(tty.filename().string());
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<std::string> paths;
    paths.reserve(names.size());
    for (const auto &name : names)
        paths.push_back((fs::path(devDir) / name).string());
    return paths;
}

namespace platform {

std::vector<std::string> ListPorts() { return ListSysfsTtyPorts("/sys/class/tty", "/dev"); }

} // namespace platform
} // namespace corvanta
