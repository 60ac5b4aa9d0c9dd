// Control and inspection of the simulated HID bus. The library vireon_hidsim
// implements hidapi's C API (hid_enumerate, hid_open, hid_read, ...) over
// surfaces attached here, each backed by a device model, and the product's
// device listing (core's hid_listing.h) over the same surfaces. Tests and
// the demo program link it instead of the real hidapi and the sysfs
// listing. It is exactly as strict as the real library: its process-wide
// functions are not thread-safe (call them through vireon::core::hid), and
// a surface refused for lack of permission gives the text a refused hidraw
// open gives.
#ifndef VIREON_SIM_HIDSIM_H
#define VIREON_SIM_HIDSIM_H

#include "device_model.h"
#include "usb_ids.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vireon::sim {

using core::kProductId;
using core::kVendorId;

struct SurfaceOptions {
    std::vector<TargetConfig> targets;                    // the chain of chips, in programming order
    // The bus's frame: every report crosses at a frame boundary, at most one
    // per direction and frame, so an exchange takes two frames. 0: at once.
    std::chrono::microseconds latencyPerReport{0};
    std::chrono::milliseconds offBusAfterExit{200};       // how long a restart keeps it off the bus
    std::wstring manufacturer = L"Vireon";
    std::wstring product = L"Vireon Surface";
    std::wstring serialNumber;                            // empty, as the surface reports none
    // Every request and report kept for a test to read afterwards
    // (device().received(), outputReports()). A demo that updates the same
    // surface again and again keeps none: the record would only grow.
    bool keepRecord = true;
};

// Faults, scripted per surface. Exchanges are counted from 1 per surface,
// over its whole life (every chip of its chain): exchange K is the K-th
// report written to it. With `chip` set, `exchange` counts instead from the
// moment that chip of the chain last took the bus (exchange 1 is the first
// report it is sent), and `atExit` picks that chip's exit command, whatever
// its number. Each exchange fault fires once.
struct Fault {
    enum Kind {
        OpenRefused,      // hid_open fails `count` times while the surface is present
        WriteFails,       // hid_write of exchange K returns -1
        ReadFails,        // hid_read after exchange K returns -1
        NoAnswer,         // exchange K gets no answer at all
        Garbled,          // the answer of exchange K has byte `byteIndex` XORed with `xorMask`
        Truncated,        // the answer of exchange K is cut to `length` bytes
        UnplugAt,         // the surface leaves the bus as report K is written (the write fails and
                          // the report is lost), back after `backAfter` (or never), powered up afresh
        NeverReturns,     // after the exit command the surface does not come back
        NeverLeaves,      // after the exit command the surface stays on the bus (and restarts in place)
        Dropped,          // report K is lost on its way: the write succeeds, the device never sees it
        ForgedIdentity    // the answer to exchange K, an enter-bootloader request, names chip `identity`
                          // instead of its own, well formed with its checksum right
    } kind;
    int exchange = 0;
    int count = 1;
    size_t byteIndex = 0;
    uint8_t xorMask = 0xFF;
    size_t length = 0;
    std::chrono::milliseconds backAfter{-1}; // negative: never comes back
    int chip = -1;       // 0, 1, ...: count `exchange` within that chip's time on the bus; for
                         // NeverLeaves and NeverReturns, only the restart that chip's exit begins
    bool atExit = false; // with `chip`: the chip's exit command instead of exchange K
    uint32_t identity = 0; // ForgedIdentity: the silicon id the answer names; 0: the other chip's of the pair
};

class Surface {
public:
    virtual ~Surface() = default;
    // The device model behind the surface. Lock the surface while you use it
    // from a test thread while a worker talks to it.
    virtual Bootloader &device() = 0;
    virtual std::unique_lock<std::mutex> lock() = 0;
    virtual bool onBus() const = 0;
    // When a surface that left the bus to restart comes back; nothing when it
    // is on the bus for good or gone for good.
    virtual std::optional<std::chrono::steady_clock::time_point> returnsAt() const = 0;
    virtual void addFault(const Fault &fault) = 0;
    virtual void clearFaults() = 0;
    virtual int exchanges() const = 0;     // reports written to it
    virtual int reportsSent() const = 0;   // reports the host wrote
    virtual int reportsReceived() const = 0; // answers the host read
    virtual int readsRunOut() const = 0;     // reads that waited out their whole time limit for nothing
    virtual int opens() const = 0;         // successful hid_open calls
    virtual int restarts() const = 0;
    virtual std::string path() const = 0;
    virtual int openHandles() const = 0;   // handles opened and not yet closed
    // Every output report that reached the device, as it arrived (64 bytes
    // when the host wrote report id 0 and 64 bytes).
    virtual std::vector<std::vector<uint8_t>> outputReports() const = 0;
    virtual void setLatency(std::chrono::microseconds perReport) = 0;
};

class Bus {
public:
    static Bus &instance();
    std::shared_ptr<Surface> attach(SurfaceOptions options);
    void detach(const std::shared_ptr<Surface> &surface); // unplug: open handles fail
    // Plugs a detached (or never returning) surface back in at once. It
    // powers up afresh: same chip, no bootload session, flash kept.
    void plugBackIn(const std::shared_ptr<Surface> &surface);
    void reset(); // detach everything, clear counters
    std::vector<std::shared_ptr<Surface>> surfaces() const;
    // Blocks until the surface is on (or off) the bus, or the time ran out.
    bool waitOnBus(const std::shared_ptr<Surface> &surface, bool on, std::chrono::milliseconds timeout);
    int enumerations() const; // listings (hid::listDevices, hid_enumerate) since the last reset
};

} // namespace vireon::sim

#endif
