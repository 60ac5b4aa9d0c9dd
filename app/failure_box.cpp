#include "failure_box.h"

#include "box_titles.h"

#include <QMessageBox>

namespace vireon::app {

namespace {

void showBox(QMessageBox::Icon icon, QWidget *window, const QString &text, const QString &beneath)
{
    QMessageBox box(icon, kBoxTitle, text, QMessageBox::Ok, window);
    if (!beneath.isEmpty())
        box.setInformativeText(beneath);
    box.exec();
}

} // namespace

void warnWithReason(QWidget *window, const QString &text, const QString &reason)
{
    showBox(QMessageBox::Warning, window, text, reason);
}

void informWithNote(QWidget *window, const QString &text, const QString &note)
{
    showBox(QMessageBox::Information, window, text, note);
}

} // namespace vireon::app
