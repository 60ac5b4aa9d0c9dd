// The firmware file the user chooses: two images, one after the other, each
// begun by its own header line. Shared by the window and the command-line
// updater; nothing here shows anything to the user.
//
//   SplitImages split = splitFirmwareFile(path);         // the two images
//   writeImageFiles(split, temp1, temp2);                 // onto disk
//   FileProblem problem = checkImageFiles(split, temp1, temp2);
//
// The check reads the written files back with the bootloader host's own
// file reader, which is process-wide: do not call it while a programming
// action runs in this process.
#ifndef VIREON_CORE_FIRMWARE_FILE_H
#define VIREON_CORE_FIRMWARE_FILE_H

#include <QString>

class QFile;

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
};

// Reads `path` as UTF-8 text. A file that cannot be opened reads as empty.
SplitImages splitFirmwareFile(const QString &path);

// Where the window keeps image 1 or 2 while a file is chosen: in the
// working folder, "vireonTemp1.txt" and "vireonTemp2.txt".
QString temporaryImagePath(int image);

// Writes `text` to the open `file` in the locale's 8-bit encoding and
// flushes it. False when any of it could not be written (a full disk shows
// only here); the file's errorString() says why.
bool writeImage(QFile &file, const QString &text);

// What went wrong writing an image file: its path and the system's reason.
// Empty path: both were written.
struct WriteProblem {
    QString path;
    QString reason;
};

// Empties (or creates) both files in text mode and writes each image.
WriteProblem writeImageFiles(const SplitImages &split, const QString &path1, const QString &path2);

// Why a file or an image is refused. An empty reason: it is usable.
struct FileProblem {
    int image = 0;  // 1 or 2
    int line = 0;   // the line (from 1) that is bad; 0 for the image as a whole
    QString reason; // one sentence, without the line number
    bool ok() const { return reason.isEmpty(); }
};

// Reads one image file as a programming run will: a header line, then one
// or more row lines, each well formed and with its checksum right. `line`
// counts within the image; `image` is left 0.
FileProblem checkImageFile(const QString &path);

// Checks image 1, then image 2, as written to `path1` and `path2`; the first
// problem found names its image and, where known, the chosen file's line.
FileProblem checkImageFiles(const SplitImages &split, const QString &path1, const QString &path2);

} // namespace vireon::core

#endif
