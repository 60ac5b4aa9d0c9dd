#include "update_engine.h"

#include "cybtldr_command.h"
#include "endings.h"
#include "wording.h"

#include <algorithm>
#include <utility>

namespace vireon::engine {

UpdateEngine::UpdateEngine(Policy policy) : policy_(std::move(policy)) {}

void UpdateEngine::add(Note::Kind kind, std::string text) { notes_.push_back({part(), kind, std::move(text)}); }

Part UpdateEngine::part() const
{
    switch (state_) {
    case State::Idle: return Part::Check;
    case State::Looking:
    case State::Claiming: return Part::Wait;
    case State::Stage1:
    case State::Stage1Return: return Part::Stage1;
    case State::Pause:
    case State::Return1: return Part::Restart;
    case State::Stage2:
    case State::Stage2Return: return Part::Stage2;
    case State::Return2: return Part::Done;
    }
    return Part::Check;
}

Step UpdateEngine::current() const
{
    Step step;
    step.next = next_;
    return step;
}

Step UpdateEngine::told()
{
    Step step = current();
    step.notes = std::move(notes_);
    notes_.clear();
    return step;
}

Step UpdateEngine::finish(Outcome outcome)
{
    last_ = outcome;
    state_ = State::Idle;
    watch_.reset();
    next_ = Next();
    Step step = told();
    step.next.kind = Next::Finish;
    step.next.outcome = std::move(outcome);
    return step;
}

Step UpdateEngine::start(Millis now, const RunRequest &request)
{
    if (state_ != State::Idle)
        return current();
    request_ = request;
    tries_[0] = tries_[1] = 0;
    openRetries_ = otherChipRetries_ = 0;
    rowsWritten_[0] = rowsWritten_[1] = 0;
    applicationChecked_[0] = applicationChecked_[1] = false;
    firstChipExpected_ = bounceNext_ = false;
    stage2Failure_.reset();
    last_.reset();
    restartingAway_ = false;
    notes_.clear();
    if (!request.signature.empty())
        add(Note::Kind::Signature, request.signature);
    if (!request.problem.empty())
        return finish(endings::fileRefused(request));
    add(Note::Kind::FileSound, "both images are sound (" + std::to_string(request.images[0].rows) + " and " +
                                   std::to_string(request.images[1].rows) + " rows)");
    state_ = State::Looking;
    stateSince_ = now;
    lookUntil_ = now + policy_.surfaceWait;
    if (policy_.surfaceWait.count() > 0)
        add(Note::Kind::Waiting, "waiting up to " + seconds(policy_.surfaceWait.count()) + " s for a surface");
    next_ = Next();
    next_.kind = Next::Look;
    next_.until = lookUntil_;
    return told();
}

Step UpdateEngine::seen(Millis now, const Surfaces &surfaces)
{
    // A surface present at the first look has long settled; one that
    // appears later may still be getting its node's access.
    for (const Surface &surface : surfaces)
        firstSeen_.emplace(std::make_pair(surface.path, surface.enumeration), everLooked_ ? now : Millis::min());
    everLooked_ = true;
    seen_ = surfaces;
    if (restartingAway_ && target_.find(surfaces) != nullptr)
        restartingAway_ = false;
    switch (state_) {
    case State::Looking:
        return look(now);
    case State::Pause:
        watch_->look(now, surfaces);
        return current();
    case State::Stage1Return:
    case State::Return1:
    case State::Stage2Return:
    case State::Return2:
        watch_->look(now, surfaces);
        return decideWatch(now);
    default:
        return current();
    }
}

Step UpdateEngine::timePassed(Millis now)
{
    switch (state_) {
    case State::Looking:
        return now >= lookUntil_ ? look(now) : current();
    case State::Stage1Return:
    case State::Return1:
    case State::Stage2Return:
    case State::Return2:
        return decideWatch(now);
    default:
        return current();
    }
}

Step UpdateEngine::look(Millis now)
{
    Surfaces wanted;
    for (const Surface &surface : seen_)
        if (request_.selector.matches(surface))
            wanted.push_back(surface);
    if (wanted.empty()) {
        if (now >= lookUntil_)
            return finish(endings::noSurface(request_.selector, policy_.surfaceWait, seen_, policy_.wording));
        return current();
    }
    if (wanted.size() > 1 && request_.selector.any() && !policy_.firstOfSeveral)
        return finish(endings::severalSurfaces(wanted, policy_.wording));
    target_ = SurfaceIdentity{wanted.front(), seen_.size() == 1};
    state_ = State::Claiming;
    stateSince_ = now;
    next_ = Next();
    next_.kind = Next::Claim;
    next_.surface = wanted.front();
    return told();
}

Step UpdateEngine::claimed(Millis now, const LockAnswer &answer)
{
    if (state_ != State::Claiming)
        return current();
    if (!answer.taken)
        return finish(endings::busy(answer, policy_.wording));
    return runStage(now, 1, target_.surface, false);
}

Millis UpdateEngine::settleUntil(const Surface &surface) const
{
    const auto found = firstSeen_.find(std::make_pair(surface.path, surface.enumeration));
    if (found == firstSeen_.end() || found->second == Millis::min())
        return Millis(0);
    return found->second + policy_.openSettle;
}

Step UpdateEngine::runStage(Millis now, int image, const Surface &surface, bool firstChipExpected)
{
    state_ = image == 1 ? State::Stage1 : State::Stage2;
    stateSince_ = now;
    target_.surface = surface;
    ++tries_[image - 1];
    stageStarted_ = false;
    firstChipExpected_ = firstChipExpected;
    rowsTotal_ = request_.images[image - 1].rows;
    next_ = Next();
    next_.kind = Next::RunStage;
    next_.stage.image = image;
    next_.stage.surface = surface;
    next_.stage.attempt = tries_[image - 1];
    next_.stage.openUntil = settleUntil(surface);
    next_.stage.verify = policy_.verify;
    next_.stage.firstChipExpected = firstChipExpected;
    return told();
}

StageAccount UpdateEngine::account(int image, const StageReport &report) const
{
    StageAccount stage;
    stage.image = image;
    stage.verify = policy_.verify;
    stage.result = report.result;
    stage.transfer = report.transfer;
    stage.imageIds[0] = request_.images[0].siliconId;
    stage.imageIds[1] = request_.images[1].siliconId;
    return stage;
}

Step UpdateEngine::stageEnded(Millis now, const StageReport &report)
{
    if (state_ == State::Stage1)
        return stage1Ended(now, report);
    if (state_ == State::Stage2)
        return stage2Ended(now, report);
    return current();
}

Step UpdateEngine::stage1Ended(Millis now, const StageReport &report)
{
    rowsWritten_[0] += report.transfer.rowsWritten;
    if (report.open == StageReport::Open::Stopped)
        return finish(endings::stopped(endings::StoppedAt::BeforeImage1, 1, 0, false, policy_));
    if (report.open != StageReport::Open::Opened) {
        if (openRetries_ < policy_.firstStageOpenRetries) {
            ++openRetries_;
            const Surface *again = target_.find(seen_);
            return runStage(now, 1, again ? *again : target_.surface, false);
        }
        return finish(endings::notOpened(1, report, target_.surface, policy_));
    }
    const CauseAccount told = accountFor(account(1, report));
    if (told.cause == Cause::OtherChip && otherChipRetries_ < policy_.otherChipRetries) {
        // An update stopped between its images left the surface in its
        // second chip's bootloader; the exit command that ended this try
        // hands the bus to the first chip. Once it is back, try again.
        ++otherChipRetries_;
        add(Note::Kind::Retry, told.reason + " Waiting for it to restart and trying again.");
        return watchRestart(now, State::Stage1Return);
    }
    if (report.result != BL_SUCCESS || told.cause == Cause::Aborted)
        return finish(endings::stageFailed(1, told, rowsWritten_[0], policy_));
    if (told.cause == Cause::StillFirstChip) // its exit command never reached the surface
        return finish(endings::notRestarted(Millis(0), policy_));
    applicationChecked_[0] = report.transfer.lastAnswered == CMD_VERIFY_CHECKSUM;
    add(Note::Kind::StageDone, policy_.verify ? std::string("image 1: each row's checksum matched") +
                                                    (applicationChecked_[0] ? ", and the surface's application check" : "")
                                              : "image 1 programmed and verified");
    return afterImage1(now);
}

Step UpdateEngine::afterImage1(Millis now)
{
    watch_.emplace(target_, now, policy_.restartAllowance, policy_.returnLimit);
    stateSince_ = now;
    if (policy_.pause.count() > 0) {
        state_ = State::Pause;
        pauseLeft_ = policy_.pause;
        next_ = Next();
        next_.kind = Next::Pause;
        next_.pause = policy_.pause;
        return told();
    }
    state_ = State::Return1;
    waitSince_ = now;
    add(Note::Kind::RestartWatch, "waiting for the surface to restart (it may stay off the bus up to " +
                                      seconds(policy_.returnLimit.count()) + " s)");
    return decideWatch(now);
}

Step UpdateEngine::pauseOver(Millis now)
{
    if (state_ != State::Pause)
        return current();
    state_ = State::Return1;
    stateSince_ = waitSince_ = now;
    pauseLeft_ = Millis(0);
    return decideWatch(now);
}

Step UpdateEngine::imageChanged(Millis, int image, const std::string &problem)
{
    if (state_ == State::Idle)
        return current();
    return finish(endings::imageChanged(image, problem, rowsWritten_[image - 1], policy_));
}

Step UpdateEngine::stage2Ended(Millis now, const StageReport &report)
{
    rowsWritten_[1] += report.transfer.rowsWritten;
    if (report.open == StageReport::Open::Stopped)
        return finish(endings::stopped(endings::StoppedAt::BetweenImages, 2, 0, false, policy_));
    if (report.open != StageReport::Open::Opened)
        return finish(endings::notOpened(2, report, target_.surface, policy_));
    const CauseAccount told = accountFor(account(2, report));
    if (report.result == BL_SUCCESS) {
        applicationChecked_[1] = report.transfer.lastAnswered == CMD_VERIFY_CHECKSUM;
        add(Note::Kind::StageDone, policy_.verify
                                       ? std::string("image 2: each row's checksum matched") +
                                             (applicationChecked_[1] ? ", and the surface's application check" : "")
                                       : "image 2 programmed and verified");
        return afterImage2(now, told.cause == Cause::NotRestarted);
    }
    if (told.cause == Cause::Aborted)
        return finish(endings::stageFailed(2, told, rowsWritten_[1], policy_));
    // A try that met the first chip as expected is no failure of its own:
    // the failure before it decides.
    const bool bounced = firstChipExpected_ && told.cause == Cause::StillFirstChip;
    if (!bounced || !stage2Failure_)
        stage2Failure_ = told;
    if (tries_[1] - 1 >= policy_.secondStageRetries)
        return finish(endings::stageFailed(2, *stage2Failure_, rowsWritten_[1], policy_));
    if (bounced)
        add(Note::Kind::Retry, "The surface answered as its first chip, as it does after a failed try of image 2 "
                               "restarted it; its exit command hands the bus to the second chip. Trying image 2 again.");
    else
        add(Note::Kind::Retry, told.reason + " Trying image 2 again.");
    // A try whose exit command went out restarts the surface, which comes
    // back as its first chip; one whose did not is still where it was.
    bounceNext_ = report.transfer.exitSent && !bounced;
    if (!report.transfer.exitSent && target_.find(seen_) != nullptr)
        return runStage(now, 2, *target_.find(seen_), false);
    return watchRestart(now, State::Stage2Return);
}

Step UpdateEngine::afterImage2(Millis now, bool exitLost)
{
    if (exitLost) // the transport saw its exit command fail: it cannot have restarted
        return finish(endings::succeeded(request_.fileName, true, applicationChecked_, policy_));
    return watchRestart(now, State::Return2);
}

Step UpdateEngine::interrupted(Millis) { return stop(false); }

Step UpdateEngine::closed(Millis) { return stop(true); }

Step UpdateEngine::stop(bool closing)
{
    using endings::StoppedAt;
    StoppedAt where = StoppedAt::BetweenImages;
    switch (state_) {
    case State::Idle:
        return current();
    case State::Return2: // both images are in: the update is complete
        return finish(endings::succeeded(request_.fileName, false, applicationChecked_, policy_));
    case State::Stage1:
    case State::Stage2:
        // A running stage the front end stops itself, and its report ends
        // the run; one not begun yet is simply not begun.
        if (stageStarted_)
            return current();
        where = state_ == State::Stage1 ? StoppedAt::BeforeImage1 : StoppedAt::BetweenImages;
        break;
    case State::Looking:
    case State::Claiming:
    case State::Stage1Return:
        where = StoppedAt::BeforeImage1;
        break;
    case State::Pause:
    case State::Return1:
    case State::Stage2Return:
        break;
    }
    return finish(endings::stopped(where, where == StoppedAt::BeforeImage1 ? 1 : 2, 0, closing, policy_));
}

} // namespace vireon::engine
