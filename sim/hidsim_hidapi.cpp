// hidapi's C API served by the simulated bus.
//
// As in hidapi 0.13's hidraw backend, the process-wide functions (hid_init,
// hid_exit, hid_enumerate, hid_free_enumeration, hid_open, hid_open_path and
// hid_error(NULL)) share one process-wide error text and are not safe to call
// from two threads at once. The real library then frees that text twice and
// corrupts the heap some time later; here the second caller ends the process
// at once, naming both calls, so a test that depends on luck fails every
// time the calls meet.
#include "hidsim_internal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>

namespace vireon::sim {
namespace {

// The process-wide error text, replaced (freed and allocated anew) by every
// process-wide call, as hidapi does: a pointer from hid_error(NULL) is good
// until the next such call on any thread.
wchar_t *globalError = nullptr;

wchar_t *copyWide(const std::wstring &text)
{
    auto *out = static_cast<wchar_t *>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    if (out)
        std::wmemcpy(out, text.c_str(), text.size());
    return out;
}

char *copyNarrow(const std::string &text)
{
    auto *out = static_cast<char *>(std::calloc(text.size() + 1, 1));
    if (out)
        std::memcpy(out, text.c_str(), text.size());
    return out;
}

void setGlobalError(const std::wstring &text)
{
    std::free(globalError);
    globalError = copyWide(text);
}

void clearGlobalError()
{
    std::free(globalError);
    globalError = nullptr;
}

// Marks one process-wide call from its start to its end. A second one
// starting meanwhile, on another thread, ends the process.
std::atomic<const char *> runningCall{nullptr};

class ProcessWideCall {
public:
    explicit ProcessWideCall(const char *name)
    {
        const char *other = nullptr;
        if (!runningCall.compare_exchange_strong(other, name)) {
            std::fprintf(stderr,
                         "simulated hidapi: %s called while %s runs on another thread; hidapi's process-wide "
                         "functions are not thread-safe\n",
                         name, other);
            std::fflush(stderr);
            std::abort();
        }
    }
    ~ProcessWideCall() { runningCall.store(nullptr); }
    ProcessWideCall(const ProcessWideCall &) = delete;
    ProcessWideCall &operator=(const ProcessWideCall &) = delete;

    // The real calls read sysfs and udev, which takes a while; so do these.
    static void dwell() { std::this_thread::sleep_for(std::chrono::microseconds(100)); }
};

void fillInfo(hid_device_info &info, const SurfaceImpl &s)
{
    const SurfaceOptions &o = s.options();
    info.path = copyNarrow(s.path());
    info.vendor_id = kVendorId;
    info.product_id = kProductId;
    info.serial_number = copyWide(o.serialNumber);
    info.release_number = 0x0100;
    info.manufacturer_string = copyWide(o.manufacturer);
    info.product_string = copyWide(o.product);
    info.usage_page = 0xFF00; // vendor-defined
    info.usage = 0x0001;
    info.interface_number = 0;
    info.next = nullptr;
    info.bus_type = HID_API_BUS_USB;
}

void freeInfoFields(hid_device_info &info)
{
    std::free(info.path);
    std::free(info.serial_number);
    std::free(info.manufacturer_string);
    std::free(info.product_string);
}

hid_device *openSurface(const std::shared_ptr<SurfaceImpl> &s)
{
    auto *dev = new hid_device_;
    dev->surface = s;
    const SurfaceImpl::OpenResult result = s->tryOpen(dev);
    if (result != SurfaceImpl::OpenResult::Opened) {
        // hidraw's open(2) of the node failed: EACCES when the node is not
        // the user's to open.
        setGlobalError(widen("Failed to open a device with path '" + s->path() + "': ") +
                       errnoText(result == SurfaceImpl::OpenResult::Refused ? EACCES : ENOENT));
        delete dev;
        return nullptr;
    }
    fillInfo(dev->info, *s);
    clearGlobalError();
    return dev;
}

int copyString(hid_device *dev, const wchar_t *text, wchar_t *string, size_t maxlen)
{
    if (!string || maxlen == 0) {
        setError(dev, L"Zero buffer/length");
        return -1;
    }
    std::wcsncpy(string, text ? text : L"", maxlen);
    string[maxlen - 1] = L'\0';
    clearError(dev);
    return 0;
}

} // namespace
} // namespace vireon::sim

