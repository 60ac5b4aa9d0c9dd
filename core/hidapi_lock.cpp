#include "hidapi_lock.h"

#include <mutex>

namespace vireon::core::hid {
namespace {

std::mutex &processWide()
{
    static std::mutex lock;
    return lock;
}

} // namespace

std::unique_lock<std::mutex> holdLibrary()
{
    return std::unique_lock<std::mutex>(processWide());
}

namespace {

// hid_error(NULL) of a failed open, copied while the lock is still held.
hid_device *withReason(hid_device *device, std::wstring &whyNot)
{
    const wchar_t *text = device ? nullptr : hid_error(nullptr);
    whyNot = text ? text : L"";
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
    return withReason(hid_open_path(path), whyNot);
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
