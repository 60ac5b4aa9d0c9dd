// A picture stored exactly as the window paints it, so that showing it
// decodes nothing: a 16-byte head ("VPIC", then width, height and the
// QImage format as 32-bit little-endian numbers) and the rows of 32-bit
// pixels, premultiplied ARGB, or RGB for an opaque picture. The generator
// writes them; the window uses them where they lie in the resource
// collection, without a copy.
#ifndef VIREON_RESOURCES_STORED_PICTURE_H
#define VIREON_RESOURCES_STORED_PICTURE_H

#include <QByteArray>
#include <QImage>
#include <QtEndian>

#include <cstring>

namespace vireon::pictures {

constexpr int kHeadBytes = 16;

// The stored form of `image`: opaque pictures as RGB32, others as
// premultiplied ARGB32.
inline QByteArray storedPicture(const QImage &image)
{
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    const QImage pixels = image.convertToFormat(format);
    QByteArray out(kHeadBytes, '\0');
    std::memcpy(out.data(), "VPIC", 4);
    qToLittleEndian<quint32>(static_cast<quint32>(pixels.width()), out.data() + 4);
    qToLittleEndian<quint32>(static_cast<quint32>(pixels.height()), out.data() + 8);
    qToLittleEndian<quint32>(static_cast<quint32>(format), out.data() + 12);
    for (int y = 0; y < pixels.height(); ++y)
        out.append(reinterpret_cast<const char *>(pixels.constScanLine(y)), 4 * pixels.width());
    return out;
}

// The picture in `bytes`, read in place: the image points into them, so
// they must outlive it (resource data does). Copied only when the rows
// do not start on a 4-byte boundary, as QImage needs. Null when the bytes
// are not a whole stored picture.
inline QImage storedPictureImage(const uchar *bytes, qint64 size)
{
    if (bytes == nullptr || size < kHeadBytes || std::memcmp(bytes, "VPIC", 4) != 0)
        return {};
    const quint32 width = qFromLittleEndian<quint32>(bytes + 4);
    const quint32 height = qFromLittleEndian<quint32>(bytes + 8);
    const quint32 format = qFromLittleEndian<quint32>(bytes + 12);
    if ((format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) || width == 0 ||
        height == 0 || width > 16384 || height > 16384 ||
        size != kHeadBytes + 4 * static_cast<qint64>(width) * static_cast<qint64>(height))
        return {};
    const uchar *rows = bytes + kHeadBytes;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    const auto f = static_cast<QImage::Format>(format);
    if (reinterpret_cast<quintptr>(rows) % 4 == 0)
        return QImage(rows, w, h, 4 * w, f);
    QImage copy(w, h, f);
    for (int y = 0; y < h; ++y)
        std::memcpy(copy.scanLine(y), rows + 4 * static_cast<qint64>(w) * y, static_cast<size_t>(4 * w));
    return copy;
}

} // namespace vireon::pictures

#endif
