#include "window_skin.h"

#include "debug_trace.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QStringList>
#include <QWidget>

namespace vireon::app {

namespace {
const QString kElements = QStringLiteral(":/new/prefix1/Vireon_Update_Elements/");
const QColor kPanelText(39, 46, 94, 255);
} // namespace

QPixmap element(const QString &file, const QSize &size)
{
    return QPixmap(kElements + file).scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

QFont registerFonts()
{
    // Both files carry one family: a bold font of it takes the bold file
    // and a plain one the regular file.
    QFont boldFont;
    const int boldId = QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-Bold.ttf"));
    const QStringList families = boldId >= 0 ? QFontDatabase::applicationFontFamilies(boldId) : QStringList();
    if (!families.isEmpty())
        boldFont = QFont(families.first());
    else
        qCDebug(lcWindow) << "The bold font could not be registered; the window uses the default font";
    boldFont.setStyleStrategy(QFont::PreferAntialias);
    const int regularId =
        QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/Vireon_Update_Elements/EurostileT-Regu.ttf"));
    if (regularId < 0)
        qCDebug(lcWindow) << "The regular font could not be registered; the window uses the default font";
    qCDebug(lcWindow) << "Font ids:" << boldId << regularId;
    return boldFont;
}

QPixmap textPanel(const QSize &size, const QFont &font, const QString &text)
{
    QPixmap panel = QPixmap(kElements + QStringLiteral("Blue Window.png"))
                        .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainter painter(&panel);
    painter.setFont(font);
    painter.setPen(kPanelText);
    painter.drawText(panel.rect(), Qt::AlignHCenter | Qt::AlignVCenter, text);
    painter.end();
    return panel;
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
