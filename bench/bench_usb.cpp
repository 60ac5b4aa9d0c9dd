// A PROGRAM of a 64 KiB image (256 rows of 256 bytes in one array) through
// the HID transport and the simulated surface.
//
// BM_ProgramOverFullSpeedBus: 1 ms per report, as a full-speed interrupt
// endpoint gives. The USB floor is (reports sent + reports received) x 1 ms;
// floor_ratio is the wall time of the action over that floor.
// BM_ProgramAtZeroLatency: the bus adds nothing; exchanges_per_s is the rate
// of the host, transport and simulated bus themselves.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "cyacd_gen.h"
#include "cybtldr_api2.h"
#include "hid_transport.h"
#include "hidsim.h"

hid_device *handle = nullptr;

namespace {

using namespace vireon;
using Clock = std::chrono::steady_clock;

tools::ImageSpec image64k()
{
    tools::ImageSpec layout;
    layout.rowCount = 256;
    layout.rowSize = 256;
    layout.seed = 64;
    return layout;
}

const std::string &imagePath()
{
    static const std::string path = [] {
        const auto p = std::filesystem::temp_directory_path() / ("bench_usb_" + std::to_string(getpid()) + ".cyacd");
        tools::writeFile(p.string(), {image64k()});
        return p.string();
    }();
    return path;
}

struct Totals {
    double seconds = 0;
    double reports = 0;
    double exchanges = 0;
};

// One PROGRAM on a freshly attached surface; only the action is timed.
bool programOnce(benchmark::State &state, std::chrono::microseconds latency, Totals &totals)
{
    sim::Bus::instance().reset();
    sim::SurfaceOptions options;
    options.targets = {tools::targetFor(image64k())};
    options.latencyPerReport = latency;
    options.offBusAfterExit = std::chrono::milliseconds(10);
    auto surface = sim::Bus::instance().attach(options);
    handle = hid_open(sim::kVendorId, sim::kProductId, nullptr);
    if (!handle) {
        state.SkipWithError("the surface could not be opened");
        return false;
    }
    CyBtldr_CommunicationsData record = core::hidTransport<&handle>();

    const auto start = Clock::now();
    const int result = CyBtldr_Program(imagePath().c_str(), &record, core::ignoreProgress);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    hid_close(handle);
    handle = nullptr;
    if (result != 0) {
        state.SkipWithError(("PROGRAM failed with " + std::to_string(result)).c_str());
        return false;
    }
    state.SetIterationTime(seconds);
    totals.seconds += seconds;
    totals.reports += surface->reportsSent() + surface->reportsReceived();
    totals.exchanges += surface->exchanges();
    return true;
}

void BM_ProgramOverFullSpeedBus(benchmark::State &state)
{
    Totals totals;
    for (auto _ : state)
        if (!programOnce(state, std::chrono::milliseconds(1), totals))
            break;
    if (totals.reports > 0) {
        state.counters["reports"] = totals.reports / static_cast<double>(state.iterations());
        state.counters["floor_ratio"] = totals.seconds / (totals.reports * 1e-3);
    }
}
BENCHMARK(BM_ProgramOverFullSpeedBus)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_ProgramAtZeroLatency(benchmark::State &state)
{
    Totals totals;
    for (auto _ : state)
        if (!programOnce(state, std::chrono::microseconds(0), totals))
            break;
    if (totals.seconds > 0)
        state.counters["exchanges_per_s"] = totals.exchanges / totals.seconds;
}
BENCHMARK(BM_ProgramAtZeroLatency)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sim::Bus::instance().reset();
    std::remove(imagePath().c_str());
    return 0;
}
