// The hook by which a stage decides what follows a run that could not open
// the surface. The default, the first worker's, does nothing of its own: the
// run ends. The second worker supplies one that tries again while the
// surface may still be restarting (restart_retry.h).
#ifndef VIREON_WORKERS_OPEN_RETRY_H
#define VIREON_WORKERS_OPEN_RETRY_H

namespace vireon::workers {

class StageRun;

class OpenRetry {
public:
    OpenRetry() = default;
    OpenRetry(const OpenRetry &) = delete;
    OpenRetry &operator=(const OpenRetry &) = delete;
    virtual ~OpenRetry() = default;

    // requestWork armed a new run; under the worker's mutex.
    virtual void requested() {}
    // abort() reached a working run; under the worker's mutex. True when no
    // run is going on any more, so that the worker is no longer working.
    virtual bool aborted() { return false; }
    // The run has logged why it could not open the surface: end it, or try
    // again. Called on the run's thread, not under the mutex.
    virtual void couldNotOpen(StageRun &run);
    // The stage ended because it gave up opening; under the worker's mutex.
    virtual bool limitSpent() const { return false; }
};

} // namespace vireon::workers

#endif
