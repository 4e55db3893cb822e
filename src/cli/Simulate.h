#pragma once

#include <memory>
#include <string>

namespace corvanta::cli {

// The simulated module that --simulate starts in this process. It needs a
// pseudo-terminal, so not every OS has one; CMake picks the file.
class LocalModule {
public:
    virtual ~LocalModule() = default;
    // The device to open to talk to it.
    virtual const std::string &DevicePath() const = 0;
};

// Empty where --simulate works, else why not, for a usage error.
std::string SimulateUnavailable();

// A running module, or nullptr with the reason in why.
std::unique_ptr<LocalModule> StartLocalModule(std::string &why);

} // namespace corvanta::cli
