#include "font_configuration.h"

#include <fontconfig/fontconfig.h>

#include <future>
#include <mutex>
#include <system_error>

namespace vireon::app {
namespace {

std::mutex &readingLock()
{
    static std::mutex lock;
    return lock;
}

std::future<void> &reading()
{
    static std::future<void> pending;
    return pending;
}

} // namespace

FontConfigurationReader::FontConfigurationReader()
{
    const std::lock_guard<std::mutex> hold(readingLock());
    if (reading().valid())
        return;
    try {
        // fontconfig keeps the configuration it read as its current one;
        // Qt's own call to FcInit then finds it ready.
        reading() = std::async(std::launch::async, [] { FcInit(); });
    } catch (const std::system_error &) {
        // No thread to be had: Qt reads it when it needs it.
    }
}

FontConfigurationReader::~FontConfigurationReader()
{
    awaitFontConfiguration();
}

void awaitFontConfiguration()
{
    const std::lock_guard<std::mutex> hold(readingLock());
    if (reading().valid())
        reading().get();
}

} // namespace vireon::app
