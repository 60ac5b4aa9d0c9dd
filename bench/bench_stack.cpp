// The same exchanges and the same whole update over one of two USB stacks,
// chosen when the file is built: the system's hidapi over udev, sysfs and an
// emulated /dev/hidraw0 under umockdev (bench_umockdev, run under its
// preload), or the simulated bus (bench_simbus). Both add no bus latency, so
// the figures are the cost of the stack itself. scripts/bench-stacks.sh runs
// the two back to back.
//
// BM_Exchange: one enter-bootloader request and its answer through the HID
// transport, on an open handle.
// BM_TwoImageUpdate: a two-chip surface plugged in; PROGRAM of the first
// 64 KiB image, the restart (10 ms off the bus, found again by polling
// the listing every millisecond, as the window finds it), PROGRAM of the
// second; both chips checked afterwards.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

#include "cyacd_gen.h"
#include "cybtldr_api2.h"
#include "hid_transport.h"
#include "surface_access.h"
#include "usb_ids.h"
#ifdef VIREON_BENCH_UMOCKDEV
#include "hidraw_testbed.h"
#else
#include "hidsim.h"
#endif

namespace {

hid_device *handle = nullptr; // the handle the transport record works on

using namespace vireon;
using Clock = std::chrono::steady_clock;
constexpr auto kOffBus = std::chrono::milliseconds(10);

std::vector<tools::ImageSpec> images()
{
    tools::ImageSpec first;
    first.rowCount = 256;
    first.rowSize = 256;
    first.seed = 64;
    tools::ImageSpec second = first;
    second.siliconId = first.siliconId + 1;
    second.seed = 65;
    return {first, second};
}

#ifdef VIREON_BENCH_UMOCKDEV
struct Surface {
    testbed::HidrawTestbed bed{tools::targetsFor(images()), kOffBus};
    sim::Bootloader &device() { return bed.device(); }
    std::unique_lock<std::mutex> lock() { return bed.lock(); }
    int exchanges() const { return bed.exchanges(); }
};
#else
struct Surface {
    std::shared_ptr<sim::Surface> surface = [] {
        sim::Bus::instance().reset();
        sim::SurfaceOptions options;
        options.targets = tools::targetsFor(images());
        options.offBusAfterExit = kOffBus;
        return sim::Bus::instance().attach(options);
    }();
    sim::Bootloader &device() { return surface->device(); }
    std::unique_lock<std::mutex> lock() { return surface->lock(); }
    int exchanges() const { return surface->exchanges(); }
};
#endif

const std::string &imagePath(size_t n)
{
    static const std::vector<std::string> paths = [] {
        std::vector<std::string> out;
        for (size_t i = 0; i < 2; ++i) {
            const auto p = std::filesystem::temp_directory_path() /
                           ("bench_stack_" + std::to_string(getpid()) + "_" + std::to_string(i) + ".cyacd");
            tools::writeFile(p.string(), {images()[i]});
            out.push_back(p.string());
        }
        return out;
    }();
    return paths[n];
}

// As the product lists and opens: its own listing, hid_open_path under the
// lock.
bool present() { return core::surfaceAttached(); }

void BM_Exchange(benchmark::State &state)
{
    Surface surface;
    handle = core::openSurface().device;
    if (handle == nullptr)
        return state.SkipWithError("the surface could not be opened");
    std::vector<uint8_t> request = sim::buildPacket(sim::PacketChecksum::Sum, sim::command::Enter, {});
    request.resize(512);
    unsigned char answer[512];
    for (auto _ : state) {
        if (core::writePacket(handle, request.data(), 7) != 0 || core::readPacket(handle, answer, 512) != 0 || answer[1] != 0) {
            state.SkipWithError("an exchange failed");
            break;
        }
    }
    hid_close(handle);
    handle = nullptr;
}
BENCHMARK(BM_Exchange)->Unit(benchmark::kMicrosecond);

int program(size_t image)
{
    CyBtldr_CommunicationsData record = core::hidTransport<&handle>();
    handle = core::openSurface().device;
    const int result = handle == nullptr ? -1 : CyBtldr_Program(imagePath(image).c_str(), &record, core::ignoreProgress);
    if (handle != nullptr)
        hid_close(handle);
    handle = nullptr;
    return result;
}

void BM_TwoImageUpdate(benchmark::State &state)
{
    for (auto _ : state) {
        Surface surface;
        const auto start = Clock::now();
        bool ok = program(0) == 0;
        const auto restarted = [&surface] {
            auto lock = surface.lock();
            return surface.device().currentTarget() == 1;
        };
        while (ok && present() && !restarted()) // the restart takes it off the bus ...
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        while (ok && !present()) // ... and brings the second chip
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ok = ok && program(1) == 0;
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        state.counters["exchanges"] = surface.exchanges();
        auto lock = surface.lock();
        for (size_t chip = 0; ok && chip < 2; ++chip)
            ok = surface.device().flash(chip) == tools::imageRows(images()[chip]);
        if (!ok) {
            state.SkipWithError("the update failed");
            break;
        }
    }
}
BENCHMARK(BM_TwoImageUpdate)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
#ifdef VIREON_BENCH_UMOCKDEV
    if (!testbed::underPreload()) {
        std::printf("bench_umockdev: umockdev's preload library is not loaded (LD_PRELOAD=libumockdev-preload.so.0): skipped\n");
        return 0;
    }
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(imagePath(0).c_str());
    std::remove(imagePath(1).c_str());
    return 0;
}
