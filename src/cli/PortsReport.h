#pragma once

#include <iosfwd>
#include <vector>

#include "serial/PortInfo.h"

namespace corvanta::cli {

// The ports one a line in aligned columns (device, USB id with the adapter's
// strings and driver, stable alias), or as a JSON array of objects. With no
// port, the human form says so on err; the JSON form prints an empty array.
void PrintPorts(const std::vector<PortInfo> &ports, bool json, std::ostream &out, std::ostream &err);

} // namespace corvanta::cli
