// The boxes closing the window shows during an update run: why it stays
// open while a stage runs, and the question whether to stop between the
// stages. What closing does in each phase the update engine answers.
#ifndef VIREON_APP_CLOSE_POLICY_H
#define VIREON_APP_CLOSE_POLICY_H

#include <functional>

class QMessageBox;
class QWidget;

namespace vireon::app {

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
