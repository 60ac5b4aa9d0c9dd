// The tests on the real USB path run under umockdev's preload library; where
// it is missing they are skipped (77). The window's modal dialogs are Qt's
// own, so that the tests can answer them.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "hidraw_testbed.h"
#include "../private_folders.h"

// The offscreen platform never frees its screen object; nothing of ours.
// hid_open_path of Debian 12's hidapi (0.13.1) leaks the text of its error
// when the node it opened fails its first request (HIDIOCGRDESCSIZE; the
// surface went as it was opened): it frees the handle with hid_close, then
// writes the text, made by its own utf8_to_wchar_t, onto the freed handle.
// Nothing of ours allocates within the library; the handles we leave open
// are counted on the simulated bus.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\nleak:libhidapi-hidraw.so.0\n";
}

int main(int argc, char **argv)
{
    const vireon::tests::PrivateFolders folders;
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
