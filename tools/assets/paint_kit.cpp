#include "paint_kit.h"

#include <QPainter>

#include <cmath>
#include <vector>

namespace vireon::assets {

namespace {

QString g_boldFamily = QStringLiteral("sans-serif");
QString g_regularFamily = QStringLiteral("sans-serif");

QFont lettering(const QString &family, QFont::Weight weight, qreal pixelSize, qreal spacingPercent)
{
    QFont font(family);
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setWeight(weight);
    font.setLetterSpacing(QFont::PercentageSpacing, spacingPercent);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

} // namespace

void useFontFamilies(const QString &bold, const QString &regular)
{
    g_boldFamily = bold;
    g_regularFamily = regular;
}

QFont boldFont(qreal pixelSize, qreal spacingPercent)
{
    return lettering(g_boldFamily, QFont::Bold, pixelSize, spacingPercent);
}

QFont regularFont(qreal pixelSize, qreal spacingPercent)
{
    return lettering(g_regularFamily, QFont::Normal, pixelSize, spacingPercent);
}

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage blurred(const QImage &source, int radius)
{
    QImage image = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width();
    const int h = image.height();
    std::vector<int> acc(4);
    std::vector<QRgb> line(static_cast<size_t>(std::max(w, h)));
    for (int pass = 0; pass < 3; ++pass) {
        for (int dir = 0; dir < 2; ++dir) {
            const int outer = dir == 0 ? h : w;
            const int inner = dir == 0 ? w : h;
            for (int o = 0; o < outer; ++o) {
                auto at = [&](int i) -> QRgb & {
                    return dir == 0 ? reinterpret_cast<QRgb *>(image.scanLine(o))[i]
                                    : reinterpret_cast<QRgb *>(image.scanLine(i))[o];
                };
                for (int i = 0; i < inner; ++i)
                    line[static_cast<size_t>(i)] = at(i);
                const int window = 2 * radius + 1;
                for (int i = 0; i < inner; ++i) {
                    int a = 0, r = 0, g = 0, b = 0;
                    for (int k = i - radius; k <= i + radius; ++k) {
                        if (k < 0 || k >= inner)
                            continue;
                        const QRgb p = line[static_cast<size_t>(k)];
                        a += qAlpha(p);
                        r += qRed(p);
                        g += qGreen(p);
                        b += qBlue(p);
                    }
                    at(i) = qRgba(r / window, g / window, b / window, a / window);
                }
            }
        }
    }
    return image;
}

void addGlow(QImage &target, const QImage &shape, const QColor &colour, int radius, qreal strength)
{
    QImage tinted = shape.copy();
    {
        QPainter p(&tinted);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(tinted.rect(), colour);
    }
    const QImage glow = blurred(tinted, radius);
    QPainter p(&target);
    p.setOpacity(strength);
    p.drawImage(0, 0, glow);
    if (strength > 1.0) {
        p.setOpacity(strength - 1.0);
        p.drawImage(0, 0, glow);
    }
}

} // namespace vireon::assets
