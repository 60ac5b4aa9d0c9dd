// One updater per surface: whichever front end programs a surface first
// holds a lock named after it in the user's runtime folder, and a second updater of the same surface, window or
// command line, is refused at once with the process that holds it. The lock
// goes with its process: one left by a process that ended is taken over.
#ifndef VIREON_CORE_SURFACE_LOCK_H
#define VIREON_CORE_SURFACE_LOCK_H

#include <QString>

#include <memory>

class QLockFile;

namespace vireon::core {

// The surface's name for its lock: its serial number when it reports one,
// else the USB port it is plugged into (from its hidraw node), else its
// device path; percent-encoded so that any text makes one file name.
QString surfaceLockKey(const QString &serial, const QString &devicePath);

// The user's runtime folder: $XDG_RUNTIME_DIR when it is a folder of this
// user's alone; else /tmp/vireon-UID, made so (mode 0700). Empty when
// neither is usable.
QString runtimeFolder();

// The lock file's path for that key, in the runtime folder; empty when
// there is no runtime folder.
QString surfaceLockPath(const QString &key);

class SurfaceLock
{
public:
    SurfaceLock();
    ~SurfaceLock();
    SurfaceLock(const SurfaceLock &) = delete;
    SurfaceLock &operator=(const SurfaceLock &) = delete;

    // Takes the surface's lock for this process until release(). False when
    // another process holds it: problem() then says which one. A runtime
    // folder where no lock can be made does not stop the update.
    bool claim(const QString &serial, const QString &devicePath);
    void release();

    // The process that holds the surface's lock after a refused claim.
    qint64 holder() const { return holder_; }
    // One sentence for the user after a refused claim: which process updates
    // the surface.
    QString problem() const { return problem_; }

private:
    std::unique_ptr<QLockFile> lock_;
    qint64 holder_ = 0;
    QString problem_;
};

} // namespace vireon::core

#endif
