#include "presence.h"

#include "access.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "window_skin.h"
#include "debug_trace.h"


namespace vireon::app {

void Presence::show(bool present)
{
    w.connectedFlag = present ? 1 : 0;
    if (!present) {
        drawStatus(w.updating ? QStringLiteral("CONNECTED") : QStringLiteral("DISCONNECTED"));
    } else if (!w.updating) {
        drawStatus(QStringLiteral("CONNECTED"));
    } else {
        // The status word is not redrawn while an update runs.
        w.ui->browseFileLabel->setPixmap(w.browseDisabled);
        w.ui->browseFileLabel->setEnabled(false);
    }
    w.offer.setSurfacePresent(present);
    // The trace names the UPDATE picture each tick settles, as support reads it.
    if (!present || w.updating || (w.offer.offered() && !w.offer.pressed()))
        qCDebug(lcWindow) << "Pixmap:" << UpdateOffer::pictureName(w.offer.picture());
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

} // namespace vireon::app
