// vireon-control-demo: the updater's window on the simulated bus, with one
// simulated surface whose two chips fit examples/vireon-surface-demo.cyacd.
#include "example_surface.h"
#include "fault_option.h"
#include "hidsim.h"
#include "mainwindow.h"
#include "process_figures.h"
#include "screenshot.h"
#include "single_instance.h"
#include "surface_identity.h"
#include "version.h"
#include "walkthrough.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Under LeakSanitizer: the offscreen platform never frees its screen
// object, which is none of ours (its stacks show it only when unwound fully).
extern "C" const char *__lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

using namespace std::chrono_literals;
namespace sim = vireon::sim;

const char kUsage[] =
    "usage: vireon-control-demo [options]\n"
    "  --scenario NAME   what the simulated surface does:\n"
    "                      attached      on the bus from the start (default)\n"
    "                      absent        no surface at all\n"
    "                      unplug-later  unplugged 10 s after start, back 10 s later\n"
    "                      open-refused  on the bus, but every open fails\n"
    "  --screenshot FILE choose the example file, wait for the presence check,\n"
    "                    save the window as a PNG picture and quit\n"
    "  --choose CYACD    the file --screenshot chooses\n"
    "                    (default examples/vireon-surface-demo.cyacd)\n"
    "  --time-to-show    print the milliseconds from the process start to the\n"
    "                    window's first paint and, a second later, the\n"
    "                    resident memory of the idle window, then quit\n"
    "  --walkthrough DIR play a whole update on its own in the current folder:\n"
    "                    choose the example file, press UPDATE, close every box,\n"
    "                    save a picture of each stage into DIR, print the log\n"
    "                    and the figures; exit 0 only when the update succeeded\n"
    "  --version         print the version and exit\n"
    "One updater works in a folder at a time, the demo included (the lock file\n"
    ".vireon-control.lock): start a second one in another folder.\n";


struct Options {
    std::string scenario = "attached";
    QString screenshot;
    QString walkthrough;
    QString choose = QStringLiteral("examples/vireon-surface-demo.cyacd");
    bool timeToShow = false;
    std::vector<sim::Fault> faults;
};

void printUsage(std::FILE *to)
{
    std::fputs(kUsage, to);
    std::fputs(sim::kFaultHelp, to);
}

// -1: go on; else the exit status.
int parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--scenario" && hasValue) {
            o.scenario = argv[++i];
        } else if (option == "--screenshot" && hasValue) {
            o.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (option == "--choose" && hasValue) {
            o.choose = QString::fromLocal8Bit(argv[++i]);
        } else if (option == "--walkthrough" && hasValue) {
            o.walkthrough = QString::fromLocal8Bit(argv[++i]);
        } else if (option == "--fault" && hasValue) {
            std::string why;
            const std::optional<sim::Fault> fault = sim::parseFaultOption(argv[++i], &why);
            if (!fault) {
                std::fprintf(stderr, "vireon-control-demo: --fault: %s\n", why.c_str());
                return 2;
            }
            o.faults.push_back(*fault);
        } else if (option == "--time-to-show") {
            o.timeToShow = true;
        } else if (option == "--version") {
            std::printf("vireon-control-demo %s\n", VIREON_VERSION);
            return 0;
        } else if (option == "--help" || option == "-h") {
            printUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vireon-control-demo: unknown option %s\n", argv[i]);
            printUsage(stderr);
            return 2;
        }
    }
    if (o.scenario != "attached" && o.scenario != "absent" && o.scenario != "unplug-later" &&
        o.scenario != "open-refused") {
        std::fprintf(stderr, "vireon-control-demo: unknown scenario %s\n", o.scenario.c_str());
        printUsage(stderr);
        return 2;
    }
    if (!o.faults.empty() && o.scenario == "absent") {
        std::fputs("vireon-control-demo: --fault needs a surface\n", stderr);
        return 2;
    }
    return -1;
}

// Puts the scenario's surface on the bus; null for "absent".
std::shared_ptr<sim::Surface> attachScenario(const std::string &scenario, const sim::SurfaceOptions &options,
                                             QObject *application)
{
    sim::Bus &bus = sim::Bus::instance();
    if (scenario == "absent")
        return nullptr;
    std::shared_ptr<sim::Surface> surface = bus.attach(options);
    if (scenario == "open-refused") {
        sim::Fault refuse{sim::Fault::OpenRefused};
        refuse.count = 1 << 30;
        surface->addFault(refuse);
    }
    if (scenario == "unplug-later") {
        QTimer::singleShot(10000, application, [&bus, surface]() {
            bus.detach(surface);
            QTimer::singleShot(10000, qApp, [&bus, surface]() { bus.plugBackIn(surface); });
        });
    }
    return surface;
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    Options o;
    if (const int status = parse(argc, argv, o); status >= 0)
        return status;

    Q_INIT_RESOURCE(gui_elements);
    // The window paints with the raster engine; without this the X11
    // platform loads the whole OpenGL stack, tens of megabytes, for nothing.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication application(argc, argv);
    // The same window, the same temporary images and log in the working
    // folder: the same one-per-folder lock as the shipped program.
    QLockFile folderLock(QDir::current().absoluteFilePath(vireon::app::kFolderLockName));
    if (!vireon::app::claimWorkingFolder(folderLock))
        return o.screenshot.isEmpty() && o.walkthrough.isEmpty() ? 0 : 1;

    sim::SurfaceOptions options;
    options.targets = vireon::tools::targetsFor(vireon::demo::exampleImages());
    options.latencyPerReport = 1ms;
    options.offBusAfterExit = 3000ms;
    options.keepRecord = false; // a demo may update it all day
    // A surface of this process's own: another demo's, or vireon-flash-demo's,
    // is another surface with a lock of its own.
    options.serialNumber = sim::ownSerialNumber({});
    const std::shared_ptr<sim::Surface> surface = attachScenario(o.scenario, options, &application);
    for (const sim::Fault &fault : o.faults)
        surface->addFault(fault);

    int status = 0;
    {
        MainWindow window;
        vireon::demo::FirstPaint firstPaint(&sinceMain);
        if (o.timeToShow)
            window.installEventFilter(&firstPaint);
        std::unique_ptr<vireon::demo::Walkthrough> walk;
        if (!o.walkthrough.isEmpty()) {
            if (!surface || !QDir().mkpath(o.walkthrough)) {
                std::fprintf(stderr, "vireon-control-demo: no surface, or cannot make %s\n", qPrintable(o.walkthrough));
                return 1;
            }
            walk = std::make_unique<vireon::demo::Walkthrough>(window, *surface, o.walkthrough, options.latencyPerReport);
        }
        if (!o.screenshot.isEmpty())
            vireon::demo::scheduleScreenshot(window, o.choose, o.screenshot);

        window.show();
        status = application.exec();
    }
    sim::Bus::instance().reset();
    return o.screenshot.isEmpty() && o.walkthrough.isEmpty() ? 0 : status;
}
