#include "presence.h"

#include "access.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "window_skin.h"
#include "debug_trace.h"

#include <QStringList>

namespace vireon::app {

void Presence::show(bool present)
{
    if (!present) {
        w.connectedFlag = 0;
        drawStatus(w.updating ? QStringLiteral("CONNECTED") : QStringLiteral("DISCONNECTED"));
        w.ui->updateLabel->setEnabled(false);
        w.updateEnabled = false;
        w.ui->updateLabel->setPixmap(w.updating ? w.updateGreenUp : w.updateWhiteDisabled);
        qCDebug(lcWindow) << (w.updating ? "Pixmap: updateGreenUp" : "Pixmap: updateWhiteDisabled");
    } else if (!w.updating) {
        w.connectedFlag = 1;
        drawStatus(QStringLiteral("CONNECTED"));
    } else {
        // The status word is not redrawn while an update runs.
        w.connectedFlag = 1;
        w.ui->browseFileLabel->setPixmap(w.browseDisabled);
        w.ui->browseFileLabel->setEnabled(false);
        w.ui->updateLabel->setEnabled(false);
        w.updateEnabled = false;
        w.ui->updateLabel->setPixmap(w.updateGreenUp);
        qCDebug(lcWindow) << "Pixmap: updateGreenUp";
    }

    if (present && w.selectedFilePath && !w.updating) {
        w.ui->updateLabel->setEnabled(true);
        w.updateEnabled = true;
        if (!w.updatePressed) {
            w.ui->updateLabel->setPixmap(w.updateGreenUp);
            qCDebug(lcWindow) << "Pixmap: updateGreenUp";
        }
    }
    updateToolTips();
}

void Presence::drawStatus(const QString &word)
{
    w.statusString = word;
    QFont font = w.ui->statusLabel->font();
    font.setKerning(true);
    w.ui->statusLabel->setPixmap(textPanel(w.ui->statusLabel->size(), font, w.statusString));
    w.ui->statusLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    nameStatusPanel(w.ui->statusLabel, word);
}

void Presence::updateToolTips()
{
    QString browse = MainWindow::tr("Choose the firmware file (.cyacd) to program into the surface.");
    if (!w.ui->browseFileLabel->isEnabled())
        browse += MainWindow::tr("\nNot available while an update is running.");
    w.ui->browseFileLabel->setToolTip(browse);

    QString update = MainWindow::tr("Program the chosen firmware file into the surface.");
    if (!w.updateEnabled) {
        QStringList why;
        if (w.updating) {
            why << MainWindow::tr("an update is running");
        } else {
            if (w.connectedFlag == 0)
                why << MainWindow::tr("no surface connected");
            if (!w.selectedFilePath)
                why << MainWindow::tr("no file chosen");
        }
        if (!why.isEmpty())
            update += MainWindow::tr("\nNot offered now: %1.").arg(why.join(QStringLiteral(", ")));
    }
    w.ui->updateLabel->setToolTip(update);
}

} // namespace vireon::app
