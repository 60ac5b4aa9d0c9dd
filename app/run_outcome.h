// How the window tells what the update engine decided: its policy (the
// pause of 20 presence ticks, the attempt limits, its wording of a fix), the
// box each end is shown in, the reason and fix beneath it, and which of the
// engine's notes go to the log.
#ifndef VIREON_APP_RUN_OUTCOME_H
#define VIREON_APP_RUN_OUTCOME_H

#include "update_engine.h"

#include <QString>

namespace vireon::app {

engine::Policy windowPolicy();

// The sentence and the fix beneath a box: what happened, and what to do.
QString boxReason(const engine::Outcome &outcome);
// The box of a run that did not start (another updater holds the surface,
// none is attached).
QString notStartedBox(const engine::Outcome &outcome);
// The box of a run that ended in its first stage, not for want of an open.
QString firstStageBox(const engine::Outcome &outcome);
// The box of a run that ended after image 1, before image 2 began.
QString betweenStagesBox(const engine::Outcome &outcome);
// Whether the log takes the note: the window logs why a stage is tried again
// and what the surface did after its exit command; the steps a run goes
// through have log lines of the window's own.
bool loggedByWindow(const engine::Note &note);

} // namespace vireon::app

#endif
