// vireon-control: the updater for the Vireon Surface.
#include "mainwindow.h"
#include "program_options.h"
#include "single_instance.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>

#include <csignal>

namespace {
const char kUsage[] =
    "usage: vireon-control [--help | --version]\n"
    "The firmware updater for the Vireon Surface: choose the surface's .cyacd file\n"
    "and press UPDATE. Every step is logged to log.txt in the folder the updater\n"
    "is started in; one updater works in a folder at a time.\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "Qt's own options (-platform, -style, ...) are taken as usual.\n"
    "See vireon-control(1); vireon-flash(1) updates surfaces from a terminal.\n";
} // namespace

int main(int argc, char **argv)
{
    if (const int status = vireon::app::answerInformationOptions(argc, argv, "vireon-control", kUsage); status >= 0)
        return status;
    // log.txt at the file-size limit (ulimit -f) is a log that cannot be
    // written, as on a full disk: the update goes on rather than end
    // between two rows.
    std::signal(SIGXFSZ, SIG_IGN);
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
