// The window's ground and the panel behind its labels.
#include "paint_kit.h"
#include "painted_texts.h"
#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

namespace vireon::assets {

QImage background(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Deep blue-black, lighter towards the middle of the controls.
    QRadialGradient base(QPointF(w * 0.52, h * 0.58), w * 0.75);
    base.setColorAt(0.0, QColor(22, 34, 62));
    base.setColorAt(0.55, QColor(11, 17, 32));
    base.setColorAt(1.0, QColor(4, 6, 12));
    p.fillRect(image.rect(), base);

    // A faint grid of fine lines, fading out towards the edges.
    const qreal step = w / 34.0;
    for (int i = 0; i <= 34; ++i) {
        const qreal x = i * step;
        QLinearGradient fade(0, 0, 0, h);
        fade.setColorAt(0.0, QColor(80, 130, 220, 0));
        fade.setColorAt(0.5, QColor(80, 130, 220, 16));
        fade.setColorAt(1.0, QColor(80, 130, 220, 0));
        p.setPen(QPen(QBrush(fade), 1.0));
        p.drawLine(QPointF(x, 0), QPointF(x, h));
    }
    for (int j = 0; j * step <= h; ++j) {
        const qreal y = j * step;
        QLinearGradient fade(0, 0, w, 0);
        fade.setColorAt(0.0, QColor(80, 130, 220, 0));
        fade.setColorAt(0.5, QColor(80, 130, 220, 14));
        fade.setColorAt(1.0, QColor(80, 130, 220, 0));
        p.setPen(QPen(QBrush(fade), 1.0));
        p.drawLine(QPointF(0, y), QPointF(w, y));
    }

    // A wide soft light behind the UPDATE button.
    QRadialGradient light(QPointF(w * 0.503, h * 0.58), h * 0.42);
    light.setColorAt(0.0, QColor(60, 110, 220, 60));
    light.setColorAt(1.0, QColor(60, 110, 220, 0));
    p.fillRect(image.rect(), light);

    // Header band: the name, a line under it and the product line.
    const qreal s = w / 588.0; // background pixels per window pixel
    QImage name = blank(w, h);
    {
        QPainter np(&name);
        np.setRenderHint(QPainter::Antialiasing);
        np.setRenderHint(QPainter::TextAntialiasing);
        np.setFont(boldFont(44 * s, 118));
        QLinearGradient fill(0, 18 * s, 0, 70 * s);
        fill.setColorAt(0.0, QColor(255, 255, 255));
        fill.setColorAt(1.0, QColor(150, 190, 255));
        np.setPen(QPen(QBrush(fill), 1));
        np.drawText(QRectF(10 * s, 12 * s, 400 * s, 62 * s), Qt::AlignLeft | Qt::AlignVCenter,
                    QString::fromLatin1(painted::kName));
    }
    p.end();
    addGlow(image, name, QColor(70, 140, 255), static_cast<int>(6 * s), 0.9);
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.drawImage(0, 0, name);

    QLinearGradient rule(10 * s, 0, 578 * s, 0);
    rule.setColorAt(0.0, QColor(90, 160, 255, 230));
    rule.setColorAt(0.6, QColor(90, 160, 255, 90));
    rule.setColorAt(1.0, QColor(90, 160, 255, 0));
    p.fillRect(QRectF(10 * s, 80 * s, 568 * s, 1.6 * s), rule);

    p.setFont(regularFont(11 * s, 130));
    p.setPen(QColor(150, 180, 230, 210));
    p.drawText(QRectF(300 * s, 50 * s, 278 * s, 24 * s), Qt::AlignRight | Qt::AlignBottom,
               QString::fromLatin1(painted::kSubtitle));

    // Footer: a fainter line and the small print.
    QLinearGradient footer(10 * s, 0, 578 * s, 0);
    footer.setColorAt(0.0, QColor(90, 160, 255, 0));
    footer.setColorAt(0.5, QColor(90, 160, 255, 70));
    footer.setColorAt(1.0, QColor(90, 160, 255, 0));
    // Below the two lines the progress bar's stage line may take.
    p.fillRect(QRectF(10 * s, 359 * s, 568 * s, 1.0 * s), footer);
    // The small print is an instruction: bold, about 8 px tall in the
    // window, and light enough on the dark ground to read (over 10:1).
    p.setFont(boldFont(12.5 * s, 104));
    p.setPen(QColor(200, 215, 240));
    p.drawText(QRectF(10 * s, 372 * s, 495 * s, 24 * s), Qt::AlignLeft | Qt::AlignBottom,
               QString::fromLatin1(painted::kBanner));
    p.end();
    return image;
}

// The light rounded panel behind the file name and the status word. It is
// stretched to labels of other proportions, so it stays plain: a gradient,
// a rim and a gloss.
QImage bluePanel(int w, int h)
{
    QImage image = blank(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(1.5, 1.5, w - 3.0, h - 3.0);
    const qreal radius = h * 0.36;
    QLinearGradient fill(0, 0, 0, h);
    fill.setColorAt(0.0, QColor(196, 222, 255));
    fill.setColorAt(0.5, QColor(150, 192, 250));
    fill.setColorAt(1.0, QColor(118, 166, 240));
    p.setPen(QPen(QColor(70, 120, 215), 3.0));
    p.setBrush(fill);
    p.drawRoundedRect(outer, radius, radius);

    QLinearGradient gloss(0, 0, 0, h * 0.5);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    const QRectF top(6, 4.5, w - 12.0, h * 0.45);
    p.drawRoundedRect(top, radius * 0.8, radius * 0.8);
    return image;
}

} // namespace vireon::assets
