#include "failure_box.h"

#include "box_titles.h"

#include <QMessageBox>

namespace vireon::app {

void warnWithReason(QWidget *window, const QString &text, const QString &reason)
{
    QMessageBox box(QMessageBox::Warning, kBoxTitle, text, QMessageBox::Ok, window);
    if (!reason.isEmpty())
        box.setInformativeText(reason);
    box.exec();
}

} // namespace vireon::app
