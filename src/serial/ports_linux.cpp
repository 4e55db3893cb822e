// Port discovery from sysfs. No port is opened: opening a tty raises DTR and
// RTS, which resets boards attached to it.

#include "ports_linux.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "PortNames.h"
#include "serial_platform.h"

namespace corvanta {
namespace {

namespace fs = std::filesystem;

// A USB serial tty sits two levels below its USB device (port, interface);
// a few more allow for bridges that add a level of their own.
constexpr int kUsbSearchLevels = 6;

// The path with every link resolved, or empty when any part is missing.
fs::path Resolved(const fs::path &path) {
    std::error_code ec;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? fs::path() : resolved;
}

// A sysfs attribute (at most a page) without its trailing newline or blanks.
std::string ReadAttribute(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

// Since Linux 6.5 a UART tty's device is a serial-base port below a
// serial-base controller, with drivers "port" and "ctrl"; the driver worth
// naming is the one of the hardware above them.
std::string DriverName(const fs::path &device) {
    fs::path hardware = device;
    for (int level = 0; level < 3 && Resolved(hardware / "subsystem").filename() == "serial-base"; ++level)
        hardware = hardware.parent_path();
    fs::path driver = Resolved(hardware / "driver");
    if (driver.empty())
        driver = Resolved(device / "driver");
    return driver.filename().string();
}

void ReadUsbDevice(fs::path dir, PortInfo &info) {
    std::error_code ec;
    for (int level = 0; level <= kUsbSearchLevels; ++level) {
        // Either id marks the USB device; going on past it would find the root hub.
        if (fs::exists(dir / "idVendor", ec) || fs::exists(dir / "idProduct", ec)) {
            const std::string vendorId = ReadAttribute(dir / "idVendor");
            const std::string productId = ReadAttribute(dir / "idProduct");
            if (!vendorId.empty() && !productId.empty())
                info.usbId = vendorId + ":" + productId;
            info.manufacturer = ReadAttribute(dir / "manufacturer");
            info.product = ReadAttribute(dir / "product");
            info.serial = ReadAttribute(dir / "serial");
            return;
        }
        if (dir == dir.parent_path())
            return;
        dir = dir.parent_path();
    }
}

struct AliasLink {
    fs::path target; // resolved
    std::string path;
};

// The links in byIdDir with where they lead, by name so that a device with
// several aliases always gets the same one.
std::vector<AliasLink> ReadAliasLinks(const std::string &byIdDir) {
    std::vector<AliasLink> links;
    std::error_code ec;
    for (fs::directory_iterator it(byIdDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkEc;
        if (!it->is_symlink(linkEc))
            continue;
        fs::path target = Resolved(it->path());
        if (!target.empty())
            links.push_back({std::move(target), it->path().string()});
    }
    std::sort(links.begin(), links.end(), [](const AliasLink &a, const AliasLink &b) { return a.path < b.path; });
    return links;
}

} // namespace

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

std::vector<PortInfo> DescribeSysfsTtyPorts(const std::string &classDir, const std::string &devDir,
                                            const std::string &byIdDir) {
    const std::vector<AliasLink> aliases = ReadAliasLinks(byIdDir);
    std::vector<PortInfo> ports;
    for (const auto &device : ListSysfsTtyPorts(classDir, devDir)) {
        PortInfo info;
        info.device = device;
        const fs::path sysDevice = Resolved(fs::path(classDir) / fs::path(device).filename() / "device");
        if (!sysDevice.empty()) {
            info.driver = DriverName(sysDevice);
            ReadUsbDevice(sysDevice, info);
        }
        if (const fs::path node = Resolved(device); !node.empty()) {
            const auto alias = std::find_if(aliases.begin(), aliases.end(),
                                            [&](const AliasLink &link) { return link.target == node; });
            if (alias != aliases.end())
                info.byId = alias->path;
        }
        ports.push_back(std::move(info));
    }
    return ports;
}

namespace platform {

std::vector<std::string> ListPorts() { return ListSysfsTtyPorts("/sys/class/tty", "/dev"); }

std::vector<PortInfo> DescribePorts() { return DescribeSysfsTtyPorts("/sys/class/tty", "/dev", "/dev/serial/by-id"); }

} // namespace platform
} // namespace corvanta
