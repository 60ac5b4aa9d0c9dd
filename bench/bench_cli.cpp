// vireon-flash update of the example file on the simulated bus, as a user
// would run it: 1 ms per report, and 3 s off the bus while the surface
// restarts between its images (as in the window's demo).
//
// BM_CliUpdate: update_ratio is the command's wall time over the least any
// updater could take: the USB floor of both stages ((reports sent +
// reports received) x 1 ms) plus the surface's own time off the bus.
// BM_WindowUpdate: the window's whole update in the same run, played by
// vireon-control-demo --walkthrough (its fixed pause after the first stage
// included), as window_update_ms, and the GUI thread's share of one core
// over it as gui_cpu_percent (a window that waited by spinning its event
// loop would come near 100; it sleeps between events).
#include <benchmark/benchmark.h>

#include "example_surface.h"
#include "flash.h"
#include "hidsim.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kPerReport = 1ms;
constexpr auto kOffBus = 3000ms;

vireon::sim::SurfaceOptions exampleSurface()
{
    vireon::sim::SurfaceOptions options;
    options.targets = vireon::tools::targetsFor(vireon::demo::exampleImages());
    options.latencyPerReport = kPerReport;
    options.offBusAfterExit = kOffBus;
    return options;
}

void BM_CliUpdate(benchmark::State &state)
{
    double seconds = 0, floorSeconds = 0;
    FILE *quiet = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        vireon::sim::Bus::instance().reset();
        auto surface = vireon::sim::Bus::instance().attach(exampleSurface());
        const auto start = Clock::now();
        const int code = vireon::flash::run({QStringLiteral("vireon-flash"), QStringLiteral("update"),
                                             vireon::demo::exampleFile()},
                                            quiet, stderr);
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        if (code != 0) {
            state.SkipWithError("the update failed");
            break;
        }
        state.SetIterationTime(wall);
        seconds += wall;
        floorSeconds += (surface->reportsSent() + surface->reportsReceived()) * 1e-3 +
                        std::chrono::duration<double>(kOffBus).count();
    }
    std::fclose(quiet);
    vireon::sim::Bus::instance().reset();
    if (floorSeconds > 0) {
        state.counters["update_ratio"] = seconds / floorSeconds;
        state.counters["update_ms"] = 1000 * seconds / static_cast<double>(state.iterations());
        state.counters["floor_ms"] = 1000 * floorSeconds / static_cast<double>(state.iterations());
    }
}
BENCHMARK(BM_CliUpdate)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_WindowUpdate(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        QProcess demo;
        demo.setWorkingDirectory(dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        demo.setProcessEnvironment(environment);
        demo.start(QStringLiteral(VIREON_CONTROL_DEMO), {QStringLiteral("--walkthrough"), dir.filePath("shots")});
        if (!demo.waitForFinished(300000) || demo.exitCode() != 0) {
            state.SkipWithError("the window's walk-through failed");
            break;
        }
        const QString output = QString::fromLocal8Bit(demo.readAllStandardOutput());
        const QRegularExpressionMatch update =
            QRegularExpression(QStringLiteral("^  update +([0-9.]+) ms"), QRegularExpression::MultilineOption)
                .match(output);
        if (!update.hasMatch()) {
            state.SkipWithError("the walk-through printed no update time");
            break;
        }
        const QRegularExpressionMatch cpu =
            QRegularExpression(QStringLiteral("^  GUI thread CPU [0-9.]+ ms over the update, ([0-9.]+) %"),
                               QRegularExpression::MultilineOption)
                .match(output);
        const double ms = update.captured(1).toDouble();
        state.SetIterationTime(ms / 1000);
        state.counters["window_update_ms"] = ms;
        if (cpu.hasMatch())
            state.counters["gui_cpu_percent"] = cpu.captured(1).toDouble();
    }
}
BENCHMARK(BM_WindowUpdate)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
