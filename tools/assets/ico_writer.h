// Writes the Windows icon container: the icon directory, one entry per
// image, and each image as a bottom-up DIB (24 bits, or 8 bits with a
// palette) followed by its 1-bit transparency mask.
#ifndef VIREON_TOOLS_ICO_WRITER_H
#define VIREON_TOOLS_ICO_WRITER_H

#include <QByteArray>
#include <QImage>

#include <vector>

namespace vireon::assets {

struct IconImage {
    QImage image;     // square, at most 256 pixels a side
    int bitsPerPixel; // 24, or 8 for a palette of at most 256 colours
};

// The whole .ico file; empty when an image cannot be stored.
QByteArray icoFile(const std::vector<IconImage> &images);

} // namespace vireon::assets

#endif
