#include "single_instance.h"

#include "box_titles.h"
#include "folder_files.h"
#include "log_line.h"

#include <QDir>
#include <QLockFile>
#include <QMessageBox>

namespace vireon::app {

const QString kFolderLockName = QStringLiteral(".vireon-control.lock");

namespace {

// A lock this user's updater cannot have left: a link, a pipe or any other
// odd file, or one another user owns. It is not taken over (it may be that
// user's updater) and does not shut this user out without a word.
bool refuseForeignLock(const QString &problem)
{
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    core::appendLogEntry(QStringLiteral(" Main Thread: "),
                         QStringLiteral("The lock file is not this user's: %1 This one exits.\n").arg(problem));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vireon Surface Bootloader"),
                    QStringLiteral("vireon.control cannot work in the folder\n%1\n\nIts lock file is not one of "
                                   "your updaters: %2")
                        .arg(folder, problem),
                    QMessageBox::Ok);
    box.setInformativeText(QStringLiteral(
        "If that user runs vireon.control in this folder, wait until it has finished. Otherwise ask them, or the "
        "folder's owner, to remove the file. To update now, start vireon.control in a folder of your own, such as "
        "your home folder."));
    box.exec();
    return false;
}

} // namespace

bool claimWorkingFolder(QLockFile &lock, uid_t me)
{
    const core::Failure foreign = core::foreignLock(QDir::current().absoluteFilePath(kFolderLockName), me);
    if (!foreign.ok())
        return refuseForeignLock(foreign.reason);
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
