// Writes the program's icon for the desktop: for every image of the
// generated Windows icon, one PNG of the same picture in the hicolor theme's
// layout,
//
//   vireon-hicolor ICON OUTDIR NAME
//
// writes OUTDIR/<n>x<n>/apps/NAME.png for each n stored in ICON. The menu and
// the window then show the same orb. The PNGs are drawn afresh at
// each size, on the same transparent ground.
#include <QGuiApplication>
#include <QDir>
#include <QImage>
#include <QImageReader>

#include "pictures.h"

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv); // the drawing needs the GUI module's fonts and painters
    if (argc != 4) {
        std::fprintf(stderr, "usage: vireon-hicolor ICON OUTDIR NAME\n");
        return 2;
    }
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    int written = 0;
    for (int i = 0; i < reader.imageCount(); ++i) {
        if (!reader.jumpToImage(i)) {
            std::fprintf(stderr, "vireon-hicolor: cannot reach image %d of %s\n", i, argv[1]);
            return 1;
        }
        const QImage stored = reader.read();
        if (stored.isNull() || stored.width() != stored.height()) {
            std::fprintf(stderr, "vireon-hicolor: image %d of %s: %s\n", i, argv[1],
                         stored.isNull() ? qPrintable(reader.errorString()) : "not square");
            return 1;
        }
        const QImage image = vireon::assets::iconImage(stored.width());
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(image.width());
        const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "vireon-hicolor: cannot write %s\n", qPrintable(file));
            return 1;
        }
        ++written;
    }
    if (written == 0) {
        std::fprintf(stderr, "vireon-hicolor: no image in %s: %s\n", argv[1], qPrintable(reader.errorString()));
        return 1;
    }
    return 0;
}
