// Draws the window's pictures and its icon: the background with the VIREON
// name, the blue panel, the browse dot in its three forms, the UPDATE word in
// its four forms and the multi-size icon. Everything is drawn with QPainter
// from the two bundled fonts, so the same sources always give the same set.
//
//   vireon-assets OUTDIR FONTDIR
//
// writes OUTDIR/Vireon_Update_Elements/*.png and Orbel_Icon.ico.
#include "ico_writer.h"

#include <QColor>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

QString g_boldFamily = QStringLiteral("sans-serif");
QString g_regularFamily = QStringLiteral("sans-serif");

QImage blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// Three passes of a box blur approximate a gaussian; used for glows and
// shadows.
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

QFont lettering(const QString &family, QFont::Weight weight, qreal pixelSize, qreal spacingPercent)
{
    QFont font(family);
    font.setPixelSize(static_cast<int>(std::lround(pixelSize)));
    font.setWeight(weight);
    font.setLetterSpacing(QFont::PercentageSpacing, spacingPercent);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont boldFont(qreal pixelSize, qreal spacingPercent = 100)
{
    return lettering(g_boldFamily, QFont::Bold, pixelSize, spacingPercent);
}

QFont regularFont(qreal pixelSize, qreal spacingPercent = 100)
{
    return lettering(g_regularFamily, QFont::Normal, pixelSize, spacingPercent);
}

// Paints `glow` blurred under the picture: the soft light around lit parts.
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
                    QStringLiteral("VIREON"));
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
               QStringLiteral("SURFACE FIRMWARE UPDATER"));

    // Footer: a fainter line and the small print.
    QLinearGradient footer(10 * s, 0, 578 * s, 0);
    footer.setColorAt(0.0, QColor(90, 160, 255, 0));
    footer.setColorAt(0.5, QColor(90, 160, 255, 70));
    footer.setColorAt(1.0, QColor(90, 160, 255, 0));
    p.fillRect(QRectF(10 * s, 340 * s, 568 * s, 1.0 * s), footer);
    // The small print is an instruction: bold, about 8 px tall in the
    // window, and light enough on the dark ground to read (over 10:1).
    p.setFont(boldFont(12.5 * s, 104));
    p.setPen(QColor(200, 215, 240));
    p.drawText(QRectF(10 * s, 372 * s, 495 * s, 24 * s), Qt::AlignLeft | Qt::AlignBottom,
               QStringLiteral("KEEP THE SURFACE CONNECTED WHILE IT UPDATES"));
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

enum class DotForm { SolidUp, SolidDown, FadedUp };

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

enum class UpdateForm { FadedWhite, GreenUp, GreenDown, RedUp };

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

// The program's icon: the blue orb with a V on it, on a dark tile that
// fills the square. The tile is opaque, so the icon looks the same to
// readers that ignore the transparency mask of 24-bit images.
QImage iconImage(int size)
{
    const int big = std::max(size * 4, 256);
    QImage image = blank(big, big);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient tile(QPointF(big * 0.5, big * 0.42), big * 0.75);
    tile.setColorAt(0.0, QColor(26, 40, 72));
    tile.setColorAt(1.0, QColor(6, 9, 18));
    p.fillRect(image.rect(), tile);
    const qreal r = big * (size <= 16 ? 0.46 : 0.40);
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

bool save(const QImage &image, const QString &path)
{
    if (image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG"))
        return true;
    std::fprintf(stderr, "vireon-assets: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vireon-assets OUTDIR FONTDIR\n");
        return 2;
    }
    const QString fontDir = QString::fromLocal8Bit(argv[2]);
    const int bold = QFontDatabase::addApplicationFont(fontDir + QStringLiteral("/Orbitron_700Bold.ttf"));
    const int regular = QFontDatabase::addApplicationFont(fontDir + QStringLiteral("/Orbitron_400Regular.ttf"));
    if (bold < 0 || regular < 0) {
        std::fprintf(stderr, "vireon-assets: cannot load the fonts from %s\n", argv[2]);
        return 1;
    }
    g_boldFamily = QFontDatabase::applicationFontFamilies(bold).value(0);
    g_regularFamily = QFontDatabase::applicationFontFamilies(regular).value(0);

    const QString dir = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/Vireon_Update_Elements/");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "vireon-assets: cannot create %s\n", qPrintable(dir));
        return 1;
    }

    bool ok = true;
    ok &= save(background(1020, 707), dir + QStringLiteral("VIREON_BACKGROUND.png"));
    ok &= save(bluePanel(774, 72), dir + QStringLiteral("Blue Window.png"));
    ok &= save(dot(105, 91, DotForm::SolidUp), dir + QStringLiteral("Solid Up Dot.png"));
    ok &= save(dot(105, 91, DotForm::SolidDown), dir + QStringLiteral("Solid Down Dot.png"));
    ok &= save(dot(105, 91, DotForm::FadedUp), dir + QStringLiteral("Faded Up Dot.png"));
    ok &= save(updateButton(299, 156, UpdateForm::FadedWhite), dir + QStringLiteral("Faded Up UPDATE White.png"));
    ok &= save(updateButton(299, 156, UpdateForm::GreenUp), dir + QStringLiteral("Solid Up UPDATE Green.png"));
    ok &= save(updateButton(299, 156, UpdateForm::GreenDown), dir + QStringLiteral("Solid Down UPDATE Green.png"));
    ok &= save(updateButton(299, 156, UpdateForm::RedUp), dir + QStringLiteral("Solid Up UPDATE Red.png"));

    std::vector<vireon::assets::IconImage> icons;
    for (int size : {256, 128, 64, 48, 32})
        icons.push_back({iconImage(size), 24});
    icons.push_back({iconImage(16), 8});
    const QByteArray ico = vireon::assets::icoFile(icons);
    QFile out(dir + QStringLiteral("Orbel_Icon.ico"));
    if (ico.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(ico) != ico.size() || !out.flush()) {
        std::fprintf(stderr, "vireon-assets: cannot write the icon\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
