// What closing the window does in each phase of an update run.
#ifndef VIREON_APP_CLOSE_POLICY_H
#define VIREON_APP_CLOSE_POLICY_H

#include "update_phase.h"

#include <functional>

class QMessageBox;
class QWidget;

namespace vireon::app {

enum class CloseAnswer {
    Refuse, // a worker is programming: stopping now would leave the surface half written
    Ask,    // between the stages: stopping leaves the surface with its first image only
    EndRun, // nothing is programmed yet: the run ends at its next step, then the window closes
    Close,  // no run, or it is ending: the window closes
};

CloseAnswer answerClose(UpdatePhase phase);

// Tells the user why the window stays open. The box is window-modal and
// does not wait for its answer, so the update goes on behind it; it
// deletes itself when closed. The caller closes it when the stage it
// speaks of ends.
QMessageBox *showCloseRefused(QWidget *window);

// Asks whether to stop the update between its stages, without waiting for
// the answer; `answered` is called once with true when the user chose to
// stop. Continuing is the default, also when the box is dismissed.
void askToStop(QWidget *window, std::function<void(bool stop)> answered);

} // namespace vireon::app

#endif
