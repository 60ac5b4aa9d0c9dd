#include "close_policy.h"

#include "box_titles.h"

#include <QMessageBox>
#include <QPushButton>

namespace vireon::app {

namespace {

QMessageBox *windowModalBox(QMessageBox::Icon icon, const QString &text, QWidget *window)
{
    auto *box = new QMessageBox(icon, kBoxTitle, text, QMessageBox::NoButton, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    return box;
}
} // namespace

QMessageBox *showCloseRefused(QWidget *window)
{
    QMessageBox *box = windowModalBox(QMessageBox::Information,
                                      QStringLiteral("An update is running.\nPlease wait until it has finished "
                                                     "before closing the updater."),
                                      window);
    box->setStandardButtons(QMessageBox::Ok);
    box->open();
    return box;
}

void askToStop(QWidget *window, std::function<void(bool stop)> answered)
{
    QMessageBox *box = windowModalBox(
        QMessageBox::Question,
        QStringLiteral("The first part of the update is done; the second part has not started yet.\n"
                       "Stop the update and close the updater?"),
        window);
    box->setInformativeText(QStringLiteral("If you stop now, the Vireon Surface keeps the first firmware image "
                                           "only. Run the update again later to program both images."));
    QPushButton *keepGoing = box->addButton(QStringLiteral("Continue the update"), QMessageBox::AcceptRole);
    QPushButton *stop = box->addButton(QStringLiteral("Stop and close"), QMessageBox::DestructiveRole);
    box->setDefaultButton(keepGoing);
    box->setEscapeButton(keepGoing);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, stop, answered = std::move(answered)]() { answered(box->clickedButton() == stop); });
    box->open();
}

} // namespace vireon::app
