// The two buttons of the window: the browse dot and the UPDATE word.
#include "paint_kit.h"
#include "pictures.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace vireon::assets {

// The round browse button: a blue sphere with a folder on it.
QImage dot(int w, int h, DotForm form)
{
    QImage image = blank(w, h);
    const bool down = form == DotForm::SolidDown;
    const bool faded = form == DotForm::FadedUp;
    const qreal r = h * 0.41;
    const QPointF c(w / 2.0, h / 2.0 - (down ? 0 : 2.0) + (down ? 1.5 : 0));

    if (!faded) {
        QImage shadow = blank(w, h);
        QPainter sp(&shadow);
        sp.setRenderHint(QPainter::Antialiasing);
        sp.setPen(Qt::NoPen);
        sp.setBrush(QColor(0, 0, 0, down ? 90 : 150));
        sp.drawEllipse(c + QPointF(0, down ? 1.5 : 4.0), r, r);
        sp.end();
        QPainter p(&image);
        p.drawImage(0, 0, blurred(shadow, down ? 2 : 4));
        p.end();
        QImage halo = blank(w, h);
        QPainter hp(&halo);
        hp.setRenderHint(QPainter::Antialiasing);
        hp.setPen(Qt::NoPen);
        hp.setBrush(Qt::white);
        hp.drawEllipse(c, r, r);
        hp.end();
        addGlow(image, halo, QColor(70, 150, 255), 5, down ? 0.35 : 0.6);
    }

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QColor hi, mid, lo, rim;
    if (faded) {
        hi = QColor(150, 160, 180, 110);
        mid = QColor(95, 105, 125, 100);
        lo = QColor(60, 66, 80, 100);
        rim = QColor(170, 180, 200, 90);
    } else if (down) {
        hi = QColor(70, 130, 230);
        mid = QColor(28, 78, 180);
        lo = QColor(12, 40, 110);
        rim = QColor(110, 170, 255);
    } else {
        hi = QColor(120, 185, 255);
        mid = QColor(38, 108, 230);
        lo = QColor(14, 52, 140);
        rim = QColor(160, 210, 255);
    }
    QRadialGradient body(c + QPointF(-r * 0.3, -r * (down ? 0.1 : 0.45)), r * 1.5);
    body.setColorAt(0.0, hi);
    body.setColorAt(0.55, mid);
    body.setColorAt(1.0, lo);
    p.setPen(QPen(rim, 2.2));
    p.setBrush(body);
    p.drawEllipse(c, r, r);

    if (!faded) {
        // Gloss on the upper half; smaller and dimmer while pressed.
        QLinearGradient gloss(0, c.y() - r, 0, c.y());
        gloss.setColorAt(0.0, QColor(255, 255, 255, down ? 70 : 150));
        gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(gloss);
        p.drawEllipse(QRectF(c.x() - r * 0.7, c.y() - r * 0.92, r * 1.4, r * 0.9));
    }
    if (down) {
        // Inner shadow along the top edge.
        QRadialGradient inner(c + QPointF(0, r * 0.35), r * 1.05);
        inner.setColorAt(0.8, QColor(0, 0, 0, 0));
        inner.setColorAt(1.0, QColor(0, 0, 0, 110));
        p.setPen(Qt::NoPen);
        p.setBrush(inner);
        p.drawEllipse(c, r, r);
    }

    // The folder.
    const qreal fw = r * 1.0;
    const qreal fh = r * 0.72;
    const QPointF o(c.x() - fw / 2, c.y() - fh / 2 + r * 0.06);
    QPainterPath folder;
    folder.moveTo(o.x(), o.y() + fh * 0.18);
    folder.lineTo(o.x(), o.y() + fh);
    folder.lineTo(o.x() + fw, o.y() + fh);
    folder.lineTo(o.x() + fw, o.y() + fh * 0.18);
    folder.lineTo(o.x() + fw * 0.5, o.y() + fh * 0.18);
    folder.lineTo(o.x() + fw * 0.4, o.y());
    folder.lineTo(o.x() + fw * 0.04, o.y());
    folder.closeSubpath();
    QColor glyph = faded ? QColor(210, 215, 225, 110) : QColor(255, 255, 255, down ? 215 : 245);
    p.setPen(QPen(glyph, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(glyph);
    p.drawPath(folder);
    // The folder's front flap, a touch darker.
    QPainterPath flap;
    flap.moveTo(o.x(), o.y() + fh);
    flap.lineTo(o.x() + fw * 0.1, o.y() + fh * 0.36);
    flap.lineTo(o.x() + fw * 1.08, o.y() + fh * 0.36);
    flap.lineTo(o.x() + fw, o.y() + fh);
    flap.closeSubpath();
    p.setBrush(faded ? QColor(170, 178, 195, 110) : QColor(205, 225, 255, down ? 215 : 245));
    p.setPen(Qt::NoPen);
    p.drawPath(flap);
    return image;
}

// The UPDATE button: the word in a rounded frame of its colour, lit from
// within.
QImage updateButton(int w, int h, UpdateForm form)
{
    QImage image = blank(w, h);
    const bool down = form == UpdateForm::GreenDown;
    QColor colour;
    QColor text;
    qreal glow = 0;
    switch (form) {
    case UpdateForm::FadedWhite:
        colour = QColor(255, 255, 255, 80);
        text = QColor(255, 255, 255, 95);
        break;
    case UpdateForm::GreenUp:
        colour = QColor(60, 230, 110);
        text = QColor(190, 255, 205);
        glow = 1.3;
        break;
    case UpdateForm::GreenDown:
        colour = QColor(30, 165, 70);
        text = QColor(120, 220, 145);
        glow = 0.6;
        break;
    case UpdateForm::RedUp:
        colour = QColor(255, 70, 70);
        text = QColor(255, 200, 195);
        glow = 1.3;
        break;
    }
    const qreal inset = down ? 16 : 13;
    const QRectF frame(inset, inset + (down ? 3 : 0), w - 2 * inset, h - 2 * inset - (down ? 2 : 0));
    const qreal radius = frame.height() * 0.3;

    QImage lit = blank(w, h);
    {
        QPainter p(&lit);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setPen(QPen(colour, 4.0));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(frame, radius, radius);
        // The largest size at which the word fills three quarters of the frame.
        qreal size = frame.height() * 0.5;
        while (size > 8 && QFontMetricsF(boldFont(size, 110)).horizontalAdvance(QStringLiteral("UPDATE")) >
                               frame.width() * (down ? 0.72 : 0.75))
            size -= 0.5;
        p.setFont(boldFont(size, 110));
        p.setPen(text);
        p.drawText(frame.translated(0, 1), Qt::AlignCenter, QStringLiteral("UPDATE"));
    }

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Inside of the frame: a dark glass tinted with the colour.
    QLinearGradient glass(0, frame.top(), 0, frame.bottom());
    QColor top = colour;
    QColor bottom = colour;
    if (form == UpdateForm::FadedWhite) {
        top.setAlpha(22);
        bottom.setAlpha(8);
    } else if (down) {
        top.setAlpha(40);
        bottom.setAlpha(95);
    } else {
        top.setAlpha(75);
        bottom.setAlpha(28);
    }
    glass.setColorAt(0.0, top);
    glass.setColorAt(1.0, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(4, 8, 16, form == UpdateForm::FadedWhite ? 110 : 200));
    p.drawRoundedRect(frame, radius, radius);
    p.setBrush(glass);
    p.drawRoundedRect(frame, radius, radius);
    p.end();

    if (glow > 0)
        addGlow(image, lit, colour, 7, glow);
    p.begin(&image);
    p.drawImage(0, 0, lit);
    if (form != UpdateForm::FadedWhite && !down) {
        // Gloss over the upper part of the glass.
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gloss(0, frame.top(), 0, frame.center().y());
        gloss.setColorAt(0.0, QColor(255, 255, 255, 55));
        gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(gloss);
        const QRectF upper = frame.adjusted(5, 4, -5, -frame.height() * 0.5);
        p.drawRoundedRect(upper, radius * 0.7, radius * 0.7);
    }
    return image;
}

} // namespace vireon::assets
