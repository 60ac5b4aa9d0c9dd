// The window's memory over many updates in one window: the updater's
// MainWindow on the simulated bus (the surface that fits the example file),
// the example file chosen and UPDATE pressed again and again, every box
// answered with OK. After the updates named on the command line (default
// 1, 50 and 100) it prints the resident memory and the heap in use.
//
// The surface is the demo window's: it keeps no record of its exchanges
// (a test's surface keeps every one, about 0.1 MiB per update; --recording
// shows that growth). With --fresh-surface each update gets a new surface,
// as on a production line.
//
//   bench_window_memory [--fresh-surface] [--recording] [N ...]   (a release build; offscreen by default)
//   heaptrack bench_window_memory 3   and   heaptrack bench_window_memory 23   (compare the peaks)
//
// It ends with status 1 when an update did not end in the success box.
#include "example_surface.h"
#include "hidsim.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "process_figures.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace sim = vireon::sim;
using vireon::demo::residentMiB;

double heapMiB() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

void click(QWidget *widget)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QMouseEvent press(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// Runs the event loop until `done` holds or `limit` has passed.
bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limit.count())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<int> marks;
    bool fresh = false;
    bool recording = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fresh-surface") == 0)
            fresh = true;
        else if (std::strcmp(argv[i], "--recording") == 0)
            recording = true;
        else
            marks.push_back(std::atoi(argv[i]));
    }
    if (marks.empty())
        marks = {1, 50, 100};
    std::sort(marks.begin(), marks.end());

    QTemporaryDir work;
    const QString runtime = work.filePath(QStringLiteral("runtime"));
    QDir().mkdir(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    QDir::setCurrent(work.path());
    const QString file = work.filePath(QStringLiteral("surface.cyacd"));
    QFile::copy(vireon::demo::exampleFile(), file);

    QApplication application(argc, argv);
    sim::SurfaceOptions options;
    options.targets = vireon::tools::targetsFor(vireon::demo::exampleImages());
    options.offBusAfterExit = 300ms;
    options.keepRecord = recording;
    std::shared_ptr<sim::Surface> surface = sim::Bus::instance().attach(options);

    int successes = 0;
    MainWindow window;
    window.show();
    const vireon::demo::ModalAnswerer answerer([&file]() { return file; }, [&successes](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (box != nullptr && box->text() == QLatin1String("Firmware update complete."))
            ++successes;
        else if (box != nullptr && qEnvironmentVariableIsSet("VIREON_BENCH_BOXES"))
            std::fprintf(stderr, "box: %s %s\n", qPrintable(box->text()), qPrintable(box->informativeText()));
    });
    auto *browse = window.findChild<QLabel *>(QStringLiteral("browseFileLabel"));
    auto *update = window.findChild<QLabel *>(QStringLiteral("updateLabel"));
    std::printf("updates  resident MiB  heap in use MiB\n");
    std::printf("%7d  %12.2f  %15.2f\n", 0, residentMiB(), heapMiB());
    for (int done = 0; done < marks.back();) {
        // The surface is back from the last run's restart, and the window has
        // seen it (it looks twice a second); UPDATE is offered once the file
        // is chosen.
        if (!sim::Bus::instance().waitOnBus(surface, true, 30s))
            break;
        if (fresh && done > 0) {
            sim::Bus::instance().reset(); // unplugged, and gone from the bus for good
            waitFor([] { return false; }, 1100ms); // the window sees it go
            surface = sim::Bus::instance().attach(options);
        }
        waitFor([] { return false; }, 1100ms);
        if (!waitFor([&]() { return QApplication::activeModalWidget() == nullptr && browse->isEnabled(); }, 30s))
            break;
        click(browse);
        if (!waitFor([&]() { return QApplication::activeModalWidget() == nullptr && update->isEnabled(); }, 30s))
            break;
        click(update); // the whole run, in the press's own slot
        ++done;
        if (successes != done) {
            std::fprintf(stderr, "bench_window_memory: update %d did not succeed\n", done);
            return 1;
        }
        if (std::find(marks.begin(), marks.end(), done) != marks.end())
            std::printf("%7d  %12.2f  %15.2f\n", done, residentMiB(), heapMiB());
        std::fflush(stdout);
    }
    if (successes != marks.back()) {
        std::fprintf(stderr, "bench_window_memory: %d of %d updates succeeded\n", successes, marks.back());
        return 1;
    }
    return 0;
}
