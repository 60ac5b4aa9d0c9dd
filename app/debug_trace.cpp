#include "debug_trace.h"

Q_LOGGING_CATEGORY(lcWindow, "vireon.window", QtWarningMsg)
