#include "Simulate.h"

namespace corvanta::cli {

std::string SimulateUnavailable() { return "--simulate needs a pseudo-terminal and is not available on Windows"; }

std::unique_ptr<LocalModule> StartLocalModule(std::string &why) {
    why = SimulateUnavailable();
    return nullptr;
}

} // namespace corvanta::cli
