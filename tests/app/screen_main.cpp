// The tests of what a user meets on screen: each run starts its own X
// server (Xvfb) and runs the window, and the programs, on it.
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

extern "C" const char *__asan_default_options() { return "fast_unwind_on_malloc=0"; }

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    apptest::XvfbServer server;
    if (server.display().isEmpty()) {
        std::fprintf(stderr, "Xvfb could not be started: skipped\n");
        return 77;
    }
    setenv("DISPLAY", qPrintable(server.display()), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("QT_XCB_GL_INTEGRATION", "none", 1); // as the programs run it
    // A desktop session has its own runtime folder; without one Qt says so
    // on standard error.
    char runtime[] = "/tmp/vireon-screen-XXXXXX";
    if (mkdtemp(runtime) == nullptr)
        return 1;
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    Q_INIT_RESOURCE(gui_elements);
    int status;
    {
        QApplication app(argc, argv);
        status = RUN_ALL_TESTS();
    }
    rmdir(runtime);
    return status;
}
