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
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
