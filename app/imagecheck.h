// Reads one temporary image back with the bootloader host's own file reader,
// as a programming run will: the header line, then every row line with its
// checksum. A file the run would refuse, or that would leave the device half
// programmed, is found here before anything is sent.
#ifndef VIREON_APP_IMAGECHECK_H
#define VIREON_APP_IMAGECHECK_H

#include <QString>

struct ImageCheck {
    bool ok = false;
    int line = 0;    // the image's line (from 1) that is bad; 0 for the image as a whole
    QString problem; // what is wrong, a sentence without a line number
};

ImageCheck checkImageFile(const QString &path);

#endif
