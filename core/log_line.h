// The updater's log file, "log.txt" in the working directory, shared by the
// window, both workers and the command-line updater. Every entry is one time
// stamp, one tag (" Main Thread: ", " Thread 1: ", ...) and its text; the
// file is opened, appended and closed for every entry, so writers on
// different threads never hold it open at once.
#ifndef VIREON_CORE_LOG_LINE_H
#define VIREON_CORE_LOG_LINE_H

#include <QString>

class QDateTime;
class QTime;

namespace vireon::core {

// The log's file name, relative to the working directory.
extern const QString kLogFileName;

// An entry's time stamp: "03:07:09pm".
QString logTimeStamp(const QTime &time);

// The line written when the log is created:
// "Log Created: Mon December 7 3:07:09pm\n".
QString logCreationLine(const QDateTime &when);

// Appends "<time stamp><tag><text>" to `path` as it stands (no line end is
// added). False when the file could not be opened for appending.
bool appendLogEntry(const QString &tag, const QString &text, const QString &path = kLogFileName);

} // namespace vireon::core

#endif
