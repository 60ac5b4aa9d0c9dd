// The updater's log file, "log.txt" in the working directory, shared by the
// window, both workers and the command-line updater. Every entry is one time
// stamp, one tag (" Main Thread: ", " Thread 1: ", ...) and its text; the
// file is opened, appended and closed for every entry, so writers on
// different threads never hold it open at once.
#ifndef VIREON_CORE_LOG_LINE_H
#define VIREON_CORE_LOG_LINE_H

#include "failure.h"

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

// Readies the log at `path` for its entries: creates it, with its creation
// line, when it is missing or empty. Why it cannot be appended to (the
// reason names the file: a link or other odd file at its name, a folder
// that is not writable); ok() when it can.
Failure prepareLog(const QDateTime &when, const QString &path = kLogFileName);

// An entry's text as written: every control character in it escaped
// ("\n", "\r", "\x1b", ...) but for the one line end that ends it, so that
// a path or a device's text can never begin a line of its own.
QString logEntryText(const QString &text);

// Appends "<time stamp><tag><text>" to `path` (no line end is added; the
// text's controls are escaped as logEntryText() does). The file is created
// when missing, never written through a link and never when it is not a
// regular file. False when it could not be opened or written.
bool appendLogEntry(const QString &tag, const QString &text, const QString &path = kLogFileName);

} // namespace vireon::core

#endif
