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
    StageLine line;
    switch (state_) {
    case State::Idle:
        if (last_) {
            line.kind = StageLine::Kind::Result;
            line.text = last_->result;
            line.ceiling = last_->success() ? 100 : 0;
        }
        return line;
    case State::Looking:
    case State::Claiming:
        line.kind = StageLine::Kind::Looking;
        line.text = lookingText(secondsDown(now - stateSince_));
        line.ceiling = 50;
        return line;
    case State::Stage2:
        if (!stageStarted_ && tries_[1] == 1) { // told to begin once the front end sees it back
            line.kind = StageLine::Kind::Waiting;
            line.text = waitingText(secondsDown(now - waitSince_));
            line.ceiling = 85;
            return line;
        }
        [[fallthrough]];
    case State::Stage1:
        if (state_ == State::Stage1 && !stageStarted_ && tries_[0] == 1) { // told to begin; the front end has not yet
            line.kind = StageLine::Kind::Looking;
            line.text = "Starting the update";
            line.ceiling = 50;
            return line;
        }
        line.kind = StageLine::Kind::Rows;
        line.image = state_ == State::Stage1 ? 1 : 2;
        line.rowsTotal = rowsTotal_;
        line.rowsDone = std::min(rowsDone, rowsTotal_);
        line.text = rowsText(line.image, line.rowsDone, line.rowsTotal);
        line.ceiling = state_ == State::Stage1 ? 50 : 95;
        return line;
    case State::Pause:
        line.kind = StageLine::Kind::Restarting;
        line.text = restartingText(secondsUp(pauseLeft_));
        line.ceiling = 85;
        return line;
    case State::Return1:
        line.kind = StageLine::Kind::Waiting;
        line.text = waitingText(secondsDown(now - stateSince_));
        line.ceiling = 85;
        return line;
    case State::Stage1Return:
    case State::Stage2Return:
    case State::Return2:
        line.kind = StageLine::Kind::Restarting;
        line.text = restartingText(secondsUp(stateSince_ + policy_.restartAllowance - now));
        line.ceiling = state_ == State::Stage1Return ? 50 : 95;
        return line;
    }
    return line;
}

} // namespace vireon::engine
