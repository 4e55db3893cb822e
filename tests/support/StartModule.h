#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "sim/SimulatedModule.h"

namespace corvanta::test {

// A simulated module, started. A failed start fails the test, with the reason,
// and the module is returned either way.
inline std::unique_ptr<sim::SimulatedModule> StartModule(sim::SimOptions options = {}) {
    auto module = std::make_unique<sim::SimulatedModule>(std::move(options));
    std::string error;
    EXPECT_TRUE(module->Start(&error)) << error;
    return module;
}

} // namespace corvanta::test
