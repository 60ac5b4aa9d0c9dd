#include "ico_writer.h"

namespace vireon::assets {

namespace {

void put16(QByteArray &out, int value)
{
    out.append(static_cast<char>(value & 0xFF));
    out.append(static_cast<char>((value >> 8) & 0xFF));
}

void put32(QByteArray &out, quint32 value)
{
    put16(out, static_cast<int>(value & 0xFFFF));
    put16(out, static_cast<int>(value >> 16));
}

int rowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

// Colour and alpha as they are (not premultiplied), so a reader that takes
// the alpha gets soft edges; the mask marks the pixels less than half
// covered, for readers that know only the mask.
QByteArray dib(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int andRow = rowBytes(w, 1);

    QByteArray out;
    put32(out, 40);             // header size
    put32(out, static_cast<quint32>(w));
    put32(out, static_cast<quint32>(2 * h)); // image and mask
    put16(out, 1);              // planes
    put16(out, 32);             // bits per pixel
    put32(out, 0);              // no compression
    put32(out, static_cast<quint32>((4 * w + andRow) * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, 0);              // no palette
    put32(out, 0);
    for (int y = h - 1; y >= 0; --y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            out.append(static_cast<char>(qBlue(line[x])));
            out.append(static_cast<char>(qGreen(line[x])));
            out.append(static_cast<char>(qRed(line[x])));
            out.append(static_cast<char>(qAlpha(line[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(andRow, '\0');
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(line[x]) < 128)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
    }
    return out;
}

} // namespace

QByteArray icoFile(const std::vector<QImage> &images)
{
    std::vector<QByteArray> bodies;
    for (const QImage &image : images) {
        const QSize size = image.size();
        if (size.width() != size.height() || size.width() < 1 || size.width() > 256)
            return {};
        bodies.push_back(dib(image));
    }
    QByteArray out;
    put16(out, 0); // reserved
    put16(out, 1); // icon
    put16(out, static_cast<int>(images.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int side = images[i].width();
        out.append(static_cast<char>(side == 256 ? 0 : side)); // width, 0 for 256
        out.append(static_cast<char>(side == 256 ? 0 : side)); // height
        out.append('\0'); // colour count: 0 for 8 bits and more
        out.append('\0'); // reserved
        put16(out, 1);    // planes
        put16(out, 32);   // bits per pixel
        put32(out, static_cast<quint32>(bodies[i].size()));
        put32(out, offset);
        offset += static_cast<quint32>(bodies[i].size());
    }
    for (const QByteArray &body : bodies)
        out.append(body);
    return out;
}

} // namespace vireon::assets
