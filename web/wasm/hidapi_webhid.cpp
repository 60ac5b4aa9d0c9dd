// hidapi's C API over WebHID, for the page: the bootloader host's transport
// (core/hid_transport.cpp) and the stage runner call these exactly as they
// call the system's hidapi. A call that waits (an open, a write, a read)
// waits on WebHID's promise through Asyncify, so the host's blocking calls
// stay blocking calls.
//
// The JavaScript side is the page's bus (web/webhid_bus.js), reached as
// Module.bus: it keeps the granted devices, their open connections and each
// connection's queue of input reports. Errors come back in the browser's
// words, except that a device that left the bus is worded as hidapi words a
// removed node, which is how the transport tells an unplugged surface.
#include <hidapi/hidapi.h>

#include <emscripten.h>

#include <cstring>
#include <string>

struct hid_device_ {
    int connection = 0;
    std::wstring error;
};

namespace {

std::wstring g_processError;

std::wstring widen(const std::string &text)
{
    // The browser's words arrive as UTF-8; hidapi's texts are wide.
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        wchar_t code = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
        ++i;
        for (; extra > 0 && i < text.size(); --extra, ++i)
            code = static_cast<wchar_t>((code << 6) | (static_cast<unsigned char>(text[i]) & 0x3F));
        out += code;
    }
    return out;
}

// The bus's last error text for a connection (0: for the process), as UTF-8
// in a buffer of the caller's.
EM_JS(int, bus_error, (int connection, char *buffer, int size), {
    return stringToUTF8(Module.bus.errorText(connection), buffer, size);
});

std::wstring busError(int connection)
{
    char text[512];
    bus_error(connection, text, sizeof text);
    return widen(text);
}

EM_ASYNC_JS(int, bus_open, (const char *path), { return await Module.bus.open(UTF8ToString(path)); });

EM_ASYNC_JS(int, bus_write, (int connection, const unsigned char *data, int length), {
    // Copied before the wait: the module's memory may grow meanwhile.
    const report = HEAPU8.slice(data, data + length);
    return await Module.bus.write(connection, report[0], report.subarray(1));
});

EM_ASYNC_JS(int, bus_read, (int connection, unsigned char *data, int length, int milliseconds), {
    const answer = await Module.bus.read(connection, milliseconds);
    if (!(answer instanceof Uint8Array))
        return answer; // 0: nothing within the time; -1: the connection failed
    const n = Math.min(answer.length, length);
    HEAPU8.set(answer.subarray(0, n), data);
    return n;
});

EM_ASYNC_JS(void, bus_close, (int connection), { await Module.bus.close(connection); });

} // namespace

extern "C" {

int hid_init(void) { return 0; }

int hid_exit(void) { return 0; }

hid_device *hid_open_path(const char *path)
{
    const int connection = bus_open(path);
    if (connection <= 0) {
        g_processError = busError(0);
        return nullptr;
    }
    g_processError.clear();
    hid_device *device = new hid_device_;
    device->connection = connection;
    return device;
}

int hid_write(hid_device *device, const unsigned char *data, size_t length)
{
    if (device == nullptr || data == nullptr || length == 0)
        return -1;
    const int written = bus_write(device->connection, data, static_cast<int>(length));
    if (written < 0)
        device->error = busError(device->connection);
    return written < 0 ? -1 : static_cast<int>(length);
}

int hid_read_timeout(hid_device *device, unsigned char *data, size_t length, int milliseconds)
{
    if (device == nullptr || data == nullptr)
        return -1;
    const int got = bus_read(device->connection, data, static_cast<int>(length), milliseconds);
    if (got < 0)
        device->error = busError(device->connection);
    return got;
}

int hid_read(hid_device *device, unsigned char *data, size_t length)
{
    return hid_read_timeout(device, data, length, -1);
}

void hid_close(hid_device *device)
{
    if (device == nullptr)
        return;
    bus_close(device->connection);
    delete device;
}

const wchar_t *hid_error(hid_device *device)
{
    if (device == nullptr)
        return g_processError.empty() ? nullptr : g_processError.c_str();
    return device->error.empty() ? nullptr : device->error.c_str();
}

} // extern "C"
