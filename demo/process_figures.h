// The demo's figures about its own process, from the kernel.
#ifndef VIREON_DEMO_PROCESS_FIGURES_H
#define VIREON_DEMO_PROCESS_FIGURES_H

#include <QElapsedTimer>
#include <QObject>

namespace vireon::demo {

// Milliseconds since the process started (/proc/self/stat); -1 when unknown.
double msSinceProcessStart();
// The monotonic clock, in milliseconds: the same clock in every process, so
// a launcher that reads it before it starts a program and the program that
// prints it at its first paint give the time between the two exactly (the
// process start time of the kernel counts in whole clock ticks, 10 ms).
double monotonicMs();
// CPU time of the calling thread, in milliseconds.
double threadCpuMs();
// The process's peak resident memory, in MiB.
double peakResidentMiB();
// The process's resident memory now (VmRSS), in MiB; -1 when unknown.
double residentMiB();

// Installed on the window: at its first paint, prints the time since the
// process start and since main, and the monotonic clock; a second later,
// idle, its resident memory; then quits.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(const QElapsedTimer *sinceMain) : sinceMain_(sinceMain) {}

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    const QElapsedTimer *sinceMain_;
    bool seen_ = false;
};

} // namespace vireon::demo

#endif
