// Files the updater creates, appends to or reads in folders it does not own
// (the working folder may be shared; the user names any path). Nothing here
// follows a link where the updater writes, nothing blocks in open(), and only
// a regular file is ever read or written: a link, named pipe, socket, device
// node or folder at one of our names is refused (or, for a name we replace
// whole, replaced without being followed), and the reason names what was
// found there.
#ifndef VIREON_CORE_FOLDER_FILES_H
#define VIREON_CORE_FOLDER_FILES_H

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace vireon::core {

// An open file descriptor, closed when it goes.
class FileHandle
{
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle &&other) noexcept : fd_(other.release()) {}
    FileHandle &operator=(FileHandle &&other) noexcept;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    int fd() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

// What kind of file a mode stands for, worded for the user: "a symbolic
// link", "a named pipe (FIFO)", "a socket", "a character device", "a block
// device", "a folder" or "a regular file".
QString fileKind(mode_t mode);

// The descriptor, or why there is none (one sentence, naming the file).
struct OpenedFile {
    FileHandle file;
    QString problem;
    bool notRegular = false; // refused for the kind of file found
    QString found;           // that kind, when refused for it ("a named pipe (FIFO)")
    int error = 0;           // the failed call's errno; 0 when refused for the kind
    bool ok() const { return file.isOpen(); }
};

// Opens a file the user named to read it: a link the user named is followed,
// but only a regular file is opened, and a named pipe or a device never
// holds the caller in open(). The problem is the system's words for a failed
// open ("No such file or directory"), or a sentence naming the file and its
// kind when it is not a regular file.
OpenedFile openRegularFile(const QString &path);

// Opens `path` to append to it, creating it (readable by all, as the umask
// allows) when it is missing. A link at the name is never followed, and any
// file but a regular one is refused, as is a file with more than one name
// (a hard link) or one another user owns.
OpenedFile openForAppend(const QString &path);

// Why `path` could not be opened to append to: the same refusal as
// openForAppend's; empty when it could.
QString appendProblem(const QString &path);

// Writes `bytes` into a new file in `path`'s folder (readable and writable
// by this user alone) and renames it to `path`: whatever stood at the name,
// a link included, is replaced and never followed. The new file is left open
// for reading. `found` names what stood there when it was not a regular file
// ("a symbolic link"); a folder at the name is not replaced.
struct ReplacedFile {
    FileHandle file;
    QString problem; // empty: written and renamed
    QString found;   // what the name held before, when it was not a regular file
    bool ok() const { return file.isOpen() && problem.isEmpty(); }
};
ReplacedFile replaceFile(const QString &path, const QByteArray &bytes);

// Removes `path` when it is still the file `file` has open; a file someone
// else put at the name since is left alone.
void removeIfSame(const QString &path, const FileHandle &file);

// Why the lock file at `path` cannot be one this user's updater left: it is
// not a regular file, or another user owns it (named, with the uid). Empty
// when the name is free or holds a regular file `me` owns. One sentence
// naming the file.
QString foreignLockProblem(const QString &path, uid_t me);

// The user name of `uid`, or "uid N" when it has none.
QString userName(uid_t uid);

// Every byte of an open file, read from its start; false when it could not
// be read or holds more than `limit` bytes.
bool readWhole(int fd, QByteArray *bytes, qint64 limit);

} // namespace vireon::core

#endif
