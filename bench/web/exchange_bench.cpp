// One exchange through the page's path, for the benchmark beside the
// desktop host's BM_Exchange (bench/bench_stack.cpp): an enter-bootloader
// request and its answer through the same HID transport, over hidapi's API
// on WebHID (web/wasm/) and the page's bus, on an open handle.
#include "device_model.h"
#include "hid_listing.h"
#include "hid_transport.h"
#include "hidapi_lock.h"
#include "usb_ids.h"

#include <emscripten.h>

#include <chrono>
#include <vector>

extern "C" {

// Microseconds per exchange over `count` exchanges with the first listed
// surface; -1 when it cannot be opened or an exchange fails. Waits on
// WebHID: call it asynchronously.
EMSCRIPTEN_KEEPALIVE double bench_exchanges(int count)
{
    using namespace vireon;
    const auto listed = core::hid::listDevices(core::kVendorId, core::kProductId);
    if (listed.empty())
        return -1;
    hid_device *handle = core::hid::openPath(listed.front().path.c_str());
    if (handle == nullptr)
        return -1;
    std::vector<uint8_t> request = sim::buildPacket(sim::PacketChecksum::Sum, sim::command::Enter, {});
    request.resize(512);
    unsigned char answer[512];
    const auto start = std::chrono::steady_clock::now();
    int done = 0;
    for (; done < count; ++done)
        if (core::writePacket(handle, request.data(), 7) != 0 || core::readPacket(handle, answer, 512) != 0 ||
            answer[1] != 0)
            break;
    const auto took = std::chrono::steady_clock::now() - start;
    hid_close(handle);
    if (done < count)
        return -1;
    return std::chrono::duration<double, std::micro>(took).count() / count;
}

} // extern "C"
