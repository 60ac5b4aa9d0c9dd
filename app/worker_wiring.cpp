#include "worker_wiring.h"

#include "worker.h"
#include "worker2.h"

#include <QThread>

namespace vireon::app {

WorkerThreads createWorkers(QObject *window)
{
    WorkerThreads w;
    w.thread = new QThread;
    w.worker = new Worker;
    w.worker->moveToThread(w.thread);
    w.thread2 = new QThread;
    w.worker2 = new Worker2;
    w.worker2->moveToThread(w.thread2);
    QObject::connect(w.worker, SIGNAL(workRequested()), w.thread, SLOT(start()));
    QObject::connect(w.worker2, SIGNAL(workRequested()), w.thread2, SLOT(start()));
    QObject::connect(w.thread, SIGNAL(started()), w.worker, SLOT(doWork()));
    QObject::connect(w.thread2, SIGNAL(started()), w.worker2, SLOT(doWork()));
    QObject::connect(w.worker, SIGNAL(finished()), w.thread, SLOT(quit()), Qt::DirectConnection);
    QObject::connect(w.worker2, SIGNAL(finished()), w.thread2, SLOT(quit()), Qt::DirectConnection);
    QObject::connect(w.worker, &Worker::finished, window, [] {}, Qt::QueuedConnection);
    QObject::connect(w.worker2, &Worker2::finished, window, [] {}, Qt::QueuedConnection);
    return w;
}

void stopWorkers(const WorkerThreads &w)
{
    w.worker->abort();
    w.worker2->abort();
    w.thread->wait();
    w.thread2->wait();
}

void deleteWorkers(const WorkerThreads &w)
{
    delete w.thread;
    delete w.thread2;
    delete w.worker;
    delete w.worker2;
}

} // namespace vireon::app
