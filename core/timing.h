// The updater's timing and limits, named once for the window, the workers
// and the command line.
#ifndef VIREON_CORE_TIMING_H
#define VIREON_CORE_TIMING_H

#include <chrono>

namespace vireon::core {

// How often the window looks for the surface on the bus.
constexpr std::chrono::milliseconds kPresenceInterval{500};
// The pause after the first stage while the surface restarts and leaves the
// bus, counted in presence ticks: changing the interval keeps the pause.
constexpr std::chrono::milliseconds kRestartPause{10000};
constexpr int kPauseTicks = static_cast<int>(kRestartPause / kPresenceInterval);
static_assert(kPauseTicks * kPresenceInterval == kRestartPause, "the pause is a whole number of ticks");
// A stage is tried again while its count of retries is at most this: five
// retries, six tries in all.
constexpr int kLastRetry = 4;
// A surface that stays silent this long after a request is given up on.
constexpr std::chrono::milliseconds kReadTimeout{5000};
// How long a read waits: kReadTimeout, unless a test made it shorter so that
// a silent surface costs less of its time.
std::chrono::milliseconds readLimit();
void setReadLimit(std::chrono::milliseconds limit);
// How long a surface may stay on the bus after its exit command before it
// is taken as restarted in place (after image 1) or as not restarted at all
// (after image 2).
constexpr std::chrono::milliseconds kRestartAllowance{10000};
// kRestartAllowance, unless a test made it shorter so that a surface that
// stays on the bus costs less of its time.
std::chrono::milliseconds restartAllowance();
void setRestartAllowance(std::chrono::milliseconds allowance);
// How often a watch of the bus lists the surfaces.
constexpr std::chrono::milliseconds kBusPollInterval{50};

} // namespace vireon::core

#endif
