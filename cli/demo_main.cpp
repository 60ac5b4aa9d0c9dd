// vireon-flash-demo: vireon-flash on the simulated bus, with simulated
// surfaces whose two chips fit examples/vireon-surface-demo.cyacd, so the
// command can be tried and shown without a device.
#include "flash.h"

#include "example_surface.h"
#include "hidsim.h"

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace sim = vireon::sim;

const char kScenarios[] =
    "\nSimulated surfaces (--scenario NAME):\n"
    "  attached       one surface, on the bus from the start (default)\n"
    "  two            two surfaces, serial numbers VS-0001 and VS-0002\n"
    "  absent         no surface at all\n"
    "  late           one surface, attached 2 s after the start (try --wait)\n"
    "  open-refused   one surface that this user may not open\n"
    "  wrong-chip     one surface whose chips are not the file's\n"
    "  unplug         one surface unplugged in the middle of image 1, back 1 s later\n"
    "  never-returns  one surface that does not come back after image 1\n"
    "--report-ms MS sets the bus's time per report (default 1), --off-bus-ms MS how\n"
    "long a restarting surface stays off the bus (default 3000).\n";

struct Demo {
    std::thread late; // attaches the surface of the "late" scenario

    QString prepare(const QString &scenario, int reportMs, int offBusMs)
    {
        sim::SurfaceOptions options;
        options.targets = vireon::tools::targetsFor(vireon::demo::exampleImages());
        options.latencyPerReport = std::chrono::milliseconds(reportMs);
        options.offBusAfterExit = std::chrono::milliseconds(offBusMs);
        sim::Bus &bus = sim::Bus::instance();
        if (scenario == QLatin1String("absent"))
            return {};
        if (scenario == QLatin1String("late")) {
            late = std::thread([options]() {
                std::this_thread::sleep_for(2s);
                sim::Bus::instance().attach(options);
            });
            return {};
        }
        if (scenario == QLatin1String("two")) {
            options.serialNumber = L"VS-0001";
            bus.attach(options);
            options.serialNumber = L"VS-0002";
            bus.attach(options);
            return {};
        }
        if (scenario == QLatin1String("wrong-chip"))
            for (sim::TargetConfig &target : options.targets)
                target.siliconId ^= 0x00FF0000;
        const std::shared_ptr<sim::Surface> surface = bus.attach(options);
        if (scenario == QLatin1String("open-refused")) {
            sim::Fault refuse{sim::Fault::OpenRefused};
            refuse.count = 1 << 30;
            surface->addFault(refuse);
        } else if (scenario == QLatin1String("unplug")) {
            sim::Fault unplug{sim::Fault::UnplugAt};
            unplug.exchange = 100;
            unplug.backAfter = 1s;
            surface->addFault(unplug);
        } else if (scenario == QLatin1String("never-returns")) {
            surface->addFault(sim::Fault{sim::Fault::NeverReturns});
        } else if (scenario != QLatin1String("attached") && scenario != QLatin1String("wrong-chip")) {
            return QStringLiteral("unknown scenario '%1'").arg(scenario);
        }
        return {};
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    Demo demo;
    const QCommandLineOption scenario(QStringLiteral("scenario"), QStringLiteral("The simulated surfaces (below)."),
                                      QStringLiteral("NAME"), QStringLiteral("attached"));
    const QCommandLineOption reportMs(QStringLiteral("report-ms"), QStringLiteral("Time per report on the bus."),
                                      QStringLiteral("MS"), QStringLiteral("1"));
    const QCommandLineOption offBusMs(QStringLiteral("off-bus-ms"),
                                      QStringLiteral("How long a restarting surface stays off the bus."),
                                      QStringLiteral("MS"), QStringLiteral("3000"));
    vireon::flash::FrontEnd frontEnd;
    frontEnd.programName = QStringLiteral("vireon-flash-demo");
    frontEnd.options = {scenario, reportMs, offBusMs};
    frontEnd.helpEpilogue = QString::fromLatin1(kScenarios);
    frontEnd.prepare = [&](const QCommandLineParser &parser) {
        bool reportOk = false, offBusOk = false;
        const int report = parser.value(reportMs).toInt(&reportOk);
        const int offBus = parser.value(offBusMs).toInt(&offBusOk);
        if (!reportOk || !offBusOk || report < 0 || offBus < 0)
            return QStringLiteral("--report-ms and --off-bus-ms take whole milliseconds, 0 or more");
        return demo.prepare(parser.value(scenario), report, offBus);
    };
    const int code = vireon::flash::run(QCoreApplication::arguments(), stdout, stderr, frontEnd);
    if (demo.late.joinable())
        demo.late.join();
    sim::Bus::instance().reset();
    return code;
}
