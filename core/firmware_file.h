// The firmware file the user chooses: two images, one after the other, each
// begun by its own header line. Shared by the window and the command-line
// updater; nothing here shows anything to the user.
//
//   SplitImages split = splitFirmwareFile(path);         // the two images
//   writeImageFiles(split, temp1, temp2);                 // onto disk
//   FileProblem problem = checkImageFiles(split, temp1, temp2);
//
// The check reads the written files' bytes and takes only what the
// bootloader host's reader reads exactly as it is written: lines of hex
// pairs (a row after its ':'), ended by the line end and nothing else.
#ifndef VIREON_CORE_FIRMWARE_FILE_H
#define VIREON_CORE_FIRMWARE_FILE_H

#include <QByteArray>
#include <QString>
#include <QVector>

#include "failure.h"
#include "firmware_rules.h"

#include <cstdint>

namespace vireon::core {

// The file's lines shared out between its two images. A line that does not
// begin with ':' is a header line and begins an image (an empty line too).
// Rows before the first header go nowhere; the second header and every
// line after it, later headers included, go to image 2.
struct SplitImages {
    QString image1;     // image 1's lines, each ended by "\n"
    QString image2;     // image 2's lines, each ended by "\n"
    int firstLine1 = 0; // the file's line (from 1) that begins image 1; 0: none
    int firstLine2 = 0; // the same for image 2
    int rows1 = 0;      // the row lines (begun by ':') of image 1
    int rows2 = 0;      // and of image 2
    uint32_t chip1 = 0; // the silicon id image 1's header line names: the chip it is for; 0 none
    uint32_t chip2 = 0; // the same for image 2

    // What the whole file showed, for the check.
    Failure read;            // why the file could not be read (NotRegular: a pipe, device, socket or folder)
    qint64 size = 0;         // in bytes; a file over engine::kMaxFirmwareFileSize is not read; -1: a
                             // device or pipe that gave more than that
    int lines = 0;           // lines read
    int rowLines = 0;        // lines that begin with ':'
    int headers = 0;         // lines that begin with a visible character other than ':'
    QVector<int> firstHeaders; // the first four of them
    int strayLine = 0;       // the first other line (empty, or begun by a blank or a control byte); 0: none
    QString strayStart;      // how that line begins, worded for the user
    QByteArray digest1;      // each image's bytes as they are put on disk
    QByteArray digest2;
    // The file's bytes as they were read and split: its signature is
    // checked on these, not on the file read again.
    QByteArray bytes;
};

// Whether the whole file was read: it could be opened and was not refused
// for its size. Only then is there anything to check its signature on.
bool fileWasRead(const SplitImages &split);

// Reads `path` as UTF-8 text. A file that cannot be opened reads as empty,
// with the reason in `read`; only a regular file is opened, and never
// waited on (a named pipe is refused at once).
SplitImages splitFirmwareFile(const QString &path);

// The same split without the images' texts: what checkImageFiles() needs to
// check the written images again later, and the bytes the signature is
// checked on again.
SplitImages withoutTexts(const SplitImages &split);

// Where the window keeps image 1 or 2 while a file is chosen: in the
// working folder, "vireonTemp1.txt" and "vireonTemp2.txt".
QString temporaryImagePath(int image);

// Writes each image into a file of its own made anew and renamed to its
// path: whatever stood at the name (a link too) is replaced, never followed.
// A failure names the file it could not write (its path) and the system's
// reason.
Failure writeImageFiles(const SplitImages &split, const QString &path1, const QString &path2);

// The silicon id the header line of the image file at `path` names: the chip
// the image is for; 0 when it names none or the file cannot be read.
uint32_t imageSiliconId(const QString &path);

// The whole-file check of the images' bytes as written to `path1` and
// `path2` (named in the reasons). A refusal says which image and which of
// the chosen file's lines, where one; Changed when an image is not the one
// split.
Failure checkImageBytes(const SplitImages &split, const QByteArray &bytes1, const QByteArray &bytes2,
                        const QString &path1, const QString &path2);

// The whole-file check: first the file as a whole (read, not too large, a
// firmware file, two images, no stray line), then image 1 and image 2 as
// written to `path1` and `path2`, which must still hold what was written.
// The first problem found names its image and, where known, the chosen
// file's line.
Failure checkImageFiles(const SplitImages &split, const QString &path1, const QString &path2);

} // namespace vireon::core

#endif
