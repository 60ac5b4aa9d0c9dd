// One updater per surface: whichever front end programs a surface first
// holds a lock named after it in the user's runtime folder, and a second
// updater of the same surface, window or command line, is refused at once
// with the process that holds it. The lock goes with its process: one left
// by a process that ended is taken over. The lock is never silently absent:
// without a private folder of the user's own to hold it, the update stops.
#ifndef VIREON_CORE_SURFACE_LOCK_H
#define VIREON_CORE_SURFACE_LOCK_H

#include <QString>

#include <memory>
#include <optional>

class QLockFile;

namespace vireon::core {

// The surface's name for its lock: its serial number when it reports one,
// else the USB port it is plugged into (from its hidraw node), else its
// device path; percent-encoded so that any text makes one file name.
QString surfaceLockKey(const QString &serial, const QString &devicePath);

// Where the locks may live, in the order they are tried.
struct RuntimePlaces {
    QString given;      // $XDG_RUNTIME_DIR, as set (may be empty)
    QString userRun;    // "/run/user": the login manager's folder UID in it
    QString sharedTemp; // "/tmp": vireon-UID in it, made when missing
    QString home;       // this uid's home folder in the user database: .cache/vireon-control in it
    // The process's own: its environment, the system's folders, its uid's home.
    static RuntimePlaces system();
};

// The user's runtime folder for the locks: the first of the places that is
// a folder of this user's alone (not a link, not writable by anyone else),
// made so where it may be made. A folder another user made first at one of
// the names (a hostile user can make /tmp/vireon-UID before us) is passed
// over, never used. `path` is empty when no place is usable; `problem` then
// says why, naming the folder that is not ours and its owner.
struct RuntimeFolder {
    QString path;
    QString problem;
};
RuntimeFolder runtimeFolder(const RuntimePlaces &places = RuntimePlaces::system());

// The lock file's path for that key, in the runtime folder; empty when
// there is no runtime folder.
QString surfaceLockPath(const QString &key, const RuntimePlaces &places = RuntimePlaces::system());

class SurfaceLock
{
public:
    // The process's own places, looked up at each claim.
    SurfaceLock();
    // Places of the caller's choosing (tests).
    explicit SurfaceLock(RuntimePlaces places);
    ~SurfaceLock();
    SurfaceLock(const SurfaceLock &) = delete;
    SurfaceLock &operator=(const SurfaceLock &) = delete;

    // Takes the surface's lock for this process until release(). False when
    // another process holds it (problem() then says which one), or when no
    // lock can be made at all (setupProblem(): problem() says why and fix()
    // what to do). An update never goes on without its lock.
    bool claim(const QString &serial, const QString &devicePath);
    void release();

    // The process that holds the surface's lock after a refused claim.
    qint64 holder() const { return holder_; }
    // One sentence for the user after a refused claim: which process updates
    // the surface.
    QString problem() const { return problem_; }
    // The refusal is the set-up's, not another updater's.
    bool setupProblem() const { return setupProblem_; }
    QString fix() const { return fix_; }

private:
    std::optional<RuntimePlaces> places_;
    std::unique_ptr<QLockFile> lock_;
    bool setupProblem_ = false;
    QString fix_;
    qint64 holder_ = 0;
    QString problem_;
};

} // namespace vireon::core

#endif
