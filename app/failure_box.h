// The warning box at a failed end of an update: its text and OK button, and
// beneath them the reason the worker logged, so the user need not read the
// log.
#ifndef VIREON_APP_FAILURE_BOX_H
#define VIREON_APP_FAILURE_BOX_H

#include <QString>

class QWidget;

namespace vireon::app {

// A modal warning titled "Vireon Surface Bootloader" with `text`, one OK
// button and `reason` (when not empty) as its informative text.
void warnWithReason(QWidget *window, const QString &text, const QString &reason);

// A modal information box, titled as above, with `text`, one OK button and
// `note` (when not empty) as its informative text.
void informWithNote(QWidget *window, const QString &text, const QString &note);

} // namespace vireon::app

#endif
