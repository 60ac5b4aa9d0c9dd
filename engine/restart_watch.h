// Watching a surface across the restart its exit command begins: it leaves
// the bus and comes back, perhaps at another node, and always with another
// enumeration number. A watch is a series of looks at the bus; it decides
// nothing from a single moment in which the surface's old node is still
// listed while it goes.
#ifndef VIREON_ENGINE_RESTART_WATCH_H
#define VIREON_ENGINE_RESTART_WATCH_H

#include "surface.h"

#include <chrono>
#include <optional>

namespace vireon::engine {

class RestartWatch {
public:
    using Millis = std::chrono::milliseconds;
    enum class Verdict {
        Waiting,  // not known yet: look again
        Back,     // it left and is back (or, told to, it left)
        StayedOn, // it never left within the allowance: it did not restart
        Gone,     // it left and stayed away longer than the return limit
    };

    // `exitAt`: when the exit command went. `allowance`: how long it may
    // stay on the bus before it is taken as not restarted. `returnLimit`:
    // how long it may stay away. `leavingIsEnough`: the restart is all that
    // is watched for, not the return (after the last image).
    RestartWatch(SurfaceIdentity identity, Millis exitAt, Millis allowance, Millis returnLimit,
                 bool leavingIsEnough = false);

    Verdict look(Millis now, const Surfaces &seen);
    // The deadlines, between looks.
    Verdict timePassed(Millis now);

    Verdict verdict() const { return verdict_; }
    // Back: the surface as it is now. StayedOn: as it stayed.
    const Surface &surface() const { return current_; }
    // Back: how long it was seen away (0 when no look saw it away).
    Millis away() const { return away_; }
    // When it was first seen away; nothing while it was not.
    std::optional<Millis> leftAt() const { return leftAt_; }
    // When the watch ends without a look at the latest.
    Millis deadline() const;

private:
    Verdict decide(Millis now);

    SurfaceIdentity identity_;
    Millis exitAt_;
    Millis allowance_;
    Millis returnLimit_;
    bool leavingIsEnough_;
    Surface current_;
    bool present_ = true; // the latest look found it
    bool restarted_ = false; // a look found it with another enumeration
    std::optional<Millis> leftAt_;
    Millis away_{0};
    Verdict verdict_ = Verdict::Waiting;
};

} // namespace vireon::engine

#endif
