#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QCoreApplication>

int main(int argc, char **argv)
{
    // Surface locks of this test process alone: tests running in parallel
    // use simulated surfaces of the same names.
    QTemporaryDir runtimeFolder;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    // The site's keys and policy from an empty folder of this process's
    // own, never the machine's /etc/vireon-control (a site that requires
    // signatures would refuse the tests' unsigned files).
    QTemporaryDir siteFolder;
    qputenv("VIREON_CONFIG_DIR", QFile::encodeName(siteFolder.path()));
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
