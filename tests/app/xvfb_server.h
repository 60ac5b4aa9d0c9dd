// A private X server for the tests that measure what a user sees: Xvfb on a
// display number it picks itself (-displayfd), stopped with the test.
#pragma once

#include <QString>

#include <sys/types.h>

namespace apptest {

class XvfbServer
{
public:
    // Starts Xvfb with one 24-bit screen; display() is empty when it could
    // not be started (no Xvfb installed, or it failed).
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // ":N", ready for DISPLAY.
    const QString &display() const { return display_; }

private:
    pid_t pid_ = -1;
    QString display_;
};

} // namespace apptest
