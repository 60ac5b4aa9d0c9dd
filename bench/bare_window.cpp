// A bare Qt window of the updater's size, for the first-paint benchmark: the
// same application object, platform settings and figures as the demo's
// --time-to-show, and nothing of the updater's. With --one-label it shows
// one line of text too: the least any window that draws text pays (the font
// libraries and their configuration), to read the window's figures against.
#include "process_figures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication application(argc, argv);
    QMainWindow window;
    window.setFixedSize(588, 408);
    if (application.arguments().contains(QStringLiteral("--one-label")))
        (new QLabel(QStringLiteral("PROGRESS"), &window))->setGeometry(10, 270, 118, 26);
    vireon::demo::FirstPaint firstPaint(&sinceMain);
    window.installEventFilter(&firstPaint);
    window.show();
    return application.exec();
}
