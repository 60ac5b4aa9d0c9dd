#include "clicklabel.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>

namespace {
// Light amber: stands out on the dark ground and beside the green and white
// pictures alike.
const QColor kFocusMark(255, 200, 40);
} // namespace

clicklabel::clicklabel(QWidget *parent) : QLabel(parent, Qt::WindowFlags()) {}

void clicklabel::press()
{
    emit clickPressBrowseFile();
    emit clickPressUpdate();
}

void clicklabel::release()
{
    emit clickReleaseBrowseFile();
    emit clickReleaseUpdate();
}

void clicklabel::click()
{
    if (!isEnabled())
        return;
    press();
    release();
}

void clicklabel::mousePressEvent(QMouseEvent *)
{
    press();
}

void clicklabel::mouseReleaseEvent(QMouseEvent *)
{
    release();
}

void clicklabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat() && !spaceDown_) {
            spaceDown_ = true;
            press();
        }
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!event->isAutoRepeat())
            click();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void clicklabel::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        if (spaceDown_) {
            spaceDown_ = false;
            release();
        }
        return;
    }
    QLabel::keyReleaseEvent(event);
}

void clicklabel::focusOutEvent(QFocusEvent *event)
{
    QLabel::focusOutEvent(event);
    if (spaceDown_) {
        spaceDown_ = false;
        release();
    }
}

void clicklabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kFocusMark, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
}

bool clicklabel::event(QEvent *event)
{
    const bool handled = QLabel::event(event);
    if (event->type() == QEvent::ToolTipChange) {
        QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&changed);
    }
    return handled;
}
