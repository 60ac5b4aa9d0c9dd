// A bare Qt window of the updater's size, for the first-paint benchmark: the
// same application object, platform settings and figures as the demo's
// --time-to-show, and nothing of the updater's.
#include "process_figures.h"

#include <QApplication>
#include <QElapsedTimer>
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
    vireon::demo::FirstPaint firstPaint(&sinceMain);
    window.installEventFilter(&firstPaint);
    window.show();
    return application.exec();
}
