// vireon-control-demo: the updater's window on the simulated bus, with one
// simulated surface whose two chips fit examples/vireon-surface-demo.cyacd.
//
//   vireon-control-demo [--scenario absent|unplug-later|open-refused]
//                       [--screenshot FILE [--choose CYACD]] [--time-to-show]
//                       [--walkthrough DIR]
#include "mainwindow.h"

#include "cyacd_gen.h"
#include "hidsim.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDynamicPropertyChangeEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

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
    "                    window's first paint, then quit\n"
    "  --walkthrough DIR play a whole update on its own in the current folder:\n"
    "                    choose the example file, press UPDATE, close every box,\n"
    "                    save a picture of each stage into DIR, print the log\n"
    "                    and the figures; exit 0 only when the update succeeded\n";

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

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

// The example file: next to the current folder when it has examples/,
// else in the source tree the program was built from.
QString exampleFile()
{
    const QString local = QStringLiteral("examples/vireon-surface-demo.cyacd");
    if (QFileInfo::exists(local))
        return QFileInfo(local).absoluteFilePath();
    return QStringLiteral(VIREON_EXAMPLES_DIR "/vireon-surface-demo.cyacd");
}

// Plays a whole update as a user would: chooses the file in the window's
// dialog, presses UPDATE once it is offered and answers every box with OK.
// The window publishes its run's stage as the property "updateStage"; each
// stage is timed and pictured as it begins.
class Walkthrough : public QObject
{
public:
    Walkthrough(MainWindow &window, sim::Surface &surface, const QString &dir, std::chrono::microseconds latency)
        : window_(window), surface_(surface), dir_(dir), latency_(latency)
    {
        window_.installEventFilter(this);
        connect(&poll_, &QTimer::timeout, this, [this]() { poll(); });
        poll_.start(100);
        QTimer::singleShot(300, &window_, [this]() { QMetaObject::invokeMethod(&window_, "slotClickReleaseBrowseFile"); });
        // Nothing here takes long; an update that hangs fails the walk-through.
        QTimer::singleShot(300000, this, [this]() {
            std::fprintf(stderr, "vireon-control-demo: the walk-through did not finish\n");
            finish();
        });
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (object == &window_ && event->type() == QEvent::DynamicPropertyChange &&
            static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() == "updateStage")
            stageBegins(window_.property("updateStage").toString());
        return QObject::eventFilter(object, event);
    }

private:
    struct Mark {
        QString stage;
        qint64 ns;
        int reports;
    };

    void stageBegins(const QString &stage)
    {
        marks_.push_back({stage, clock_.nsecsElapsed(), surface_.reportsSent() + surface_.reportsReceived()});
        static const std::map<QString, QString> pictures = {{"first stage", "2-first-stage.png"},
                                                            {"pause", "3-pause.png"},
                                                            {"wait", "4-wait.png"},
                                                            {"second stage", "5-second-stage.png"}};
        const auto picture = pictures.find(stage);
        if (picture != pictures.end())
            QTimer::singleShot(0, this, [this, name = picture->second]() { save(name); });
        if (stage == QLatin1String("idle") && pressed_) {
            cpuMs_ = threadCpuMs() - cpuMs_;
            QTimer::singleShot(0, this, [this]() { finish(); });
        }
    }

