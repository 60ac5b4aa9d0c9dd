#include "restart_watch.h"

namespace vireon::engine {

RestartWatch::RestartWatch(SurfaceIdentity identity, Millis exitAt, Millis allowance, Millis returnLimit,
                           bool leavingIsEnough)
    : identity_(std::move(identity)), exitAt_(exitAt), allowance_(allowance), returnLimit_(returnLimit),
      leavingIsEnough_(leavingIsEnough), current_(identity_.surface)
{
}

RestartWatch::Verdict RestartWatch::look(Millis now, const Surfaces &seen)
{
    if (verdict_ != Verdict::Waiting)
        return verdict_;
    const Surface *found = identity_.find(seen);
    present_ = found != nullptr;
    if (found == nullptr) {
        if (!leftAt_)
            leftAt_ = now;
        return decide(now);
    }
    const uint64_t before = identity_.surface.enumeration;
    const bool known = before != 0 && found->enumeration != 0;
    if (known && found->enumeration != before) {
        // Enumerated anew: it restarted, whether or not a look saw it away.
        restarted_ = true;
        if (!leftAt_)
            leftAt_ = now;
    } else if (known && leftAt_) {
        // The same enumeration again: a look that missed it, not a restart.
        leftAt_.reset();
    } else if (!known && leftAt_) {
        restarted_ = true;
    }
    current_ = *found;
    return decide(now);
}

RestartWatch::Verdict RestartWatch::timePassed(Millis now)
{
    if (verdict_ != Verdict::Waiting)
        return verdict_;
    return decide(now);
}

RestartWatch::Verdict RestartWatch::decide(Millis now)
{
    if (restarted_ || (leavingIsEnough_ && leftAt_)) {
        away_ = leftAt_ ? now - *leftAt_ : Millis(0);
        verdict_ = Verdict::Back;
    } else if (leftAt_ && !present_ && now - *leftAt_ > returnLimit_) {
        away_ = now - *leftAt_;
        verdict_ = Verdict::Gone;
    } else if (!leftAt_ && present_ && now - exitAt_ >= allowance_) {
        verdict_ = Verdict::StayedOn;
    }
    return verdict_;
}

RestartWatch::Millis RestartWatch::deadline() const
{
    return leftAt_ ? *leftAt_ + returnLimit_ + Millis(1) : exitAt_ + allowance_;
}

} // namespace vireon::engine
