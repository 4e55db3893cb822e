#pragma once

#include <string>
#include <vector>

namespace corvanta {

// The ttys under classDir (normally /sys/class/tty) that have a device with a
// driver, less the 8250 placeholders whose UART type is unknown, as paths
// under devDir, in natural order. Opens no port.
std::vector<std::string> ListSysfsTtyPorts(const std::string &classDir, const std::string &devDir);

} // namespace corvanta
