// The window on a screen of twice the pixels (QT_SCALE_FACTOR=2, set by this
// executable's main): the same layout in window pixels, the pictures drawn at
// twice the resolution rather than enlarged.
#include "app_fixture.h"

#include "stored_picture.h"
#include "window_skin.h"

#include <QResource>


namespace apptest {
namespace {

// How sharp a picture is: the mean square of the luminance steps between
// neighbouring pixels.
double sharpness(const QImage &image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    double sum = 0;
    for (int y = 0; y + 1 < grey.height(); ++y)
        for (int x = 0; x + 1 < grey.width(); ++x) {
            const int here = qGray(grey.pixel(x, y));
            const int right = qGray(grey.pixel(x + 1, y)) - here, down = qGray(grey.pixel(x, y + 1)) - here;
            sum += right * right + down * down;
        }
    return sum / (grey.width() * grey.height());
}

// The share of those steps that fall inside the 2 x 2 blocks of pixels: none
// when each window pixel is simply drawn twice as wide and high, about half
// when the picture has detail at this resolution.
double shareInsideBlocks(const QImage &image)
{
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    double inside = 0, across = 0;
    for (int y = 0; y + 1 < grey.height(); ++y)
        for (int x = 0; x + 1 < grey.width(); ++x) {
            const int here = qGray(grey.pixel(x, y));
            const int right = qGray(grey.pixel(x + 1, y)) - here, down = qGray(grey.pixel(x, y + 1)) - here;
            (x % 2 == 0 ? inside : across) += right * right;
            (y % 2 == 0 ? inside : across) += down * down;
        }
    return inside / (inside + across);
}

TEST_F(WindowTest, AtTwiceThePixelsTheLayoutStaysAndThePicturesHaveTwiceTheResolution)
{
    ASSERT_EQ(qApp->devicePixelRatio(), 2.0);
    MainWindow &w = window();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const MainWindowProbe p = probe();
    EXPECT_EQ(w.size(), QSize(588, 408));
    EXPECT_EQ(p.ui().updateLabel->geometry(), QRect(210, 190, 172, 90));

    const std::pair<const char *, QPixmap> pictures[] = {
        {"ground", w.palette().brush(QPalette::Window).texture()},
        {"browse", p.ui().browseFileLabel->pixmap(Qt::ReturnByValue)},
        {"UPDATE", p.ui().updateLabel->pixmap(Qt::ReturnByValue)},
        {"file panel", p.ui().fileNameLabel->pixmap(Qt::ReturnByValue)},
    };
    const QSize logical[] = {{588, 408}, {47, 41}, {172, 90}, {291, 27}};
    for (size_t i = 0; i < std::size(pictures); ++i) {
        SCOPED_TRACE(pictures[i].first);
        EXPECT_EQ(pictures[i].second.devicePixelRatio(), 2.0);
        EXPECT_EQ(pictures[i].second.size(), logical[i] * 2);
    }

    // On screen: the window's pixels where the VIREON name and UPDATE are,
    // against the window drawn for an ordinary screen and enlarged to this
    // one. A sharp edge is one big step, a smoothly enlarged one two half
    // steps; a picture merely drawn twice as large has its steps only
    // between the blocks of 2 x 2 pixels.
    const QImage shot = w.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(1176, 816));
    QImage ordinary(588, 408, QImage::Format_ARGB32_Premultiplied);
    w.render(&ordinary);
    const QImage enlarged = ordinary.scaled(1176, 816, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QRect &area : {QRect(10, 15, 220, 55), QRect(214, 194, 164, 82)}) {
        const QRect pixels(area.topLeft() * 2, area.size() * 2);
        EXPECT_GT(sharpness(shot.copy(pixels)), 1.5 * sharpness(enlarged.copy(pixels))) << area.x();
        EXPECT_GT(shareInsideBlocks(shot.copy(pixels)), 0.3) << area.x();
    }
}

// Those the window shows at their own size are there at that size and at
// twice it, stored ready to show: read where they lie, with no decoding.
TEST(Resources, ShownPicturesAreStoredReadyToShowAt1xAnd2x)
{
    vireon::app::element(QStringLiteral("Solid Up Dot.png"), {47, 41}); // registers the collection
    const std::pair<const char *, QSize> pictures[] = {
        {"VIREON_BACKGROUND", {588, 408}},      {"Solid Up Dot", {47, 41}},
        {"Solid Down Dot", {47, 41}},           {"Faded Up Dot", {47, 41}},
        {"Faded Up UPDATE White", {172, 90}},   {"Solid Up UPDATE Green", {172, 90}},
        {"Solid Down UPDATE Green", {172, 90}}, {"Solid Up UPDATE Red", {172, 90}}};
    for (const auto &[name, size] : pictures)
        for (int scale : {1, 2}) {
            const QString file =
                QStringLiteral(":/new/prefix1/Vireon_Update_Elements/shown/%1%2.vpic").arg(name, scale == 2 ? "@2x" : "");
            SCOPED_TRACE(file.toStdString());
            const QResource resource(file);
            EXPECT_EQ(resource.compressionAlgorithm(), QResource::NoCompression);
            const QImage image = vireon::pictures::storedPictureImage(resource.data(), resource.size());
            EXPECT_EQ(image.size(), size * scale);
            EXPECT_EQ(image.format(), QString(name) == "VIREON_BACKGROUND" ? QImage::Format_RGB32
                                                                            : QImage::Format_ARGB32_Premultiplied);
            EXPECT_EQ(image.constBits(), resource.data() + vireon::pictures::kHeadBytes);
        }
}

// Bytes that are not a whole stored picture give no image; rows off a 4-byte
// boundary are copied to one.
TEST(Resources, StoredPicturesAreReadOnlyWhenWhole)
{
    QImage drawn(3, 2, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(qPremultiply(qRgba(10, 200, 30, 128)));
    const QByteArray stored = vireon::pictures::storedPicture(drawn);
    ASSERT_EQ(stored.size(), 16 + 3 * 2 * 4);
    QByteArray unknownFormat = stored;
    unknownFormat[12] = static_cast<char>(QImage::Format_Indexed8);
    QByteArray tooWide = stored;
    tooWide[4] = 4;
    const std::pair<const char *, QByteArray> broken[] = {
        {"empty", {}},
        {"head only", stored.left(16)},
        {"one byte short", stored.chopped(1)},
        {"one byte over", stored + '\0'},
        {"another name", QByteArray("XPIC") + stored.mid(4)},
        {"a format not stored", unknownFormat},
        {"a width the rows do not have", tooWide}};
    for (const auto &[what, bytes] : broken) {
        SCOPED_TRACE(what);
        EXPECT_TRUE(vireon::pictures::storedPictureImage(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size())
                        .isNull());
    }

    QByteArray offset = QByteArray(1, '\0') + stored; // the rows one byte off a word
    const uchar *start = reinterpret_cast<const uchar *>(offset.constData()) + 1;
    const QImage copied = vireon::pictures::storedPictureImage(start, stored.size());
    EXPECT_EQ(copied, drawn);
    EXPECT_NE(copied.constBits(), start + vireon::pictures::kHeadBytes);
}

} // namespace
} // namespace apptest
