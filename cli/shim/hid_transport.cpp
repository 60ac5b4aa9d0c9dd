// The HID transport: one packet per 65-byte output report, one answer per
// input report.
#include "hid_transport.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace vireon::core {
namespace {

// hidapi's text for the last failure on the device. Some hidapi versions
// give a null pointer where there is none; that prints as an empty text.
const wchar_t *errorText(hid_device *device)
{
    const wchar_t *text = hid_error(device);
    return text ? text : L"";
}

} // namespace

int writePacket(hid_device *device, const unsigned char *data, int size)
{
    unsigned char report[kReportSize];
    std::memset(report, 0, sizeof report);
    report[0] = 0; // report id: the device uses unnumbered reports

    if (size < 0 || size > kPayloadSize || (size > 0 && !data)) {
        wchar_t text[96];
        std::swprintf(text, sizeof text / sizeof text[0], L"a packet of %d bytes does not fit a %d-byte report", size,
                      kPayloadSize);
        std::fprintf(stderr, "USB HID Write Failure: %ls\n", text);
        return -1;
    }
    // Only the packet itself: the bytes after it stay zero.
    if (size > 0)
        std::memcpy(report + 1, data, static_cast<size_t>(size));

    if (hid_write(device, report, kReportSize) < 0) {
        std::fprintf(stderr, "USB HID Write Failure: %ls\n", errorText(device));
        return -1;
    }
    return 0;
}

int readPacket(hid_device *device, unsigned char *data, int /*size*/)
{
    unsigned char buffer[kReportSize];
    std::memset(buffer, 0, sizeof buffer);

    const int got = hid_read_timeout(device, buffer, kReportSize, kReadTimeoutMs);
    if (got < 0)
        std::fprintf(stderr, "USB HID Read Failure: %ls\n", errorText(device));
    else if (got == 0)
        std::fprintf(stderr, "USB HID Read Failure: no answer from the device within %d ms\n", kReadTimeoutMs);

    if (data)
        std::memcpy(data, buffer, kReportSize);
    return got > 0 ? 0 : -1;
}

} // namespace vireon::core
