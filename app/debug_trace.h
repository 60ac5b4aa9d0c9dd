// The window's debug traces: off unless QT_LOGGING_RULES turns them on
// ("vireon.window.debug=true"). They are for developers and carry no
// contract; the user's channels are the log file and the boxes.
#ifndef VIREON_APP_DEBUG_TRACE_H
#define VIREON_APP_DEBUG_TRACE_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

#endif
