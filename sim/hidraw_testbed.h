// The surface on the real USB path, for tests and benchmarks that link the
// system's hidapi (hidraw backend) and run under umockdev's preload library:
// an in-process umockdev testbed holds the sysfs tree of one surface (USB
// device, interface, HID device and hidraw node) and serves /dev/hidraw0,
// whose reports the device model answers.
//
// The node is a pty the testbed opens, so that poll(), which the preload does
// not intercept, sees one token byte per input report waiting. Reads, writes
// and ioctls on the node reach the testbed's handler: each write must be
// report id 0 plus 64 bytes (anything else fails with EINVAL), each read
// completes with exactly one 64-byte report. An unplug fails pending reads
// with EIO, hangs the pty up and removes the devices, children first, with
// "remove" uevents; a handle opened before an unplug stays dead after the
// surface comes back. The exit command restarts the surface: it leaves the
// bus and comes back as the next chip of the model's chain.
//
// Several surfaces may be served at once, each by its own testbed with its
// own index: surface n is /dev/hidrawN with its own pty, sysfs tree, serial
// number and device model, and all of a process's testbeds share one
// umockdev testbed. Two live testbeds never share an index. A testbed must
// outlive every handle opened on its node, in this process or in any child
// it serves.
#ifndef VIREON_SIM_HIDRAW_TESTBED_H
#define VIREON_SIM_HIDRAW_TESTBED_H

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_model.h"

namespace vireon::testbed {

// True when umockdev's preload library serves this process; without it the
// system's hidapi sees the real /sys and /dev and the testbed cannot work.
bool underPreload();

class HidrawTestbed {
public:
    // A surface whose chips are `chain`, plugged in at /dev/hidraw`index`
    // with serial number `serial`. After the exit command it stays off the
    // bus for `offBusAfterExit`.
    explicit HidrawTestbed(std::vector<sim::TargetConfig> chain,
                           std::chrono::milliseconds offBusAfterExit = std::chrono::milliseconds(200),
                           unsigned index = 0, std::string serial = std::string());
    ~HidrawTestbed();
    HidrawTestbed(const HidrawTestbed &) = delete;
    HidrawTestbed &operator=(const HidrawTestbed &) = delete;

    void plug();   // does nothing when plugged
    void unplug(); // does nothing when unplugged
    bool plugged() const;
    // Waits until the surface is on (or off) the bus; false when the time ran out.
    bool waitPlugged(bool on, std::chrono::milliseconds timeout) const;

    // The surface leaves the bus as the `exchange`-th report (from 1) of this
    // plug-in of chip `chip` is written: that write fails with ENODEV and the
    // report is lost. It stays away until plug(). One at a time.
    void unplugAt(size_t chip, int exchange);
    // The next open of the node succeeds, but the node fails every request
    // on it with ENODEV, as when the surface leaves the bus between an open
    // and the first request on it.
    void hangUpAtNextOpen();
    // Refuses opens of the node to anyone without CAP_DAC_OVERRIDE (mode 0),
    // from the next plug-in on.
    void denyAccess(bool deny);

    // The device model. Lock while a client may be talking to it.
    sim::Bootloader &device();
    std::unique_lock<std::mutex> lock();
    int exchanges() const; // reports written to the surface, over its whole life
    std::string root() const; // the testbed's directory ($UMOCKDEV_DIR)
    // The HID device's directory in the testbed's sysfs; enumeration reads
    // its uevent file whenever it finds the surface.
    std::string hidDevicePath() const;
    std::string nodePath() const; // /dev/hidrawN

    struct State;

private:
    std::unique_ptr<State> state_;
};

} // namespace vireon::testbed

#endif
