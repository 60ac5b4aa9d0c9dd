// vireon-control-demo: the updater's window on the simulated bus, with one
// simulated surface whose two chips fit examples/vireon-surface-demo.cyacd.
//
//   vireon-control-demo [--scenario absent|unplug-later|open-refused]
//                       [--screenshot FILE [--choose CYACD]] [--time-to-show]
#include "mainwindow.h"

#include "cyacd_gen.h"
#include "hidsim.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include <unistd.h>

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
    "                    window's first paint, then quit\n";

// The two images of the example file (see examples/README.md).
std::vector<vireon::tools::ImageSpec> exampleImages()
{
    vireon::tools::ImageSpec first;
    first.siliconId = 0x56530001;
    first.siliconRev = 0x01;
    first.checksumKind = 0;
    first.rowCount = 32;
    first.rowSize = 256;
    first.seed = 7;
    vireon::tools::ImageSpec second = first;
    second.siliconId = 0x56530002;
    second.seed = 8;
    return {first, second};
}

// Milliseconds since the process started, from the kernel's start time.
double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startTicks = fields.at(19).toDouble(); // field 22 of the whole line
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Reports the first paint of the window.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QElapsedTimer *sinceMain) : sinceMain_(sinceMain) {}

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            const double sinceMain = static_cast<double>(sinceMain_->nsecsElapsed()) / 1e6;
            QTimer::singleShot(0, qApp, [sinceMain]() {
                std::printf("first paint: %.1f ms after the process start (%.1f ms after main)\n",
                            msSinceProcessStart(), sinceMain);
                std::fflush(stdout);
                QApplication::quit();
            });
        }
        return QObject::eventFilter(object, event);
    }

private:
    QElapsedTimer *sinceMain_;
    bool seen_ = false;
};

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    std::string scenario = "attached";
    QString screenshot;
    QString choose = QStringLiteral("examples/vireon-surface-demo.cyacd");
    bool timeToShow = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--scenario" && hasValue) {
            scenario = argv[++i];
        } else if (option == "--screenshot" && hasValue) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (option == "--choose" && hasValue) {
            choose = QString::fromLocal8Bit(argv[++i]);
        } else if (option == "--time-to-show") {
            timeToShow = true;
        } else if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "vireon-control-demo: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (scenario != "attached" && scenario != "absent" && scenario != "unplug-later" && scenario != "open-refused") {
        std::fprintf(stderr, "vireon-control-demo: unknown scenario %s\n%s", scenario.c_str(), kUsage);
        return 2;
    }

    Q_INIT_RESOURCE(gui_elements);
    // The window paints with the raster engine; without this the X11
    // platform loads the whole OpenGL stack, tens of megabytes, for nothing.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication application(argc, argv);

    sim::SurfaceOptions options;
    options.targets = vireon::tools::targetsFor(exampleImages());
    options.latencyPerReport = 1ms;
    options.offBusAfterExit = 3000ms;
    sim::Bus &bus = sim::Bus::instance();
    std::shared_ptr<sim::Surface> surface;
    if (scenario != "absent")
        surface = bus.attach(options);
    if (scenario == "open-refused") {
        sim::Fault refuse{sim::Fault::OpenRefused};
        refuse.count = 1 << 30;
        surface->addFault(refuse);
    }
    if (scenario == "unplug-later") {
        QTimer::singleShot(10000, &application, [&bus, surface]() {
            bus.detach(surface);
            QTimer::singleShot(10000, qApp, [&bus, surface]() { bus.plugBackIn(surface); });
        });
    }

    int status = 0;
    {
        MainWindow window;
        FirstPaint firstPaint(&sinceMain);
        if (timeToShow)
            window.installEventFilter(&firstPaint);

        if (!screenshot.isEmpty()) {
            // Choose the file through the window's own dialog, then give the
            // presence check two ticks to offer UPDATE.
            QTimer::singleShot(300, &window, [&window, choose]() {
                QTimer::singleShot(200, &window, [choose]() {
                    // The dialog's file name field takes the whole path.
                    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                    auto *field = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
                    if (field != nullptr) {
                        field->setText(QFileInfo(choose).absoluteFilePath());
                        QMetaObject::invokeMethod(dialog, "accept");
                    }
                });
                QMetaObject::invokeMethod(&window, "slotClickReleaseBrowseFile");
            });
            QTimer::singleShot(1600, &window, [&window, screenshot]() {
                if (QApplication::activeModalWidget() != nullptr) {
                    std::fprintf(stderr, "vireon-control-demo: a message box is open; the file was not taken\n");
                    QApplication::exit(1);
                    return;
                }
                const bool saved = window.grab().save(screenshot, "PNG");
                if (!saved)
                    std::fprintf(stderr, "vireon-control-demo: cannot write %s\n", qPrintable(screenshot));
                QApplication::exit(saved ? 0 : 1);
            });
        }

        window.show();
        status = application.exec();
    }
    bus.reset();
    return screenshot.isEmpty() ? 0 : status;
}
