// What the window shows of the surface at each presence tick: the status
// word, the browse button during a run, and the news for UPDATE's offer.
#ifndef VIREON_APP_PRESENCE_H
#define VIREON_APP_PRESENCE_H

#include <QString>

class QLabel;
class QPixmap;

namespace vireon::app {

class UpdateOffer;

// What the tick works on: the status panel and the browse button, UPDATE's
// offer, and the window's members it keeps (`connectedFlag`,
// `statusString`) or reads (`updating`).
struct PresenceParts {
    QLabel *statusLabel;
    QLabel *browseFileLabel;
    const QPixmap &browseDisabled;
    UpdateOffer &offer;
    int &connectedFlag;
    QString &statusString;
    const bool &updating;
};

class Presence
{
public:
    explicit Presence(const PresenceParts &parts) : p(parts) {}

    // One presence tick's outcome: `present` when the bus lists a surface.
    void show(bool present);

private:
    void drawStatus(const QString &word);

    PresenceParts p;
};

} // namespace vireon::app

#endif
