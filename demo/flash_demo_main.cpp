// vireon-flash-demo: vireon-flash on the simulated bus, with simulated
// surfaces whose two chips fit examples/vireon-surface-demo.cyacd, so the
// command can be tried and shown without a device.
#include "flash.h"

#include "example_surface.h"
#include "exit_codes.h"
#include "fault_option.h"
#include "hidsim.h"
#include "kept_surfaces.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace sim = vireon::sim;

const char kScenarios[] =
    "\nSimulated surfaces (--scenario NAME, or the environment's\n"
    "VIREON_FLASH_DEMO_SCENARIO):\n"
    "  attached       one surface, on the bus from the start (default)\n"
    "  two            two surfaces, serial numbers VS-0001 and VS-0002\n"
    "  absent         no surface at all\n"
    "  late           one surface, attached 2 s after the start (try --wait)\n"
    "  open-refused   one surface that this user may not open\n"
    "  wrong-chip     one surface whose chips are not the file's\n"
    "  unplug         one surface unplugged in the middle of image 1, back 1 s later\n"
    "  never-returns  one surface that does not come back after image 1\n"
    "--report-ms MS sets the bus's time per report (default 1), --off-bus-ms MS how\n"
    "long a restarting surface stays off the bus (default 3000).\n"
    "--state DIR (or the environment's VIREON_FLASH_DEMO_STATE) keeps each surface's\n"
    "flash in DIR between runs, one file per serial number: a verify after an update\n"
    "finds what the update wrote, and a surface still restarting when a run ended\n"
    "comes back on the bus only when its restart is over. Without it every run\n"
    "starts from erased surfaces.\n"
    "A surface the scenario gives no serial number reports one of its own: SIM- and\n"
    "8 hex digits from the --state folder's full path (its file is surface.state),\n"
    "or SIM-P and the process id without one. One updater per surface holds for\n"
    "runs that share a state folder; demos with folders of their own, or none,\n"
    "never hold each other's surface lock.\n";

struct Demo {
    std::unique_ptr<vireon::demo::KeptSurfaces> surfaces;

    QString prepare(const QString &scenario, int reportMs, int offBusMs, const std::string &stateDir,
                    std::vector<sim::Fault> faults)
    {
        surfaces = std::make_unique<vireon::demo::KeptSurfaces>(stateDir);
        sim::SurfaceOptions options;
        options.targets = vireon::tools::targetsFor(vireon::demo::exampleImages());
        options.latencyPerReport = std::chrono::milliseconds(reportMs);
        options.offBusAfterExit = std::chrono::milliseconds(offBusMs);
        options.keepRecord = false; // a demo may update it all day
        if (!faults.empty() && (scenario == QLatin1String("absent") || scenario == QLatin1String("late") ||
                                scenario == QLatin1String("two")))
            return QStringLiteral("--fault needs a scenario with one surface from the start");
        if (scenario == QLatin1String("absent"))
            return {};
        if (scenario == QLatin1String("late"))
            return surfaces->add(options, {}, 2s);
        if (scenario == QLatin1String("two")) {
            options.serialNumber = L"VS-0001";
            const QString first = surfaces->add(options);
            options.serialNumber = L"VS-0002";
            return first.isEmpty() ? surfaces->add(options) : first;
        }
        if (scenario == QLatin1String("wrong-chip")) {
            for (sim::TargetConfig &target : options.targets)
                target.siliconId ^= 0x00FF0000;
        } else if (scenario == QLatin1String("open-refused")) {
            sim::Fault refuse{sim::Fault::OpenRefused};
            refuse.count = 1 << 30;
            faults.push_back(refuse);
        } else if (scenario == QLatin1String("unplug")) {
            sim::Fault unplug{sim::Fault::UnplugAt};
            unplug.exchange = 100;
            unplug.backAfter = 1s;
            faults.push_back(unplug);
        } else if (scenario == QLatin1String("never-returns")) {
            faults.push_back(sim::Fault{sim::Fault::NeverReturns});
        } else if (scenario != QLatin1String("attached")) {
            return QStringLiteral("unknown scenario '%1'").arg(scenario);
        }
        return surfaces->add(options, faults);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    Demo demo;
    const QCommandLineOption scenario(QStringLiteral("scenario"), QStringLiteral("The simulated surfaces (below)."),
                                      QStringLiteral("NAME"),
                                      qEnvironmentVariable("VIREON_FLASH_DEMO_SCENARIO", QStringLiteral("attached")));
    const QCommandLineOption reportMs(QStringLiteral("report-ms"), QStringLiteral("Time per report on the bus."),
                                      QStringLiteral("MS"), QStringLiteral("1"));
    const QCommandLineOption offBusMs(QStringLiteral("off-bus-ms"),
                                      QStringLiteral("How long a restarting surface stays off the bus."),
                                      QStringLiteral("MS"), QStringLiteral("3000"));
    const QCommandLineOption state(QStringLiteral("state"),
                                   QStringLiteral("Keep the surfaces' flash in this folder between runs."),
                                   QStringLiteral("DIR"), qEnvironmentVariable("VIREON_FLASH_DEMO_STATE"));
    const QCommandLineOption fault(QStringLiteral("fault"), QStringLiteral("A fault on the simulated surface (below)."),
                                   QStringLiteral("KIND:STAGE:N"));
    vireon::flash::FrontEnd frontEnd;
    frontEnd.programName = QStringLiteral("vireon-flash-demo");
    frontEnd.options = {scenario, reportMs, offBusMs, state, fault};
    frontEnd.helpEpilogue = QString::fromLatin1(kScenarios) + QString::fromLatin1(sim::kFaultHelp);
    frontEnd.prepare = [&](const QCommandLineParser &parser) {
        bool reportOk = false, offBusOk = false;
        const int report = parser.value(reportMs).toInt(&reportOk);
        const int offBus = parser.value(offBusMs).toInt(&offBusOk);
        if (!reportOk || !offBusOk || report < 0 || offBus < 0)
            return QStringLiteral("--report-ms and --off-bus-ms take whole milliseconds, 0 or more");
        std::vector<sim::Fault> faults;
        for (const QString &faultText : parser.values(fault)) {
            std::string why;
            const std::optional<sim::Fault> parsed = sim::parseFaultOption(faultText.toStdString(), &why);
            if (!parsed)
                return QStringLiteral("--fault: %1").arg(QString::fromStdString(why));
            faults.push_back(*parsed);
        }
        return demo.prepare(parser.value(scenario), report, offBus, QFile::encodeName(parser.value(state)).toStdString(),
                            faults);
    };
    const int code = vireon::flash::run(QCoreApplication::arguments(), stdout, stderr, frontEnd);
    const QString unsaved = demo.surfaces ? demo.surfaces->save() : QString();
    sim::Bus::instance().reset();
    if (!unsaved.isEmpty()) {
        // The next run would find a surface that lost what this one wrote.
        fprintf(stderr, "vireon-flash-demo: %s\n  fix: make the state folder writable.\n", qPrintable(unsaved));
        return code == 0 ? static_cast<int>(vireon::flash::Exit::SetupProblem) : code;
    }
    return code;
}
