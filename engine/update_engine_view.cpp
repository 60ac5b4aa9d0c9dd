// What a front end shows of a run: its phase, its answer to a close, and
// the stage line with its progress ceiling. Queries only; nothing changes.
#include "update_engine.h"

#include "wording.h"

#include <algorithm>

namespace vireon::engine {
namespace {

int secondsUp(Millis left) { return static_cast<int>(std::max<long long>(0, (left.count() + 999) / 1000)); }
int secondsDown(Millis waited) { return static_cast<int>(std::max<long long>(0, waited.count() / 1000)); }

} // namespace

const char *phaseName(Phase phase)
{
    static const char *const names[] = {"idle", "starting", "first stage", "pause", "wait", "second stage", "ending"};
    return names[static_cast<int>(phase)];
}

Phase UpdateEngine::phase() const
{
    switch (state_) {
    case State::Idle: return Phase::Idle;
    case State::Looking:
    case State::Claiming: return Phase::Starting;
    case State::Stage1:
    case State::Stage1Return: return Phase::FirstStage;
    case State::Pause: return Phase::Pause;
    case State::Return1: return Phase::Wait;
    case State::Stage2:
    case State::Stage2Return:
    case State::Return2: return Phase::SecondStage;
    }
    return Phase::Idle;
}

CloseAnswer UpdateEngine::closeAnswer() const
{
    if (state_ == State::Stage1 && !stageStarted_ && tries_[0] == 1)
        return CloseAnswer::EndRun; // told to begin, not begun
    if (state_ == State::Stage2 && !stageStarted_)
        return CloseAnswer::Ask; // between the images still
    switch (phase()) {
    case Phase::Idle:
    case Phase::Ending: return CloseAnswer::Close;
    case Phase::Starting: return CloseAnswer::EndRun;
    case Phase::Pause:
    case Phase::Wait: return CloseAnswer::Ask;
    case Phase::FirstStage:
    case Phase::SecondStage: return CloseAnswer::Refuse;
    }
    return CloseAnswer::Close;
}

StageLine UpdateEngine::line(Millis now, int rowsDone) const
{
    using Kind = StageLine::Kind;
    switch (state_) {
    case State::Idle:
        if (!last_)
            return {};
        return {Kind::Result, last_->result, last_->success() ? 100 : 0};
    case State::Looking:
    case State::Claiming:
        return {Kind::Looking, lookingText(secondsDown(now - stateSince_)), 50};
    case State::Stage2:
        if (!stageStarted_ && tries_[1] == 1) // told to begin once the front end sees it back
            return {Kind::Waiting, waitingText(secondsDown(now - waitSince_)), 85};
        [[fallthrough]];
    case State::Stage1: {
        if (state_ == State::Stage1 && !stageStarted_ && tries_[0] == 1) // told to begin; the front end has not yet
            return {Kind::Looking, "Starting the update", 50};
        const int image = state_ == State::Stage1 ? 1 : 2;
        const int done = std::min(rowsDone, rowsTotal_);
        return {Kind::Rows, rowsText(image, done, rowsTotal_), image == 1 ? 50 : 95, image, done, rowsTotal_};
    }
    case State::Pause:
        return {Kind::Restarting, restartingText(secondsUp(pauseLeft_)), 85};
    case State::Return1:
        return {Kind::Waiting, waitingText(secondsDown(now - stateSince_)), 85};
    case State::Stage1Return:
    case State::Stage2Return:
    case State::Return2:
        return {Kind::Restarting, restartingText(secondsUp(stateSince_ + policy_.restartAllowance - now)),
                state_ == State::Stage1Return ? 50 : 95};
    }
    return {};
}

} // namespace vireon::engine
