// What closing the window does at each stage of an update run.
#ifndef VIREON_APP_CLOSE_POLICY_H
#define VIREON_APP_CLOSE_POLICY_H

#include "run_stage.h"

class QWidget;

namespace vireon::app {

enum class CloseAnswer {
    Refuse, // a worker is programming: stopping now would leave the surface half written
    EndRun, // nothing is being programmed: the run ends at its next step, then the window closes
    Close,  // no run, or it is ending: the window closes
};

CloseAnswer answerClose(RunStage stage);

// Tells the user why the window stays open.
void showCloseRefused(QWidget *window);

} // namespace vireon::app

#endif
