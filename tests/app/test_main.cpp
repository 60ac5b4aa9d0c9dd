// The window tests run real widgets on the offscreen platform, with Qt's own
// (not the desktop's) file dialog so that the tests can answer it.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "../private_folders.h"

// The offscreen platform never frees its screen object; nothing of ours.
// Its allocations show that library only with full stacks.
extern "C" const char *__lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }
extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }

int main(int argc, char **argv)
{
    const vireon::tests::PrivateFolders folders;
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#ifdef VIREON_TEST_SCALE_FACTOR
    setenv("QT_SCALE_FACTOR", VIREON_TEST_SCALE_FACTOR, 1); // a screen of that many pixels per window pixel
#endif
    Q_INIT_RESOURCE(gui_elements);
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
