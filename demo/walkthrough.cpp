#include "walkthrough.h"

#include "example_surface.h"
#include "hidsim.h"
#include "mainwindow.h"
#include "process_figures.h"

#include <QApplication>
#include <QDir>
#include <QDynamicPropertyChangeEvent>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>

#include <cstdio>
#include <map>

namespace vireon::demo {

Walkthrough::Walkthrough(MainWindow &window, sim::Surface &surface, const QString &dir, std::chrono::microseconds latency)
    : window_(window), surface_(surface), dir_(dir), latency_(latency),
      answerer_([]() { return exampleFile(); }, [this](QWidget *modal) { boxSeen(modal); },
                std::chrono::milliseconds(100))
{
    window_.installEventFilter(this);
    connect(&poll_, &QTimer::timeout, this, [this]() { pressUpdateWhenOffered(); });
    poll_.start(100);
    QTimer::singleShot(300, &window_, [this]() { QMetaObject::invokeMethod(&window_, "slotClickReleaseBrowseFile"); });
    // Nothing here takes long; an update that hangs fails the walk-through.
    QTimer::singleShot(300000, this, [this]() {
        std::fprintf(stderr, "vireon-control-demo: the walk-through did not finish\n");
        finish();
    });
}

bool Walkthrough::eventFilter(QObject *object, QEvent *event)
{
    if (object == &window_ && event->type() == QEvent::DynamicPropertyChange &&
        static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() == "updateStage")
        stageBegins(window_.property("updateStage").toString());
    return QObject::eventFilter(object, event);
}

void Walkthrough::stageBegins(const QString &stage)
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

void Walkthrough::boxSeen(QWidget *modal)
{
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (box == nullptr)
        return;
    std::printf("box: %s\n", qPrintable(QString(box->text()).replace('\n', ' ')));
    if (box->text() == QLatin1String("Firmware update complete.")) {
        successSeen_ = true;
        save(QStringLiteral("6-done.png"));
    }
}

void Walkthrough::save(const QString &name)
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

void Walkthrough::pressUpdateWhenOffered()
{
    auto *update = window_.findChild<QLabel *>(QStringLiteral("updateLabel"));
    if (pressed_ || QApplication::activeModalWidget() != nullptr || update == nullptr || !update->isEnabled())
        return;
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

double Walkthrough::msBetween(const char *from, const char *to, int *reports) const
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

void Walkthrough::printFigures(double wallMs) const
{
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
    std::printf("  update   %8.1f ms   from UPDATE to the end of the run, boxes included\n", wallMs);
    if (pressed_ && wallMs > 0) {
        // The pictures of the update's stages are the walk-through's own work.
        const double windowMs = cpuMs_ - picturesCpuMs_;
        std::printf("  GUI thread CPU %.1f ms over the update, %.2f %% of one core (%.1f ms more for the pictures)\n",
                    windowMs, 100.0 * windowMs / wallMs, picturesCpuMs_);
    }
    std::printf("  peak resident memory %.1f MiB\n", peakResidentMiB());
}

void Walkthrough::finish()
{
    if (finished_)
        return;
    finished_ = true;
    QFile log(QStringLiteral("log.txt"));
    const QByteArray text = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    std::printf("--- log.txt ---\n%s--- end of log.txt ---\n", text.constData());
    printFigures(pressed_ ? static_cast<double>(clock_.nsecsElapsed()) / 1e6 : 0);

    const bool logSaysSuccess = text.contains("Main Thread: Firmware update 2 success. errorFlag==0");
    const bool ok = successSeen_ && logSaysSuccess && picturesOk_ && pictures_ == 6;
    std::printf("walk-through: %s (success box %s, log %s, %d of 6 pictures in %s)\n", ok ? "success" : "FAILED",
                successSeen_ ? "seen" : "not seen", logSaysSuccess ? "says success" : "says no success", pictures_,
                qPrintable(QDir(dir_).absolutePath()));
    std::fflush(stdout);
    QApplication::exit(ok ? 0 : 1);
}

} // namespace vireon::demo
