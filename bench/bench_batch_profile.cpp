// A profile applied to one module, and to eight side by side: with one thread
// per port, eight should take about as long as one, not eight times as long.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "cli/CliApp.h"
#include "sim/SimulatedModule.h"

namespace {

void BM_ProfileApply(benchmark::State &state) {
    const int modules = static_cast<int>(state.range(0));
    std::vector<std::unique_ptr<corvanta::sim::SimulatedModule>> sims;
    std::vector<std::string> args;
    for (int i = 0; i < modules; ++i) {
        sims.push_back(std::make_unique<corvanta::sim::SimulatedModule>());
        if (!sims.back()->Start()) {
            state.SkipWithError("cannot start a simulated module");
            return;
        }
        args.insert(args.end(), {"-p", sims.back()->DevicePath()});
    }
    char file[] = "/tmp/corvanta-bench-profile-XXXXXX";
    const int fd = ::mkstemp(file);
    ::close(fd);
    std::ofstream(file) << R"({"format": 1, "channel": 12, "rf_baud": 19200, "id": 4242, "power": 5})";
    args.insert(args.end(), {"profile", "apply", file});

    for (auto _ : state) {
        std::ostringstream out, err;
        if (corvanta::cli::RunCli(args, out, err) != 0) {
            state.SkipWithError(err.str().c_str());
            break;
        }
    }
    std::remove(file);
    state.counters["modules"] = modules;
}

// Each apply makes seven request-and-reply round trips per module, 20 ms of simulated reply delay each.
BENCHMARK(BM_ProfileApply)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
