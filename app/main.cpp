// vireon-control: the updater for the Vireon Surface.
#include "mainwindow.h"
#include "single_instance.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>

int main(int argc, char **argv)
{
    Q_INIT_RESOURCE(gui_elements);
    // The window paints with the raster engine; without this the X11
    // platform loads the whole OpenGL stack, tens of megabytes, for nothing.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    int status = 0;
    {
        QApplication application(argc, argv);
        QLockFile folderLock(QDir::current().absoluteFilePath(vireon::app::kFolderLockName));
        if (!vireon::app::claimWorkingFolder(folderLock))
            return 0;
        {
            MainWindow window;
            window.show();
            status = application.exec();
        }
    }
    (void)status; // the program ends with 0 whatever the event loop returned
    return 0;
}
