// The tests on the real USB path run under umockdev's preload library; where
// it is missing they are skipped (77). The window's modal dialogs are Qt's
// own, so that the tests can answer them.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "hidraw_testbed.h"

// The offscreen platform never frees its screen object; nothing of ours.
extern "C" const char *__lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

int main(int argc, char **argv)
{
    // Surface locks of this test process alone: tests running in parallel
    // use simulated surfaces of the same names.
    QTemporaryDir runtimeFolder;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeFolder.path()));
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    if (!vireon::testbed::underPreload()) {
        std::fprintf(stderr, "umockdev's preload library is not loaded: skipped\n");
        return 77;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Q_INIT_RESOURCE(gui_elements);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
