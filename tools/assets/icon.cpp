#include "paint_kit.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

namespace vireon::assets {

// The program's icon: the blue orb with a V on it, on a transparent ground
// as desktop icons are: the title bar, the menu and the dock show their own
// ground around the orb.
QImage iconImage(int size)
{
    const int big = std::max(size * 4, 256);
    QImage image = blank(big, big);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal r = big * (size <= 16 ? 0.46 : 0.45);
    const QPointF c(big / 2.0, big / 2.0);
    QRadialGradient body(c + QPointF(-r * 0.3, -r * 0.45), r * 1.5);
    body.setColorAt(0.0, QColor(130, 195, 255));
    body.setColorAt(0.55, QColor(38, 108, 230));
    body.setColorAt(1.0, QColor(12, 42, 120));
    p.setPen(QPen(QColor(170, 215, 255), big * 0.02));
    p.setBrush(body);
    p.drawEllipse(c, r, r);
    QLinearGradient gloss(0, c.y() - r, 0, c.y());
    gloss.setColorAt(0.0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - r * 0.7, c.y() - r * 0.92, r * 1.4, r * 0.9));
    QPainterPath v;
    v.moveTo(c.x() - r * 0.5, c.y() - r * 0.38);
    v.lineTo(c.x(), c.y() + r * 0.48);
    v.lineTo(c.x() + r * 0.5, c.y() - r * 0.38);
    p.setPen(QPen(Qt::white, r * (size <= 16 ? 0.3 : 0.22), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(v);
    p.end();
    return image.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace vireon::assets
