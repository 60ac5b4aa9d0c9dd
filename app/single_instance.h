// One updater per working folder: the temporary images and the log have
// fixed names there, so a second updater in the same folder could program
// the first one's images.
#ifndef VIREON_APP_SINGLE_INSTANCE_H
#define VIREON_APP_SINGLE_INSTANCE_H

#include <QString>

#include <unistd.h>

class QLockFile;

namespace vireon::app {

// The lock file's name in the working folder.
extern const QString kFolderLockName;

// Takes `lock` (a lock file in the working folder) for this updater; it is
// released when `lock` is destroyed. A lock left by an updater that is no
// longer running is taken over. When a running updater holds it, the user
// is told which one in which folder, the log records it, and the result is
// false: this updater must exit. A folder where no lock can be made (read
// only) does not stop the updater. A lock file that is not a regular file,
// or that another user than `me` owns, is not taken over: the user is told
// whose it is and what to do, and the result is false.
bool claimWorkingFolder(QLockFile &lock, uid_t me = geteuid());

} // namespace vireon::app

#endif
