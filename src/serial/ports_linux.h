#pragma once

#include <string>
#include <vector>

#include "PortInfo.h"

namespace corvanta {

// The ttys under classDir (normally /sys/class/tty) that have a device with a
// driver, less the 8250 placeholders whose UART type is unknown, as paths
// under devDir, in natural order. Opens no port.
std::vector<std::string> ListSysfsTtyPorts(const std::string &classDir, const std::string &devDir);

// The same ports, each with its driver, the USB ids and strings of the adapter
// it sits on, and the link in byIdDir (normally /dev/serial/by-id) that
// resolves to it. Reads sysfs attributes and links only; opens no port.
std::vector<PortInfo> DescribeSysfsTtyPorts(const std::string &classDir, const std::string &devDir,
                                            const std::string &byIdDir);

} // namespace corvanta
