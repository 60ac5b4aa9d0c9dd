#include "single_instance.h"

#include "box_titles.h"
#include "log_line.h"

#include <QDir>
#include <QLockFile>
#include <QMessageBox>

namespace vireon::app {

const QString kFolderLockName = QStringLiteral(".vireon-control.lock");

bool claimWorkingFolder(QLockFile &lock)
{
    // A running updater keeps its lock however long the update takes.
    lock.setStaleLockTime(0);
    if (lock.tryLock(0) || lock.error() != QLockFile::LockFailedError)
        return true;
    qint64 pid = 0;
    QString host, program;
    lock.getLockInfo(&pid, &host, &program);
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    core::appendLogEntry(QStringLiteral(" Main Thread: "),
                         QStringLiteral("Another updater (process %1) is running in %2. This one exits.\n")
                             .arg(pid)
                             .arg(folder));
    QMessageBox::information(nullptr, kBoxTitle,
                             QStringLiteral("Another vireon.control (process %1) is already running in the folder\n"
                                            "%2\n\nOnly one updater can work in a folder at a time. Close the other "
                                            "one, or start this one in another folder.")
                                 .arg(pid)
                                 .arg(folder));
    return false;
}

} // namespace vireon::app
