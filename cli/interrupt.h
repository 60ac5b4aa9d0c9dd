// Ctrl-C and SIGTERM while the command runs. The handler only records the
// request and asks the bootloader host to abort its action, which it sees
// before its next row; the command then ends itself with the interrupted
// code, so one Ctrl-C is enough. Threads that sit in USB calls block the
// signals (InterruptsBlocked), so those calls are never cut short by them.
#ifndef VIREON_CLI_INTERRUPT_H
#define VIREON_CLI_INTERRUPT_H

#include <signal.h>

namespace vireon::flash {

// Installs the handler for its lifetime and restores the previous one.
class InterruptGuard
{
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard &) = delete;
    InterruptGuard &operator=(const InterruptGuard &) = delete;

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
};

// Whether an interrupt arrived since the guard was installed.
bool interrupted();

// Blocks SIGINT and SIGTERM on the calling thread for its lifetime, so
// threads started meanwhile inherit the block.
class InterruptsBlocked
{
public:
    InterruptsBlocked();
    ~InterruptsBlocked();
    InterruptsBlocked(const InterruptsBlocked &) = delete;
    InterruptsBlocked &operator=(const InterruptsBlocked &) = delete;

private:
    sigset_t previous_{};
};

} // namespace vireon::flash

#endif
