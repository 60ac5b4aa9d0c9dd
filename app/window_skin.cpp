#include "window_skin.h"

#include "debug_trace.h"
#include "stored_picture.h"

#include <QApplication>
#include <QFontDatabase>
#include <QEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QTimer>
#include <QPainter>
#include <QResource>
#include <QStringList>
#include <QWidget>

// The shown pictures are two resource collections of their own (1x and
// @2x) in the library: naming them here brings them in wherever the window
// is linked.
static void registerShownPictures()
{
    Q_INIT_RESOURCE(shown_pictures);
    Q_INIT_RESOURCE(shown_pictures_2x);
}

namespace vireon::app {

namespace {
const QString kElements = QStringLiteral(":/new/prefix1/Vireon_Update_Elements/");
const QColor kPanelText(39, 46, 94, 255);

// The picture drawn at the window's own size for `scale`: "shown/NAME.vpic",
// or "shown/NAME@2x.vpic" with twice the pixels each way.
QString shownFile(const QString &file, qreal scale)
{
    QString name = file.left(file.lastIndexOf(QLatin1Char('.')));
    if (scale > 1)
        name += QStringLiteral("@2x");
    return kElements + QStringLiteral("shown/") + name + QStringLiteral(".vpic");
}

// A stored picture of the collection, read where it lies; null when there is
// none by that name.
QImage shownPicture(const QString &path)
{
    static const bool registered = (registerShownPictures(), true);
    Q_UNUSED(registered)
    const QResource resource(path);
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression)
        return {};
    return pictures::storedPictureImage(resource.data(), resource.size());
}

// The blue panel as drawn, premultiplied: the status word and the file name
// are drawn on it stretched to their labels.
const QImage &bluePanel()
{
    static const QImage panel = [] {
        const QImage stored = shownPicture(kElements + QStringLiteral("shown/Blue Window.vpic"));
        return stored.isNull() ? QImage(kElements + QStringLiteral("Blue Window.png"))
                                     .convertToFormat(QImage::Format_ARGB32_Premultiplied)
                               : stored;
    }();
    return panel;
}

// The pixmap shares the image's pixels when they are in the screen's format
// already, as the stored pictures are.
QPixmap pixmapAt(QImage image, qreal scale)
{
    image.setDevicePixelRatio(scale);
    return QPixmap::fromImage(std::move(image));
}
} // namespace

qreal pictureScale()
{
    return qApp != nullptr && qApp->devicePixelRatio() > 1.0 ? 2.0 : 1.0;
}

QPixmap element(const QString &file, const QSize &size)
{
    const qreal scale = pictureScale();
    QImage shown = shownPicture(shownFile(file, scale));
    if (shown.size() == size * scale)
        return pixmapAt(std::move(shown), scale);
    // Read as images, not pixmaps, so that no copy stays in the pixmap cache.
    const QImage source = file == QLatin1String("Blue Window.png") ? bluePanel() : QImage(kElements + file);
    return pixmapAt(source.scaled(size * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation), scale);
}

namespace {
// A font file of the collection, handed over where it lies when it is stored
// uncompressed (no copy is made of it).
int addFont(const QString &file)
{
    const QResource resource(file);
    if (!resource.isValid() || resource.compressionAlgorithm() != QResource::NoCompression)
        return QFontDatabase::addApplicationFont(file);
    return QFontDatabase::addApplicationFontFromData(
        QByteArray::fromRawData(reinterpret_cast<const char *>(resource.data()), static_cast<int>(resource.size())));
}
} // namespace

QFont registerFonts()
{
    // Both files carry one family: a bold font of it takes the bold file
    // and a plain one the regular file.
    QFont boldFont;
    const int boldId = addFont(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-Bold.ttf"));
    const QStringList families = boldId >= 0 ? QFontDatabase::applicationFontFamilies(boldId) : QStringList();
    if (!families.isEmpty())
        boldFont = QFont(families.first());
    else
        qCDebug(lcWindow) << "The bold font could not be registered; the window uses the default font";
    boldFont.setStyleStrategy(QFont::PreferAntialias);
    const int regularId = addFont(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-Regu.ttf"));
    if (regularId < 0)
        qCDebug(lcWindow) << "The regular font could not be registered; the window uses the default font";
    qCDebug(lcWindow) << "Font ids:" << boldId << regularId;
    return boldFont;
}

QPixmap textPanel(const QSize &size, const QFont &font, const QString &text)
{
    const qreal scale = pictureScale();
    QImage panel = bluePanel().scaled(size * scale, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    panel.setDevicePixelRatio(scale);
    QPainter painter(&panel);
    painter.setFont(font);
    painter.setPen(kPanelText);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignHCenter | Qt::AlignVCenter, text);
    painter.end();
    return QPixmap::fromImage(std::move(panel));
}

void narrowToFit(QWidget *widget, const QString &text, int width)
{
    QFont font = widget->font();
    const int natural = QFontMetrics(font).horizontalAdvance(text);
    if (natural <= width || natural <= 0)
        return;
    font.setStretch(qMax(50, 100 * width / natural));
    widget->setFont(font);
}

namespace {
class IconAfterFirstPaint : public QObject
{
public:
    IconAfterFirstPaint(QWidget *window, const QString &file) : QObject(window), file_(file) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this]() {
                static_cast<QWidget *>(parent())->setWindowIcon(storedIcon(file_));
                deleteLater();
            });
        }
        return false;
    }

    // The icon's images as stored ready to show beside the icon file
    // ("shown/NAME-SIDE.vpic"): no decoding, no image plugin; the icon file
    // itself when they are missing.
    static QIcon storedIcon(const QString &file)
    {
        const QString name = file.mid(file.lastIndexOf(QLatin1Char('/')) + 1).section(QLatin1Char('.'), 0, 0);
        QIcon icon;
        for (int side : {256, 128, 64, 48, 32, 16}) {
            QImage image = shownPicture(kElements + QStringLiteral("shown/%1-%2.vpic").arg(name).arg(side));
            if (!image.isNull())
                icon.addPixmap(QPixmap::fromImage(std::move(image)));
        }
        return icon.isNull() ? QIcon(file) : icon;
    }

private:
    QString file_;
};
} // namespace

void setIconAfterFirstPaint(QWidget *window, const QString &file)
{
    window->installEventFilter(new IconAfterFirstPaint(window, file));
}

void styleToolTips(QWidget *window)
{
    const QString tip = QStringLiteral("QToolTip { color: rgb(20, 24, 36); background-color: rgb(244, 246, 251); "
                                       "border: 1px solid rgb(58, 74, 106); padding: 2px; }");
    window->setStyleSheet(tip);
    // A tooltip takes its style from the widget it belongs to, and a
    // widget's own sheet outweighs its window's: a bare "color: white" on a
    // label would paint its tooltip's text white on the light ground. Each
    // such sheet carries the tooltip's rule too, which outweighs the bare
    // declarations (a type selector over none).
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const QString own = widget->styleSheet();
        if (own.trimmed().isEmpty() || own.contains(QLatin1Char('{')))
            continue;
        widget->setStyleSheet(QStringLiteral("* { %1 }\n%2").arg(own, tip));
    }
}

} // namespace vireon::app
