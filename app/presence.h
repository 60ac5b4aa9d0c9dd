// What the window shows of the surface at each presence tick: the status
// word, the browse button during a run, and the news for UPDATE's offer.
#ifndef VIREON_APP_PRESENCE_H
#define VIREON_APP_PRESENCE_H

#include <QString>

class MainWindow;

namespace vireon::app {

class Presence
{
public:
    explicit Presence(MainWindow &window) : w(window) {}

    // One presence tick's outcome: `present` when the bus lists a surface.
    void show(bool present);

private:
    void drawStatus(const QString &word);

    MainWindow &w;
};

} // namespace vireon::app

#endif
