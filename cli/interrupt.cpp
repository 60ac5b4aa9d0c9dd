#include "interrupt.h"

#include "cybtldr_api2.h"

#include <atomic>

#include <pthread.h>

namespace vireon::flash {
namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void onInterrupt(int)
{
    g_interrupted.store(true);
    // A lock-free store of the host's abort flag; the action notices it
    // before its next row.
    CyBtldr_Abort();
}

sigset_t interruptSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

InterruptGuard::InterruptGuard()
{
    g_interrupted.store(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

InterruptGuard::~InterruptGuard()
{
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
}

bool interrupted()
{
    return g_interrupted.load();
}

InterruptsBlocked::InterruptsBlocked()
{
    const sigset_t set = interruptSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previous_);
}

InterruptsBlocked::~InterruptsBlocked()
{
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace vireon::flash
