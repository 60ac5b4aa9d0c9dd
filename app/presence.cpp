#include "presence.h"

#include "access.h"
#include "update_offer.h"
#include "window_skin.h"
#include "debug_trace.h"

#include <QLabel>

namespace vireon::app {

void Presence::show(bool present)
{
    p.connectedFlag = present ? 1 : 0;
    if (!present) {
        drawStatus(p.updating ? QStringLiteral("CONNECTED") : QStringLiteral("DISCONNECTED"));
    } else if (!p.updating) {
        drawStatus(QStringLiteral("CONNECTED"));
    } else {
        // The status word is not redrawn while an update runs.
        p.browseFileLabel->setPixmap(p.browseDisabled);
        p.browseFileLabel->setEnabled(false);
    }
    p.offer.setSurfacePresent(present);
    // The trace names the UPDATE picture each tick settles, as support reads it.
    if (!present || p.updating || (p.offer.offered() && !p.offer.pressed()))
        qCDebug(lcWindow) << "Pixmap:" << UpdateOffer::pictureName(p.offer.picture());
}

void Presence::drawStatus(const QString &word)
{
    p.statusString = word;
    QFont font = p.statusLabel->font();
    font.setKerning(true);
    p.statusLabel->setPixmap(textPanel(p.statusLabel->size(), font, p.statusString));
    p.statusLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    nameStatusPanel(p.statusLabel, word);
}

} // namespace vireon::app
