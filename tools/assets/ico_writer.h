// Writes the Windows icon container: the icon directory, one entry per
// image, and each image as a bottom-up 32-bit DIB whose fourth byte is the
// pixel's alpha, followed by the 1-bit mask older readers go by.
#ifndef VIREON_TOOLS_ICO_WRITER_H
#define VIREON_TOOLS_ICO_WRITER_H

#include <QByteArray>
#include <QImage>

#include <vector>

namespace vireon::assets {

// The whole .ico file from square images of at most 256 pixels a side, each
// stored with its full transparency; empty when an image cannot be stored.
QByteArray icoFile(const std::vector<QImage> &images);

} // namespace vireon::assets

#endif
