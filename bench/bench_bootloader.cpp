// Programs a 64 KiB image (256 rows of 256 bytes) into the device model
// through a zero-latency in-memory transport: the cost of the bootloader
// host and the model alone, without any USB.
#include "cybtldr_api2.h"
#include "cyacd_gen.h"
#include "device_model.h"
#include "model_transport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

void BM_ProgramImage64K(benchmark::State &state)
{
    vireon::tools::ImageSpec image;
    image.rowCount = 256;
    image.rowSize = 256;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("vireon-bench-image-" + std::to_string(getpid()) + ".cyacd"))
                                 .string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << vireon::tools::imageText(image);
    vireon::sim::Bootloader device({vireon::tools::targetFor(image)});
    vireon::sim::ModelTransport transport(device);
    CyBtldr_CommunicationsData comm = transport.comm();

    int64_t rows = 0;
    std::chrono::nanoseconds elapsed{0};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int result = CyBtldr_Program(path.c_str(), &comm, nullptr);
        elapsed += std::chrono::steady_clock::now() - start;
        if (result != 0) {
            state.SkipWithError("programming failed");
            break;
        }
        rows += image.rowCount;
        state.PauseTiming();
        device.clearReceived(); // the model's request log would grow without bound
        state.ResumeTiming();
    }
    std::remove(path.c_str());
    if (device.flash(0) != vireon::tools::imageRows(image))
        state.SkipWithError("the flash does not hold the image");
    state.counters["rows_per_s"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
    if (transport.writes > 0)
        state.counters["ns_per_exchange"] =
            benchmark::Counter(static_cast<double>(elapsed.count()) / static_cast<double>(transport.writes));
}

} // namespace

BENCHMARK(BM_ProgramImage64K)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
