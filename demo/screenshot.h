// The demo's screenshot mode: chooses a file through the window's own
// dialog, gives the presence check time to offer UPDATE, saves the window
// as a PNG picture and quits (status 1 when a box is open instead: the file
// was not taken).
#ifndef VIREON_DEMO_SCREENSHOT_H
#define VIREON_DEMO_SCREENSHOT_H

#include <QString>

class MainWindow;

namespace vireon::demo {

void scheduleScreenshot(MainWindow &window, const QString &choose, const QString &picture);

} // namespace vireon::demo

#endif
