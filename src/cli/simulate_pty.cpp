#include "Simulate.h"
#include "sim/SimulatedModule.h"

namespace corvanta::cli {
namespace {

class PtyModule final : public LocalModule {
public:
    const std::string &DevicePath() const override { return module.DevicePath(); }
    sim::SimulatedModule module;
};

} // namespace

std::string SimulateUnavailable() { return {}; }

std::unique_ptr<LocalModule> StartLocalModule(std::string &why) {
    auto local = std::make_unique<PtyModule>();
    if (!local->module.Start(&why))
        return nullptr;
    return local;
}

} // namespace corvanta::cli
