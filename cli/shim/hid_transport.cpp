// TEMPORARY stand-in until the shared core's transport lands; deleted then.
#include "hid_transport.h"

#include <cstdio>
#include <cstring>

namespace vireon::core {

int shimWrite(hid_device *device, const unsigned char *data, int size)
{
    unsigned char report[65] = {};
    if (size < 0 || size > 64)
        return -1;
    std::memcpy(report + 1, data, static_cast<size_t>(size));
    if (hid_write(device, report, sizeof report) < 0) {
        std::fprintf(stderr, "USB HID Write Failure: %ls\n", hid_error(device));
        return -1;
    }
    return 0;
}

int shimRead(hid_device *device, unsigned char *data, int)
{
    unsigned char buffer[65] = {};
    const int got = hid_read_timeout(device, buffer, sizeof buffer, 5000);
    if (got <= 0)
        std::fprintf(stderr, "USB HID Read Failure: %ls\n", got < 0 ? hid_error(device) : L"no answer");
    std::memcpy(data, buffer, sizeof buffer);
    return got > 0 ? 0 : -1;
}

} // namespace vireon::core
