// The engine's side of the restart between and after the stages: what it
// makes of a surface that came back, stayed on the bus, or did not return.
#include "update_engine.h"

#include "endings.h"
#include "wording.h"

#include <utility>

namespace vireon::engine {

Step UpdateEngine::watchRestart(Millis now, State state)
{
    state_ = state;
    stateSince_ = now;
    watch_.emplace(target_, now, policy_.restartAllowance, policy_.returnLimit, state == State::Return2);
    return decideWatch(now);
}

Step UpdateEngine::decideWatch(Millis now)
{
    switch (watch_->timePassed(now)) {
    case RestartWatch::Verdict::Waiting:
        break;
    case RestartWatch::Verdict::Back:
        return watchBack(now);
    case RestartWatch::Verdict::StayedOn:
        return watchStayedOn(now);
    case RestartWatch::Verdict::Gone:
        return watchGone(now);
    }
    next_ = Next();
    next_.kind = Next::Look;
    next_.until = watch_->deadline();
    return told();
}

Step UpdateEngine::watchBack(Millis now)
{
    const Surface back = watch_->surface();
    const long long away = watch_->away().count();
    switch (state_) {
    case State::Stage1Return:
        return runStage(now, 1, back, false);
    case State::Return1:
        add(Note::Kind::RestartSeen, "back after " + secondsTenths(away) + " s off the bus");
        return runStage(now, 2, back, false);
    case State::Stage2Return:
        return runStage(now, 2, back, std::exchange(bounceNext_, false));
    default: // Return2: it restarted into its new firmware
        restartingAway_ = target_.find(seen_) == nullptr;
        return finish(endings::succeeded(request_.fileName, false, applicationChecked_, policy_));
    }
}

Step UpdateEngine::watchStayedOn(Millis now)
{
    const Millis allowance = policy_.restartAllowance;
    switch (state_) {
    case State::Stage1Return:
        // The exit command of the try that met the second chip did not
        // restart it: it is still not the chip image 1 is for.
        return finish(endings::stageFailed(1, accountFor(account(1, StageReport{})), rowsWritten_[0], policy_));
    case State::Return1:
        add(Note::Kind::StayedOn,
            "The surface stayed on the bus for " + seconds(allowance.count()) + " s after image 1.");
        return finish(endings::notRestarted(allowance, policy_));
    case State::Stage2Return:
        // It did not leave: the next try tells what became of it.
        return runStage(now, 2, watch_->surface(), std::exchange(bounceNext_, false));
    default:
        add(Note::Kind::StayedOn,
            "The surface stayed on the bus for " + seconds(allowance.count()) + " s after image 2.");
        return finish(endings::succeeded(request_.fileName, true, applicationChecked_, policy_));
    }
}

Step UpdateEngine::watchGone(Millis)
{
    switch (state_) {
    case State::Stage1Return:
        return finish(endings::notBack(0, policy_));
    case State::Return1:
        return finish(endings::notBack(1, policy_));
    default: // Stage2Return: the failure that made the retry is the run's
        return finish(endings::stageFailed(2, *stage2Failure_, rowsWritten_[1], policy_));
    }
}

} // namespace vireon::engine
