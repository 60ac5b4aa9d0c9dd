#include "hidapi_lock.h"

#include <cstring>
#include <mutex>

namespace vireon::core::hid {
namespace {

std::mutex &processWide()
{
    static std::mutex lock;
    return lock;
}

// hid_error(NULL) of a failed open of `path`, copied while the lock is
// still held.
hid_device *withReason(hid_device *device, const char *path, std::wstring &whyNot)
{
    const wchar_t *text = device ? nullptr : hid_error(nullptr);
    whyNot = text ? text : L"";
    // hid_open_path of hidapi 0.13 fails without a process-wide text in one
    // case: the node opened, but its first request (HIDIOCGRDESCSIZE, which
    // tells a hidraw node) failed. It writes that reason onto the handle it
    // has just freed, so hid_error(NULL) says "Success". A surface's node
    // fails it when the surface leaves the bus between the two calls.
    if (device == nullptr && (whyNot.empty() || whyNot == L"Success"))
        whyNot = L"Failed to open a device with path '" + std::wstring(path, path + std::strlen(path)) +
                 L"': it went away as it was opened (it did not answer as a hidraw node)";
    return device;
}

} // namespace

hid_device *openPath(const char *path)
{
    std::lock_guard<std::mutex> hold(processWide());
    return hid_open_path(path);
}

hid_device *openPath(const char *path, std::wstring &whyNot)
{
    std::lock_guard<std::mutex> hold(processWide());
    return withReason(hid_open_path(path), path, whyNot);
}

int init()
{
    std::lock_guard<std::mutex> hold(processWide());
    return hid_init();
}

int exit()
{
    std::lock_guard<std::mutex> hold(processWide());
    return hid_exit();
}

std::wstring lastError()
{
    std::lock_guard<std::mutex> hold(processWide());
    const wchar_t *text = hid_error(nullptr);
    return text ? std::wstring(text) : std::wstring();
}

} // namespace vireon::core::hid
