// The line rules of one image file, as the bootloader host's reader will
// take it: a header line of hex pairs, then row lines of ':' and hex pairs,
// each ended by the line end alone. Inside the core only.
#ifndef VIREON_CORE_IMAGE_LINES_H
#define VIREON_CORE_IMAGE_LINES_H

#include <QByteArray>
#include <QString>

namespace vireon::core::detail {

// How a byte reads in a sentence: "'Z'", "a blank", "a NUL byte", "byte 0x07".
QString describeByte(unsigned char byte);

// What is wrong with an image, worded to follow "Line N of ..." (`line` > 0:
// "has 'Z' where a hex digit belongs") or the image itself (`line` 0:
// "holds a header but no rows"). Empty `what`: the image is usable.
struct ImageFault {
    int line = 0; // within the image, from 1
    QString what;
};

// Checks an image file's bytes.
ImageFault checkImageBytes(const QByteArray &bytes);

} // namespace vireon::core::detail

#endif
