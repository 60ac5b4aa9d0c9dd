// The window's two programming workers and the threads they run on. Each
// requestWork() gives one doWork() run on the worker's own thread, and the
// thread ends with the run, so a later request can start it again.
#ifndef VIREON_APP_WORKER_WIRING_H
#define VIREON_APP_WORKER_WIRING_H

class QObject;
class QThread;
class Worker;
class Worker2;

namespace vireon::app {

struct WorkerThreads {
    QThread *thread = nullptr;
    Worker *worker = nullptr;
    QThread *thread2 = nullptr;
    Worker2 *worker2 = nullptr;
};

// Creates both threads and workers (no parent, not started) and makes their
// six connections. A run's end also reaches `window` as a posted event,
// which wakes the update sequence's waits at once.
WorkerThreads createWorkers(QObject *window);

// Aborts both workers, then waits for both threads without a time limit.
void stopWorkers(const WorkerThreads &workers);

// Deletes the threads, then the workers.
void deleteWorkers(const WorkerThreads &workers);

} // namespace vireon::app

#endif
