// The painting kit the window's pictures share: blank canvases, a soft blur
// for glows and shadows, and the lettering in the two bundled fonts.
#ifndef VIREON_TOOLS_PAINT_KIT_H
#define VIREON_TOOLS_PAINT_KIT_H

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

namespace vireon::assets {

// The families the lettering uses; sans-serif until set.
void useFontFamilies(const QString &bold, const QString &regular);
QFont boldFont(qreal pixelSize, qreal spacingPercent = 100);
QFont regularFont(qreal pixelSize, qreal spacingPercent = 100);

QImage blank(int w, int h);
// Three passes of a box blur approximate a gaussian; used for glows and
// shadows.
QImage blurred(const QImage &source, int radius);
// Paints `shape`, tinted and blurred, over the target: the soft light around
// lit parts.
void addGlow(QImage &target, const QImage &shape, const QColor &colour, int radius, qreal strength);

} // namespace vireon::assets

#endif
