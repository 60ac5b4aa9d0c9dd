// vireon-flash: the command-line updater, on the system's hidapi.
#include "flash.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    return vireon::flash::run(QCoreApplication::arguments(), stdout, stderr);
}
