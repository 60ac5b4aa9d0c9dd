// Draws the window's pictures and its icon: the background with the VIREON
// name, the blue panel, the browse dot in its three forms, the UPDATE word in
// its four forms and the multi-size icon; and those the window shows at
// their own size once more at that size, at 1x and 2x, ready to show.
// Everything is drawn with QPainter from the two bundled fonts, so the same
// sources always give the same set.
//
//   vireon-assets OUTDIR FONTDIR
//
// writes OUTDIR/Vireon_Update_Elements/*.png, Orbel_Icon.ico and shown/*.vpic.
#include "ico_writer.h"
#include "paint_kit.h"
#include "pictures.h"
#include "stored_picture.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <vector>

using namespace vireon::assets;

namespace {

bool save(const QImage &image, const QString &path)
{
    if (image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG"))
        return true;
    std::fprintf(stderr, "vireon-assets: cannot write %s\n", qPrintable(path));
    return false;
}

bool write(const QByteArray &bytes, const QString &path)
{
    QFile out(path);
    if (out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush())
        return true;
    std::fprintf(stderr, "vireon-assets: cannot write %s\n", qPrintable(path));
    return false;
}

// The pictures the window shows at their own size, drawn at that size: at 1x
// into shown/NAME.vpic and at 2x, for screens of twice the pixels, into
// shown/NAME@2x.vpic; and the blue panel as drawn, which the window
// stretches to each label. Stored as the window paints them, so that showing
// one decodes nothing: each passes through the same conversions as a PNG
// read back would, and is then stored premultiplied (the opaque ground as
// plain RGB).
bool saveShown(const QString &dir)
{
    if (!QDir().mkpath(dir + QStringLiteral("shown"))) {
        std::fprintf(stderr, "vireon-assets: cannot create %sshown\n", qPrintable(dir));
        return false;
    }
    auto stored = [](const QImage &image) {
        return vireon::pictures::storedPicture(image.convertToFormat(QImage::Format_ARGB32));
    };
    bool ok = write(stored(bluePanel(774, 72)), dir + QStringLiteral("shown/Blue Window.vpic"));
    for (int s : {1, 2}) {
        const QString at = s == 2 ? QStringLiteral("@2x.vpic") : QStringLiteral(".vpic");
        auto path = [&](const char *name) { return dir + QStringLiteral("shown/") + QLatin1String(name) + at; };
        ok &= write(vireon::pictures::storedPicture(background(588 * s, 408 * s).convertToFormat(QImage::Format_RGB32)),
                    path("VIREON_BACKGROUND"));
        const std::pair<const char *, DotForm> dots[] = {
            {"Solid Up Dot", DotForm::SolidUp}, {"Solid Down Dot", DotForm::SolidDown}, {"Faded Up Dot", DotForm::FadedUp}};
        for (const auto &[name, form] : dots)
            ok &= write(stored(dot(47 * s, 41 * s, form)), path(name));
        const std::pair<const char *, UpdateForm> updates[] = {{"Faded Up UPDATE White", UpdateForm::FadedWhite},
                                                               {"Solid Up UPDATE Green", UpdateForm::GreenUp},
                                                               {"Solid Down UPDATE Green", UpdateForm::GreenDown},
                                                               {"Solid Up UPDATE Red", UpdateForm::RedUp}};
        for (const auto &[name, form] : updates)
            ok &= write(stored(updateButton(172 * s, 90 * s, form)), path(name));
    }
    return ok;
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
    useFontFamilies(QFontDatabase::applicationFontFamilies(bold).value(0),
                    QFontDatabase::applicationFontFamilies(regular).value(0));

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
    ok &= saveShown(dir);

    // The icon file, and its images stored ready to show for the window,
    // which hands them to the desktop without reading the icon file.
    std::vector<QImage> icons;
    for (int size : {256, 128, 64, 48, 32, 16}) {
        icons.push_back(iconImage(size));
        ok &= write(vireon::pictures::storedPicture(icons.back().convertToFormat(QImage::Format_ARGB32)),
                    dir + QStringLiteral("shown/Orbel_Icon-%1.vpic").arg(size));
    }
    const QByteArray ico = vireon::assets::icoFile(icons);
    if (ico.isEmpty())
        std::fprintf(stderr, "vireon-assets: cannot store the icon\n");
    ok &= !ico.isEmpty() && write(ico, dir + QStringLiteral("Orbel_Icon.ico"));
    return ok ? 0 : 1;
}