using namespace vireon::sim;

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    ProcessWideCall call("hid_init");
    clearGlobalError();
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void)
{
    ProcessWideCall call("hid_exit");
    clearGlobalError();
    return 0;
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    ProcessWideCall call("hid_enumerate");
    countEnumeration();
    clearGlobalError();
    ProcessWideCall::dwell();
    hid_device_info *head = nullptr;
    hid_device_info **tail = &head;
    for (const auto &s : presentSurfaces(vendor_id, product_id)) {
        auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
        if (!info)
            break;
        fillInfo(*info, *s);
        *tail = info;
        tail = &info->next;
    }
    if (!head)
        setGlobalError(vendor_id == 0 && product_id == 0 ? L"No HID devices found in the system."
                                                         : L"No HID devices with requested VID/PID found in the system.");
    return head;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info *devs)
{
    ProcessWideCall call("hid_free_enumeration");
    while (devs) {
        hid_device_info *next = devs->next;
        freeInfoFields(*devs);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t *serial_number)
{
    ProcessWideCall call("hid_open");
    clearGlobalError();
    ProcessWideCall::dwell();
    const auto candidates = presentSurfaces(vendor_id, product_id);
    if (candidates.empty()) {
        setGlobalError(L"No HID devices with requested VID/PID found in the system.");
        return nullptr;
    }
    for (const auto &s : candidates) {
        if (serial_number && s->options().serialNumber != serial_number)
            continue;
        return openSurface(s);
    }
    setGlobalError(L"Device with requested VID/PID/(SerialNumber) not found");
    return nullptr;
}

HID_API_EXPORT hid_device *HID_API_CALL hid_open_path(const char *path)
{
    ProcessWideCall call("hid_open_path");
    clearGlobalError();
    ProcessWideCall::dwell();
    if (!path) {
        setGlobalError(L"Failed to open a device with path '(null)': Bad address");
        return nullptr;
    }
    for (const auto &s : presentSurfaces(0, 0))
        if (s->path() == path)
            return openSurface(s);
    setGlobalError(widen(std::string("Failed to open a device with path '") + path + "': ") + errnoText(ENOENT));
    return nullptr;
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    if (!dev)
        return -1;
    clearError(dev);
    if (!data || length == 0) {
        setError(dev, errnoText(EINVAL));
        return -1;
    }
    return dev->surface->write(dev, data, length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device *dev, unsigned char *data, size_t length, int milliseconds)
{
    if (!dev)
        return -1;
    clearError(dev);
    if (!data || length == 0) {
        setError(dev, errnoText(EINVAL));
        return -1;
    }
    return dev->surface->read(dev, data, length, milliseconds);
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    if (!dev)
        return -1;
    return hid_read_timeout(dev, data, length, dev->nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device *dev, int nonblock)
{
    if (!dev)
        return -1;
    dev->nonblocking = nonblock != 0;
    return 0;
}

// The surface has no feature reports and answers no input report requests
// on the control endpoint: the request stalls.
int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device *dev, const unsigned char *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"ioctl (SFEATURE): " + errnoText(EPIPE));
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device *dev, unsigned char *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"ioctl (GFEATURE): " + errnoText(EPIPE));
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device *dev, unsigned char *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"ioctl (GINPUT): " + errnoText(EPIPE));
    return -1;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device *dev)
{
    if (!dev)
        return;
    dev->surface->close(dev);
    freeInfoFields(dev->info);
    delete dev;
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    if (!dev)
        return -1;
    return copyString(dev, dev->info.manufacturer_string, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    if (!dev)
        return -1;
    return copyString(dev, dev->info.product_string, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device *dev, wchar_t *string, size_t maxlen)
{
    if (!dev)
        return -1;
    return copyString(dev, dev->info.serial_number, string, maxlen);
}

struct hid_device_info HID_API_EXPORT *HID_API_CALL hid_get_device_info(hid_device *dev)
{
    if (!dev)
        return nullptr;
    clearError(dev);
    return &dev->info;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device *dev, int, wchar_t *, size_t)
{
    if (!dev)
        return -1;
    setError(dev, L"hid_get_indexed_string: not supported by hidraw");
    return -1;
}

// Never null: "Success" when the last call did not fail.
HID_API_EXPORT const wchar_t *HID_API_CALL hid_error(hid_device *dev)
{
    if (dev)
        return dev->hasError ? dev->error.c_str() : L"Success";
    ProcessWideCall call("hid_error(NULL)");
    return globalError ? globalError : L"Success";
}

HID_API_EXPORT const struct hid_api_version *HID_API_CALL hid_version(void)
{
    static const hid_api_version version = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR, HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char *HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"
