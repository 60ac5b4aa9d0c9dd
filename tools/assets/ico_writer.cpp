#include "ico_writer.h"

#include <QHash>
#include <QVector>

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

// A pixel at least half covered is opaque; the colour is stored without its
// coverage, so edges get no dark fringe.
QRgb opaque(QRgb pixel) { return qAlpha(pixel) >= 128 ? (pixel | 0xFF000000u) : 0xFF000000u; }

QByteArray dib(const QImage &source, int bits)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int xorRow = rowBytes(w, bits);
    const int andRow = rowBytes(w, 1);

    QVector<QRgb> palette;
    QHash<QRgb, int> index;
    if (bits == 8) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = opaque(image.pixel(x, y));
                if (!index.contains(c)) {
                    index.insert(c, palette.size());
                    palette.append(c);
                }
            }
        if (palette.size() > 256)
            return {};
        while (palette.size() < 256)
            palette.append(0xFF000000u);
    }

    QByteArray out;
    put32(out, 40);             // header size
    put32(out, static_cast<quint32>(w));
    put32(out, static_cast<quint32>(2 * h)); // image and mask
    put16(out, 1);              // planes
    put16(out, bits);
    put32(out, 0);              // no compression
    put32(out, static_cast<quint32>((xorRow + andRow) * h));
    put32(out, 0);
    put32(out, 0);
    put32(out, bits == 8 ? 256 : 0); // colours used
    put32(out, 0);
    for (QRgb c : palette) {
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(xorRow, '\0');
        for (int x = 0; x < w; ++x) {
            const QRgb c = opaque(image.pixel(x, y));
            if (bits == 8) {
                row[x] = static_cast<char>(index.value(c));
            } else {
                row[3 * x] = static_cast<char>(qBlue(c));
                row[3 * x + 1] = static_cast<char>(qGreen(c));
                row[3 * x + 2] = static_cast<char>(qRed(c));
            }
        }
        out.append(row);
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(andRow, '\0');
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, y)) < 128)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
    }
    return out;
}

} // namespace

QByteArray icoFile(const std::vector<IconImage> &images)
{
    std::vector<QByteArray> bodies;
    for (const IconImage &icon : images) {
        const QSize size = icon.image.size();
        if (size.width() != size.height() || size.width() < 1 || size.width() > 256 ||
            (icon.bitsPerPixel != 8 && icon.bitsPerPixel != 24))
            return {};
        bodies.push_back(dib(icon.image, icon.bitsPerPixel));
        if (bodies.back().isEmpty())
            return {};
    }
    QByteArray out;
    put16(out, 0); // reserved
    put16(out, 1); // icon
    put16(out, static_cast<int>(images.size()));
    quint32 offset = 6 + 16 * static_cast<quint32>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int side = images[i].image.width();
        out.append(static_cast<char>(side == 256 ? 0 : side)); // width, 0 for 256
        out.append(static_cast<char>(side == 256 ? 0 : side)); // height
        out.append('\0'); // colour count: 0 for 8 bits and more
        out.append('\0'); // reserved
        put16(out, 1);    // planes
        put16(out, images[i].bitsPerPixel);
        put32(out, static_cast<quint32>(bodies[i].size()));
        put32(out, offset);
        offset += static_cast<quint32>(bodies[i].size());
    }
    for (const QByteArray &body : bodies)
        out.append(body);
    return out;
}

} // namespace vireon::assets
