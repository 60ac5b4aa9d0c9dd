// The chosen file's two images where the bootloader host reads them: the
// window keeps them as "vireonTemp1.txt" and "vireonTemp2.txt" in its working
// folder, vireon-flash in a private temporary folder. Both front ends write,
// check and program them through this one object.
//
// Each image is written into a file made anew and renamed to its name (a
// link planted at the name is replaced, never followed), and that file stays
// open for the checks. The same bytes are also kept in a sealed file in
// memory that nobody can write, grow or shrink, not even its owner: the host
// reads the image from there, so a stage and every retry program exactly
// the bytes that were checked, whatever is written into the named file or
// put at its name later. Before and after each stage unchanged() says
// whether the name still holds that file with those bytes.
#ifndef VIREON_CORE_TEMPORARY_IMAGES_H
#define VIREON_CORE_TEMPORARY_IMAGES_H

#include "firmware_file.h"
#include "folder_files.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vireon::core {

class TemporaryImages
{
public:
    // Writes both images of `split` to `path1` and `path2`. On a problem
    // nothing is kept open and the reason names the file.
    WriteProblem write(const SplitImages &split, const QString &path1, const QString &path2);
    // One log line for each name that held something else than a regular
    // file before it was written (a link planted there), saying what was
    // found and that it was not followed. Empty when nothing odd was found.
    QStringList oddFilesReplaced() const { return oddFiles_; }

    bool isWritten() const { return files_[0].isOpen() && files_[1].isOpen(); }
    QString path(int image) const { return paths_[image - 1]; }

    // The whole-file check of both images as written, read through the open
    // files; the names must still hold them (see unchanged()).
    FileProblem check(const SplitImages &split) const;
    // The image's name still holds the file written for it, and that file
    // still holds the bytes checked. The problem names the image and says
    // what changed.
    FileProblem unchanged(int image) const;

    // The path the bootloader host reads an image through, in the file
    // system's encoding: the sealed copy in memory ("/proc/self/fd/N").
    QByteArray hostPath(int image) const;

    // Deletes both names, each only while it still holds our file, and lets
    // the files go.
    void remove();

private:
    // The image's bytes, read through its open file while its name still
    // holds that file.
    FileProblem read(int image, QByteArray *bytes) const;

    FileHandle files_[2];
    FileHandle sealed_[2]; // the bytes written, sealed against any change
    QString paths_[2];
    QByteArray digests_[2];
    QStringList oddFiles_;
};

// vireon-flash's temporary folders ("vireon-flash-XXXXXX" in the
// temporary folder): marks `runFolder`, the one this run just made, with
// this process's id and start time, and removes each other folder of the
// kind beside it that this user owns whose marking process is gone (a run
// killed before it could tidy up). A folder without a mark, or another
// user's, is left alone.
void markAndSweepRunFolders(const QString &runFolder);

} // namespace vireon::core

#endif
