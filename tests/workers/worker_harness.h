// A worker on its own thread, wired as the window wires it, started as
// the window starts a stage; it counts the runs' starts and ends.
#pragma once

#include "worker.h"
#include "worker2.h"

#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <vector>

using Clock = std::chrono::steady_clock;

template <class W> struct Harness {
    QThread thread;
    W worker;
    std::atomic<int> finished{0}, finishedBusy{0}; // finished() emissions, and those made while busy
    std::vector<Clock::time_point> starts;         // written by each run's thread, one after the other
    QSemaphore gate;                               // holds a gated run before its start check
    std::atomic<bool> gated{false};

    template <class... A> explicit Harness(A... args) : worker(nullptr, args...)
    {
        worker.moveToThread(&thread);
        QObject::connect(&thread, &QThread::started, &thread, [this] {
            starts.push_back(Clock::now());
            if (gated.exchange(false))
                gate.acquire();
        }, Qt::DirectConnection);
        QObject::connect(&worker, &W::finished, &worker, [this] {
            finishedBusy += worker.busyFlag ? 1 : 0;
            ++finished;
        }, Qt::DirectConnection);
        QObject::connect(&worker, SIGNAL(workRequested()), &thread, SLOT(start()));
        QObject::connect(&thread, SIGNAL(started()), &worker, SLOT(doWork()));
        QObject::connect(&worker, SIGNAL(finished()), &thread, SLOT(quit()), Qt::DirectConnection);
    }
    ~Harness()
    {
        worker.abort();
        thread.wait();
    }

    bool idle() { return QTest::qWaitFor([this] { return !worker.busyFlag && thread.isFinished(); }, 60000); }
    bool run() // as the window starts a stage
    {
        worker.abort();
        thread.wait();
        worker.requestWork();
        return idle();
    }
};
