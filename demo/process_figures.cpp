#include "process_figures.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QTimer>

#include <cstdio>
#include <ctime>

#include <sys/resource.h>
#include <unistd.h>

namespace vireon::demo {

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

double monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

double peakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

bool FirstPaint::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() == QEvent::Paint && !seen_) {
        seen_ = true;
        const double sinceMain = static_cast<double>(sinceMain_->nsecsElapsed()) / 1e6;
        QTimer::singleShot(0, qApp, [sinceMain]() {
            std::printf("first paint: %.1f ms after the process start (%.1f ms after main)\n", msSinceProcessStart(),
                        sinceMain);
            std::printf("first paint at: %.3f ms on the monotonic clock\n", monotonicMs());
            std::fflush(stdout);
            QTimer::singleShot(1000, qApp, []() {
                std::printf("idle resident memory: %.1f MiB\n", residentMiB());
                std::fflush(stdout);
                QApplication::quit();
            });
        });
    }
    return QObject::eventFilter(object, event);
}

} // namespace vireon::demo
