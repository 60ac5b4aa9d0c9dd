// The lines a worker logs after it could not open the surface.
#ifndef VIREON_WORKERS_OPEN_FAILURE_H
#define VIREON_WORKERS_OPEN_FAILURE_H

#include <QString>
#include <QStringList>

namespace vireon::workers {

// "HID error: <hidapi's text>", and when the device node refused this user,
// the fix (the udev rule to install).
QStringList openFailureLines(const QString &hidError, bool permissionDenied);

} // namespace vireon::workers

#endif
