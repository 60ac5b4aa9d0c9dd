// The workers' debug trace category, "vireon.workers".
#ifndef VIREON_WORKERS_WORKERS_LOG_H
#define VIREON_WORKERS_WORKERS_LOG_H

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcWorkers)

#endif
