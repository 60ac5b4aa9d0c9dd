// How a step of the core that touches the system failed, in one shape for
// every such step: the kind of failure, one or two sentences for the user,
// and where (the file; a firmware file's image and line), with ok() when
// nothing failed. A result that carries something (an open file, a device)
// carries its Failure beside it.
#ifndef VIREON_CORE_FAILURE_H
#define VIREON_CORE_FAILURE_H

#include <QString>

namespace vireon::core {

struct Failure {
    enum class Kind {
        None,       // nothing failed
        Missing,    // nothing at the name, or nothing on the bus
        NotRegular, // a link, pipe, device, socket or folder where a regular file belongs
        Denied,     // not this user's: the system refused the user, or another user owns it
        TooLarge,   // larger than anything of its kind may be
        Unreadable, // it could not be read
        Unwritable, // it could not be written
        Changed,    // it is not what was checked: replaced or rewritten since
        Refused,    // read, and refused by the rules (a firmware file's line, say)
        Busy,       // another process holds it
        Setup,      // the machine lacks what the step needs (no private folder for a lock)
    };
    Kind kind = Kind::None;
    QString reason; // one or two sentences for the user, naming the file
    QString path;   // the file it is about, where there is one
    int image = 0;  // a firmware file's image (1 or 2) it is about; 0 none
    int line = 0;   // and that file's line, from 1; 0 none
    int error = 0;  // the failed call's errno; 0 none

    bool ok() const { return kind == Kind::None; }
};

// A failure of `kind` with its reason.
inline Failure failure(Failure::Kind kind, const QString &reason, const QString &path = QString())
{
    Failure out;
    out.kind = kind;
    out.reason = reason;
    out.path = path;
    return out;
}

// The kind a failed call's errno tells: ENOENT Missing, EACCES and EPERM
// Denied, anything else `otherwise`.
Failure::Kind kindOf(int error, Failure::Kind otherwise);

} // namespace vireon::core

#endif