    void save(const QString &name)
    {
        const double cpuBefore = threadCpuMs();
        const QString file = QDir(dir_).filePath(name);
        if (!window_.grab().save(file, "PNG")) {
            std::fprintf(stderr, "vireon-control-demo: cannot write %s\n", qPrintable(file));
            picturesOk_ = false;
        }
        ++pictures_;
        picturesCpuMs_ += threadCpuMs() - cpuBefore;
    }

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            auto *field = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (field != nullptr) {
                field->setText(exampleFile());
                QMetaObject::invokeMethod(dialog, "accept");
            }
            return;
        }
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            std::printf("box: %s\n", qPrintable(QString(box->text()).replace('\n', ' ')));
            if (box->text() == QLatin1String("Firmware update complete.")) {
                successSeen_ = true;
                save(QStringLiteral("6-done.png"));
            }
            box->button(QMessageBox::Ok)->click();
            return;
        }
        auto *update = window_.findChild<QLabel *>(QStringLiteral("updateLabel"));
        if (!pressed_ && modal == nullptr && update != nullptr && update->isEnabled()) {
            pressed_ = true;
            save(QStringLiteral("1-chosen.png"));
            // The release runs the whole update, in its own slot.
            QTimer::singleShot(0, this, [this, update]() {
                clock_.start();
                cpuMs_ = threadCpuMs();
                picturesCpuMs_ = 0;
                const QPointF at(update->width() / 2.0, update->height() / 2.0);
                QMouseEvent press(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(update, &press);
                QMouseEvent release(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
                QApplication::sendEvent(update, &release);
            });
        }
    }

    double msBetween(const char *from, const char *to, int *reports) const
    {
        const Mark *a = nullptr, *b = nullptr;
        for (const Mark &m : marks_) {
            if (a == nullptr && m.stage == QLatin1String(from))
                a = &m;
            else if (a != nullptr && b == nullptr && m.stage == QLatin1String(to))
                b = &m;
        }
        if (a == nullptr || b == nullptr)
            return -1;
        *reports = b->reports - a->reports;
        return static_cast<double>(b->ns - a->ns) / 1e6;
    }

    void finish()
    {
        if (finished_)
            return;
        finished_ = true;
        QFile log(QStringLiteral("log.txt"));
        const QByteArray text = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        std::printf("--- log.txt ---\n%s--- end of log.txt ---\n", text.constData());

        const double frameMs = static_cast<double>(latency_.count()) / 1000.0;
        std::printf("figures:\n");
        const struct {
            const char *name, *from, *to;
        } spans[] = {{"stage 1", "first stage", "pause"},
                     {"pause", "pause", "wait"},
                     {"wait", "wait", "second stage"},
                     {"stage 2", "second stage", "ending"}};
        for (const auto &span : spans) {
            int reports = 0;
            const double ms = msBetween(span.from, span.to, &reports);
            if (ms < 0) {
                std::printf("  %-8s not reached\n", span.name);
                continue;
            }
            std::printf("  %-8s %8.1f ms", span.name, ms);
            if (reports > 0)
                std::printf("   USB floor %.1f ms (%d reports x %.3g ms), %.2f x the floor", reports * frameMs, reports,
                            frameMs, ms / (reports * frameMs));
            std::printf("\n");
        }
        const double wallMs = pressed_ ? static_cast<double>(clock_.nsecsElapsed()) / 1e6 : 0;
        std::printf("  update   %8.1f ms   from UPDATE to the end of the run, boxes included\n", wallMs);
        if (pressed_ && wallMs > 0) {
            // The pictures of the update's stages are the walk-through's own work.
            const double windowMs = cpuMs_ - picturesCpuMs_;
            std::printf("  GUI thread CPU %.1f ms over the update, %.2f %% of one core (%.1f ms more for the pictures)\n",
                        windowMs, 100.0 * windowMs / wallMs, picturesCpuMs_);
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("  peak resident memory %.1f MiB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);

        const bool logSaysSuccess = text.contains("Main Thread: Firmware update 2 success. errorFlag==0");
        const bool ok = successSeen_ && logSaysSuccess && picturesOk_ && pictures_ == 6;
        std::printf("walk-through: %s (success box %s, log %s, %d of 6 pictures in %s)\n", ok ? "success" : "FAILED",
                    successSeen_ ? "seen" : "not seen", logSaysSuccess ? "says success" : "says no success", pictures_,
                    qPrintable(QDir(dir_).absolutePath()));
        std::fflush(stdout);
        QApplication::exit(ok ? 0 : 1);
    }

    MainWindow &window_;
    sim::Surface &surface_;
    const QString dir_;
    const std::chrono::microseconds latency_;
    QTimer poll_;
    QElapsedTimer clock_;
    std::vector<Mark> marks_;
    double cpuMs_ = 0, picturesCpuMs_ = 0;
    bool pressed_ = false, successSeen_ = false, picturesOk_ = true, finished_ = false;
    int pictures_ = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    std::string scenario = "attached";
    QString screenshot;
    QString walkthrough;
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
        } else if (option == "--walkthrough" && hasValue) {
            walkthrough = QString::fromLocal8Bit(argv[++i]);
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
        std::unique_ptr<Walkthrough> walk;
        if (!walkthrough.isEmpty()) {
            if (!surface || !QDir().mkpath(walkthrough)) {
                std::fprintf(stderr, "vireon-control-demo: no surface, or cannot make %s\n", qPrintable(walkthrough));
                return 1;
            }
            walk = std::make_unique<Walkthrough>(window, *surface, walkthrough, options.latencyPerReport);
        }

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
    return screenshot.isEmpty() && walkthrough.isEmpty() ? 0 : status;
}
