#include "failure_box.h"

#include <QMessageBox>

namespace vireon::app {

void warnWithReason(QWidget *window, const QString &text, const QString &reason)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Vireon Surface Bootloader"), text, QMessageBox::Ok, window);
    if (!reason.isEmpty())
        box.setInformativeText(reason);
    box.exec();
}

} // namespace vireon::app
