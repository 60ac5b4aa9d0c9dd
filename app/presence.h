// What the window shows of the surface: the status word, whether UPDATE is
// offered, and the image buttons' tooltips, which say why it is not.
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
    void updateToolTips();

private:
    void drawStatus(const QString &word);

    MainWindow &w;
};

} // namespace vireon::app

#endif
