#pragma once

#include <string>

namespace corvanta {

// "ttyS2" before "ttyS10": digit runs compare by value.
bool NaturalLess(const std::string &a, const std::string &b);

// Windows device name of COM port n: "COM%d" up to 9, "\\.\COM%d" from 10.
std::string ComDeviceName(unsigned n);

} // namespace corvanta
